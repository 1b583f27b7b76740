# 32-bit PCs (Debian i386). An x86-64 machine runs the programs itself, so
# the tests need no emulator.
#   cmake -S . -B build/i386 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i386.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(NORVANE_GNU_TYPE i686-linux-gnu)
set(NORVANE_MULTIARCH i386-linux-gnu)
set(NORVANE_DEB_ARCH i386)
set(NORVANE_QEMU "")
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
