# Cross build for 64-bit Arm Linux with Debian's cross compilers
# (crossbuild-essential-arm64):
#   cmake -S . -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake \
#         -DFLUIDS_BUILD_VIEWER=OFF -DFLUIDS_BUILD_BENCH=OFF
# Programs built for the target run under qemu-user (qemu-aarch64), which is
# also how CTest runs the tests and lists them at build time.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries and headers of the target only; programs of the build machine.
# Add / (-DCMAKE_FIND_ROOT_PATH=/) to find arm64 packages installed through
# multiarch (freeglut3-dev:arm64 and so on) for the window program.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Debian's multiarch layout, for target libraries installed as :arm64.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

find_program(FLUIDS_QEMU_AARCH64 qemu-aarch64)
if(FLUIDS_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FLUIDS_QEMU_AARCH64} -L /usr/aarch64-linux-gnu)
endif()
