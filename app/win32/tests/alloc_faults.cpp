// Fault injection for the Windows program: the allocation named by SONAVEX_FAIL_ALLOCATION
// ("history" or "display") fails as if memory were exhausted; the others go through.
#include <cstdlib>
#include <cstring>

// The linker's names for the real functions and their replacements, unmangled.
extern "C" bool __real__Z21create_sample_historyv();
extern "C" bool __real__Z20create_display_blockv();

namespace {

bool fails(const char *which) {
    const char *wanted = std::getenv("SONAVEX_FAIL_ALLOCATION");
    return wanted && std::strcmp(wanted, which) == 0;
}

} // namespace

// The wrapped create_sample_history() and create_display_block().
extern "C" bool __wrap__Z21create_sample_historyv() {
    return fails("history") ? false : __real__Z21create_sample_historyv();
}
extern "C" bool __wrap__Z20create_display_blockv() {
    return fails("display") ? false : __real__Z20create_display_blockv();
}
