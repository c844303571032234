# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers
# (g++-mingw-w64-x86-64-posix); scripts/build_windows.sh uses it:
#   cmake -S . -B build-windows --toolchain cmake/x86_64-w64-mingw32.cmake \
#         -DCMAKE_FIND_ROOT_PATH=<static freeglut>
# (a root, not CMAKE_PREFIX_PATH: packages are searched for under the roots
# only, so a prefix outside them would not be found)
# Programs built for the target run under wine, which is also how CTest runs
# the tests and lists them at build time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries, headers and CMake packages of the target only, searched for
# under the roots: the MinGW tree and those given in CMAKE_FIND_ROOT_PATH
# (such as the static freeglut); programs of the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ and GCC runtimes and winpthread linked in: every program needs only
# the DLLs of Windows itself (without them wine ends it with status 53 before
# main, printing nothing).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(FLUIDS_WINE wine)
if(FLUIDS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FLUIDS_WINE})
endif()
