// Fault injection for the Windows program: with SONAVEX_FAIL_HISTORY or SONAVEX_FAIL_DISPLAY
// set, that allocation fails as if memory were exhausted; the others go through.
#include <cstdlib>

// The linker's names for the real functions and their replacements, unmangled.
extern "C" bool __real__Z21create_sample_historyv();
extern "C" bool __real__Z20create_display_blockv();

extern "C" bool __wrap__Z21create_sample_historyv() {
    return !std::getenv("SONAVEX_FAIL_HISTORY") && __real__Z21create_sample_historyv();
}
extern "C" bool __wrap__Z20create_display_blockv() {
    return !std::getenv("SONAVEX_FAIL_DISPLAY") && __real__Z20create_display_blockv();
}
