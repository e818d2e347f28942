# Builds the portable core and its tests as 32-bit x86 Linux programs, so the x86 release's
# code paths are executed (needs g++-multilib). They run natively where the kernel executes
# 32-bit code, and otherwise through user-mode emulation (qemu-user-static):
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

# Whether this machine runs 32-bit x86 code: a tiny -m32 program, built and run, unless the
# answer is given (the test command passes the one scripts/i386.sh found, so that every step
# agrees). If not, CTest and the test discovery run every test program through the emulator.
if(NOT DEFINED SONAVEX_I386_NATIVE)
    set(probe ${CMAKE_BINARY_DIR}/CMakeFiles/sonavex-i386-probe)
    file(WRITE ${probe}.c "int main(void) { return 0; }\n")
    execute_process(COMMAND gcc -m32 ${probe}.c -o ${probe} RESULT_VARIABLE built
                    OUTPUT_QUIET ERROR_QUIET)
    if(built EQUAL 0)
        execute_process(COMMAND ${probe} RESULT_VARIABLE ran OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(built EQUAL 0 AND ran EQUAL 0)
        set(SONAVEX_I386_NATIVE ON CACHE BOOL "32-bit x86 programs run natively here")
    else()
        set(SONAVEX_I386_NATIVE OFF CACHE BOOL "32-bit x86 programs run natively here")
    endif()
endif()
if(NOT SONAVEX_I386_NATIVE)
    find_program(SONAVEX_QEMU_I386 qemu-i386-static REQUIRED)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SONAVEX_QEMU_I386})
endif()
