// The wave input of a Linux build without a sound-server client (the 32-bit build of the
// portable core, whose tests install the fake device): there is no input device, so open
// fails as the platform's does when none is present, and no handle is ever valid.
#include "capture/wave_header_linux.h"

namespace {

unsigned no_open(WaveHandle *device, const CaptureFormat *, WaveCallback, std::uintptr_t) {
    *device = nullptr;
    return kWaveBadDevice;
}
unsigned no_header_call(WaveHandle, WaveHeader *, unsigned) { return kWaveInvalidHandle; }
unsigned no_call(WaveHandle) { return kWaveInvalidHandle; }

const WaveInput kAbsent = {no_open, no_header_call, no_header_call, no_header_call,
                           no_call, no_call,        no_call,        no_call};

} // namespace

const WaveInput &platform_wave_input() { return kAbsent; }
