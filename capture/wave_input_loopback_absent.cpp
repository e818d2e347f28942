// Stand-in for the loopback device until it is built: the system never offers what the
// computer plays, so the menu leaves the entry out. Replaced by the real device's file.
#include "capture/wave_input_loopback.h"

namespace {

unsigned refuse_open(WaveHandle *device, const CaptureFormat *, WaveCallback, std::uintptr_t) {
    *device = nullptr;
    return 2; // MMSYSERR_BADDEVICEID
}
unsigned refuse(WaveHandle, WaveHeader *, unsigned) { return 5; } // MMSYSERR_INVALHANDLE
unsigned refuse_device(WaveHandle) { return 5; }

const WaveInput kAbsent = {refuse_open,   refuse,        refuse,        refuse,
                           refuse_device, refuse_device, refuse_device, refuse_device};

} // namespace

bool loopback_offered() { return false; }

const WaveInput &loopback_wave_input() { return kAbsent; }
