# Cross-compiles the Windows program with mingw-w64 (x86_64).
#   cmake -S . -B build-win-x86_64 -DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SONAVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SONAVEX_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${SONAVEX_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${SONAVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SONAVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The project asks for strict C++17, under which mingw's <cmath> hides M_PI; the constants
# are wanted. One self-contained .exe: no libgcc or libstdc++ DLLs beside it.
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
