// Stand-in for the loopback device until it is built: the system never offers what the
// computer plays, so the menu leaves the entry out. Replaced by the real device's file.
#include "capture/wave_input_loopback.h"

namespace {

unsigned refuse_open(WaveHandle *device, const CaptureFormat *, WaveCallback, std::uintptr_t) {
    *device = nullptr;
    return kWaveBadDevice;
}
unsigned refuse(WaveHandle, WaveHeader *, unsigned) { return kWaveInvalidHandle; }
unsigned refuse_device(WaveHandle) { return kWaveInvalidHandle; }

const WaveInput kAbsent = {refuse_open,   refuse,        refuse,        refuse,
                           refuse_device, refuse_device, refuse_device, refuse_device};

} // namespace

bool loopback_offered() { return false; }

const WaveInput &loopback_wave_input() { return kAbsent; }
