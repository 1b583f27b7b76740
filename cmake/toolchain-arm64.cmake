# 64-bit ARM: Raspberry Pi 3, 4 and 5 on a 64-bit Raspberry Pi OS or Debian.
#   cmake -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm64.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(NORVANE_GNU_TYPE aarch64-linux-gnu)
set(NORVANE_MULTIARCH aarch64-linux-gnu)
set(NORVANE_DEB_ARCH arm64)
set(NORVANE_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
