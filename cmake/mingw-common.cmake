# What both mingw-w64 toolchain files share; they set SONAVEX_MINGW_PREFIX and include this.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${SONAVEX_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${SONAVEX_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${SONAVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SONAVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The project asks for strict C++17, under which mingw's <cmath> hides M_PI; the constants
# are wanted. One self-contained .exe: no libgcc or libstdc++ DLLs beside it.
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES ${SONAVEX_MINGW_EXTRA_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
