# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Cross build for the device: 32-bit ARM Linux, EABI hard float, with Debian's
# cross compiler (g++-arm-linux-gnueabihf). The same file builds this tree
# and, installed with the SDK (share/vantor/toolchains/), a project of your
# own:
#
#   cmake -G Ninja -B build-armhf \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm-linux-gnueabihf.cmake
#
# Where the target's libraries come from:
# - By default Debian multiarch: armhf packages (libgtest-dev:armhf, ...) on
#   this machine and the cross toolchain's own runtime. An SDK installed
#   into a prefix is found with -DCMAKE_PREFIX_PATH=<prefix>.
# - With -DVANTOR_SYSROOT=<root> (or -DCMAKE_SYSROOT=<root>): a board's root
#   file system or an image being built, holding the SDK (vantor-device-dev
#   unpacked or installed into it) and the libraries to link. Only <root> is
#   searched for libraries, headers, packages and .pc files.
#
# scripts/build-armhf installs everything the multiarch case expects.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(_triple arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${_triple}-gcc)
set(CMAKE_CXX_COMPILER ${_triple}-g++)
# Compiler detection finds this too; pinning it keeps find_package() and
# find_library() on <prefix>/lib/arm-linux-gnueabihf (and away from the host's
# own GTest in /usr/lib/<host triple>) from the first try_compile on.
set(CMAKE_LIBRARY_ARCHITECTURE ${_triple})
# GCC notes every standard-library call whose argument passing differs from
# GCC < 7.1 (over-aligned template types, PR77728). The tree is built by one
# newer compiler and the C boundary carries only pointers, integers and plain
# structures, which the change does not touch, so the notes are noise.
set(CMAKE_C_FLAGS_INIT -Wno-psabi)
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)

# try_compile() projects read this file again; they see the board root too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOR_SYSROOT)
if(NOT VANTOR_SYSROOT AND CMAKE_SYSROOT)
  set(VANTOR_SYSROOT "${CMAKE_SYSROOT}")
endif()

find_program(_qemu_arm qemu-arm)
if(NOT _qemu_arm)
  set(_qemu_arm qemu-arm)  # Fails visibly at test time rather than silently.
endif()

if(VANTOR_SYSROOT)
  set(CMAKE_SYSROOT "${VANTOR_SYSROOT}")
  # Appended, so that roots given with -DCMAKE_FIND_ROOT_PATH stay searched.
  list(APPEND CMAKE_FIND_ROOT_PATH "${VANTOR_SYSROOT}")
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
  # pkg-config reads the root's .pc files and reports paths inside it.
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "${VANTOR_SYSROOT}")
  set(ENV{PKG_CONFIG_LIBDIR}
    "${VANTOR_SYSROOT}/usr/lib/${_triple}/pkgconfig:${VANTOR_SYSROOT}/usr/lib/pkgconfig:${VANTOR_SYSROOT}/usr/share/pkgconfig")
  unset(ENV{PKG_CONFIG_PATH})
  # A board root brings its own loader and C library, a matching pair.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${_qemu_arm} -L "${VANTOR_SYSROOT}")
  return()
endif()

# Debian multiarch. Target libraries come from two places: the cross
# toolchain's own runtime in /usr/arm-linux-gnueabihf and multiarch packages
# in /usr/lib/arm-linux-gnueabihf. Their headers are shared with the host in
# /usr/include, plus /usr/include/arm-linux-gnueabihf; config packages for
# architecture-independent libraries live in /usr/share/cmake. "/" is a root
# so that multiarch paths (and a prefix given with CMAKE_PREFIX_PATH) are
# reachable; the architecture directory, not the root, is what keeps host
# libraries out.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${_triple} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must read the target's .pc files (pkgconf:armhf provides this).
find_program(_target_pkg_config ${_triple}-pkg-config)
if(_target_pkg_config)
  set(PKG_CONFIG_EXECUTABLE ${_target_pkg_config} CACHE FILEPATH
      "pkg-config for the target")
endif()

# ctest, try_run() and scripts/run-armhf run target programs under user-mode
# emulation. -L makes qemu take the dynamic loader from the cross toolchain's
# C library in /usr/arm-linux-gnueabihf; LD_LIBRARY_PATH=/lib (inside that
# prefix) then pairs it with the same build's libc. Without it the loader
# finds libc through the build machine's /etc/ld.so.cache: libc6:armhf's, in
# /lib/arm-linux-gnueabihf, a different glibc build whose private interface
# with the loader differs, and the first new thread crashes (docs/
# troubleshooting.md). Multiarch-only libraries (libdns_sd) still come via the
# cache.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${_qemu_arm} -L /usr/${_triple} -E LD_LIBRARY_PATH=/lib)
