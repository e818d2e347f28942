// Fault injection for the Windows program, through the linker's symbol wrapping:
//   SONAVEX_FAIL_HISTORY or SONAVEX_FAIL_DISPLAY set: that allocation at window creation
//   fails as if memory were exhausted; the others go through.
//   SONAVEX_FAIL_ADDS=N,M,...: the real wave input, except that its Nth, Mth, ... buffer
//   additions since the program started fail, as when the device goes away while recording.
//   SONAVEX_LOOPBACK=stand-in:NAME: the program records what the computer plays, from the
//   stand-in service of loopback_stand_in.cpp, which the events NAME.* move along;
//   SONAVEX_LOOPBACK=system: the same from the system's own service.
#include "capture/wave_input.h"
#include "capture/wave_input_loopback.h"

#include <cstdlib>
#include <cstring>

// The linker's names for the real functions and their replacements, unmangled.
extern "C" bool __real__Z21create_sample_historyv();
extern "C" bool __real__Z20create_display_blockv();
extern "C" const WaveInput &__real__Z19platform_wave_inputv();

extern "C" bool __wrap__Z21create_sample_historyv() {
    return !std::getenv("SONAVEX_FAIL_HISTORY") && __real__Z21create_sample_historyv();
}
extern "C" bool __wrap__Z20create_display_blockv() {
    return !std::getenv("SONAVEX_FAIL_DISPLAY") && __real__Z20create_display_blockv();
}

namespace {

unsigned g_adds = 0; // buffer additions so far; only the window's thread adds buffers

// True when the comma-separated list holds `count`.
bool listed(const char *list, unsigned count) {
    for (const char *at = list; *at;) {
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

} // namespace

bool register_loopback_stand_in(const char *name); // loopback_stand_in.cpp

extern "C" const WaveInput &__wrap__Z19platform_wave_inputv() {
    if (const char *loopback = std::getenv("SONAVEX_LOOPBACK")) {
        // Registered once; without its stand-in the device meets the system's own service.
        [[maybe_unused]] static const bool served =
            std::strncmp(loopback, "stand-in:", 9) != 0 || register_loopback_stand_in(loopback + 9);
        return loopback_wave_input();
    }
    if (!std::getenv("SONAVEX_FAIL_ADDS"))
        return __real__Z19platform_wave_inputv();
    static const WaveInput failing = [] {
        WaveInput input = __real__Z19platform_wave_inputv();
        input.add = failing_add;
        return input;
    }();
    return failing;
}
