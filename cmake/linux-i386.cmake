# Builds the portable core and its tests as 32-bit x86 Linux programs, run through user-mode
# emulation, so the x86 release's code paths are executed on a machine that runs no 32-bit
# code itself (needs g++-multilib and qemu-user-static):
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/linux-i386.cmake
#   cmake --build build-i386 && ctest --test-dir build-i386
# The code generation matches the i686 mingw-w64 build of the Windows release: the same
# processor (GCC's i686 is its pentiumpro), no SSE, x87 arithmetic with its extended
# intermediate precision. Only mingw's -malign-double differs, an ABI choice of struct
# layout that would break linking with the 32-bit C and C++ libraries here.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -march=pentiumpro -mfpmath=387 -mno-sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -march=pentiumpro -mfpmath=387 -mno-sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")

# The 32-bit libraries live beside the 64-bit ones; find none of the 64-bit ones.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# CTest and the test discovery run every test program through the emulator.
find_program(SONAVEX_QEMU_I386 qemu-i386-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SONAVEX_QEMU_I386})
