# Cross-compiles the Windows program with mingw-w64 for x86, the release target.
#   cmake -S . -B build-win-i686 -DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SONAVEX_MINGW_PREFIX i686-w64-mingw32)
# GCC warns that passing vector types between functions would differ with SSE enabled; the
# program is one static .exe built with one set of flags, so no such boundary exists.
set(SONAVEX_MINGW_EXTRA_FLAGS "-Wno-psabi")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
