# Shared part of the cross toolchain files: Debian's cross compiler for
# NORVANE_GNU_TYPE, the target's libraries from the multiarch folder
# /usr/lib/<NORVANE_MULTIARCH> (installed as lib*-dev:<NORVANE_DEB_ARCH>),
# and qemu-user to run the target's programs (tests, test discovery) where
# the machine cannot run them itself.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${NORVANE_GNU_TYPE}-gcc)
set(CMAKE_CXX_COMPILER ${NORVANE_GNU_TYPE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${NORVANE_MULTIARCH})

# pkg-config with the target's .pc files (gtk+-2.0, x11, xtst).
set(ENV{PKG_CONFIG} ${NORVANE_GNU_TYPE}-pkg-config)

# Libraries, headers and CMake packages of the target only; the build's
# programs (ppdc, cups-config, dpkg) are the machine's own.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# The Debian architecture names the package and tells the installer which
# package is its own.
set(NORVANE_DEB_ARCH ${NORVANE_DEB_ARCH} CACHE STRING "Debian architecture of the build" FORCE)

if(NORVANE_QEMU)
  find_program(NORVANE_QEMU_PATH ${NORVANE_QEMU} PATHS /usr/bin NO_CACHE)
  if(NOT NORVANE_QEMU_PATH)
    message(FATAL_ERROR "${NORVANE_QEMU} not found: install qemu-user to run the ${NORVANE_DEB_ARCH} tests")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NORVANE_QEMU_PATH})
endif()
