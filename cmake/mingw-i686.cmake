# Cross-compiles the Windows program with mingw-w64 (i686).
#   cmake -S . -B build-win-i686 -DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SONAVEX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SONAVEX_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${SONAVEX_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${SONAVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SONAVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The project asks for strict C++17, under which mingw's <cmath> hides M_PI; the constants
# are wanted. One self-contained .exe: no libgcc or libstdc++ DLLs beside it.
# GCC warns that passing vector types between functions would differ with SSE enabled; the
# program is one static .exe built with one set of flags, so no such boundary exists.
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES -Wno-psabi")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
