# Cross build for the board: 32-bit ARM with hardware floating point (Debian's armhf), with
# Debian's cross compilers and the armhf libraries installed by multiarch. Programs built here
# run on this machine through qemu-user with the multiarch armhf system libraries under /:
# the loader and the C library must come from one build, and the cross compiler's own copy
# under /usr/arm-linux-gnueabihf is older than the multiarch one, so a program started with
# that copy's loader crashes as soon as it starts a thread.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

find_program(FRCORE_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${FRCORE_QEMU_ARM} -L /)
