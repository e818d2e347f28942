// Fault injection for the Windows program, through the linker's symbol wrapping:
//   SONAVEX_FAIL_HISTORY or SONAVEX_FAIL_DISPLAY set: that allocation at window creation
//   fails as if memory were exhausted; the others go through.
//   SONAVEX_FAIL_ADDS=N,M,...: the real wave input, except that its Nth, Mth, ... buffer
//   additions since the program started fail, as when the device goes away while recording.
//   SONAVEX_FAIL_OPENS=N,M,...: likewise its Nth, Mth, ... device opens, as for a device
//   that is gone or taken.
//   SONAVEX_GONE=NAME:N: from the program's Nth device open on, the system no longer lists
//   the recording device NAME, as when it is unplugged.
//   SONAVEX_LOOPBACK=stand-in:NAME: the program records what the computer plays, from the
//   stand-in service of loopback_stand_in.cpp, which the events NAME.* move along;
//   SONAVEX_LOOPBACK=system: the same from the system's own service.
#include "capture/wave_input.h"
#include "capture/wave_input_loopback.h"

#include <cstdlib>
#include <cstring>
#include <string>

// The linker's names for the real functions and their replacements, unmangled.
extern "C" bool __real__Z21create_sample_historyv();
extern "C" bool __real__Z20create_display_blockv();
extern "C" const WaveInput &__real__Z19platform_wave_inputv();
extern "C" std::string __real__Z17winmm_device_nameB5cxx11j(unsigned device_id);

extern "C" bool __wrap__Z21create_sample_historyv() {
    return !std::getenv("SONAVEX_FAIL_HISTORY") && __real__Z21create_sample_historyv();
}
extern "C" bool __wrap__Z20create_display_blockv() {
    return !std::getenv("SONAVEX_FAIL_DISPLAY") && __real__Z20create_display_blockv();
}

namespace {

unsigned g_adds = 0;  // buffer additions so far; only the window's thread adds buffers
unsigned g_opens = 0; // device opens so far, likewise

// True when the comma-separated list (if any) holds `count`.
bool listed(const char *list, unsigned count) {
    for (const char *at = list; at && *at;) {
        char *end = nullptr;
        if (std::strtoul(at, &end, 10) == count && end != at)
            return true;
        at = *end ? end + 1 : end;
    }
    return false;
}

unsigned failing_add(WaveHandle device, WaveHeader *header, unsigned header_size) {
    if (listed(std::getenv("SONAVEX_FAIL_ADDS"), ++g_adds))
        return 1; // MMSYSERR_ERROR
    return __real__Z19platform_wave_inputv().add(device, header, header_size);
}

unsigned failing_open(WaveHandle *device, const CaptureFormat *format, WaveCallback callback,
                      std::uintptr_t instance) {
    if (listed(std::getenv("SONAVEX_FAIL_OPENS"), ++g_opens))
        return kWaveBadDevice;
    return __real__Z19platform_wave_inputv().open(device, format, callback, instance);
}

} // namespace

bool register_loopback_stand_in(const char *name); // loopback_stand_in.cpp

extern "C" const WaveInput &__wrap__Z19platform_wave_inputv() {
    if (const char *loopback = std::getenv("SONAVEX_LOOPBACK")) {
        // Registered once; without its stand-in the device meets the system's own service.
        [[maybe_unused]] static const bool served =
            std::strncmp(loopback, "stand-in:", 9) != 0 || register_loopback_stand_in(loopback + 9);
        return loopback_wave_input();
    }
    if (!std::getenv("SONAVEX_FAIL_ADDS") && !std::getenv("SONAVEX_FAIL_OPENS") &&
        !std::getenv("SONAVEX_GONE"))
        return __real__Z19platform_wave_inputv();
    static const WaveInput failing = [] {
        WaveInput input = __real__Z19platform_wave_inputv();
        input.add = failing_add;
        input.open = failing_open;
        return input;
    }();
    return failing;
}

extern "C" std::string __wrap__Z17winmm_device_nameB5cxx11j(unsigned device_id) {
    const std::string name = __real__Z17winmm_device_nameB5cxx11j(device_id);
    const char *gone = std::getenv("SONAVEX_GONE");
    const char *colon = gone ? std::strchr(gone, ':') : nullptr;
    if (colon && name == std::string(gone, colon) &&
        g_opens >= std::strtoul(colon + 1, nullptr, 10))
        return std::string();
    return name;
}
