# Cross build for the device: 32-bit ARM Linux, EABI hard float, with Debian's
# cross compiler and multiarch (armhf) packages for the target's libraries.
#
#   cmake -G Ninja -B build-armhf \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm-linux-gnueabihf.cmake
#
# scripts/build-armhf installs everything this file expects.

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

# Target libraries come from two places: the cross toolchain's own runtime in
# /usr/arm-linux-gnueabihf and multiarch packages (libgtest-dev:armhf, ...) in
# /usr/lib/arm-linux-gnueabihf. Their headers are shared with the host in
# /usr/include, plus /usr/include/arm-linux-gnueabihf; config packages for
# architecture-independent libraries such as nlohmann-json live in
# /usr/share/cmake. "/" is a root so that multiarch paths are reachable; the
# architecture directory, not the root, is what keeps host libraries out.
set(CMAKE_FIND_ROOT_PATH /usr/${_triple} /)
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

# ctest and try_run() run target binaries under user-mode emulation. -L makes
# qemu take the dynamic loader from the cross sysroot; LD_LIBRARY_PATH=/lib
# (inside that prefix) then pairs it with the sysroot's own libc. Without it the
# host's ld.so.cache hands the loader libc6:armhf's libc from
# /lib/arm-linux-gnueabihf, a different glibc build, and the first thread or
# fork crashes. Multiarch-only libraries (libdns_sd) still come via the cache.
find_program(_qemu_arm qemu-arm)
if(NOT _qemu_arm)
  set(_qemu_arm qemu-arm)  # Fails visibly at test time rather than silently.
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${_qemu_arm} -L /usr/${_triple} -E LD_LIBRARY_PATH=/lib)
