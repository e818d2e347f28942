# Cross-compiles the Windows program with mingw-w64 for x86_64.
#   cmake -S . -B build-win-x86_64 -DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SONAVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(SONAVEX_MINGW_EXTRA_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
