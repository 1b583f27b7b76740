# 32-bit ARM with hardware floating point: Raspberry Pi 2 to 4 on a 32-bit
# Raspberry Pi OS or Debian armhf.
#   cmake -S . -B build/armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(NORVANE_GNU_TYPE arm-linux-gnueabihf)
set(NORVANE_MULTIARCH arm-linux-gnueabihf)
set(NORVANE_DEB_ARCH armhf)
set(NORVANE_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
# GCC notes, on every std::map, that GCC 7.1 changed how ARM passes some
# arguments: nothing here links against code from before GCC 7.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
