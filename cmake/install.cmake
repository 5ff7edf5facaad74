# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# What `cmake --install` puts where, and the Debian packages made from it.
# <libdir> is lib/<multiarch> (lib/x86_64-linux-gnu, lib/arm-linux-gnueabihf)
# for native and cross builds alike; <etc> is /etc for the prefix /usr (the
# packages), <prefix>/etc otherwise.
#
#   component "device" (package vantor-device, what a board installs):
#     <libdir>/vantor-plugins/libvantor_*.so     where the host looks
#     <bindir>/vantor-state
#     <etc>/NetworkManager/dispatcher.d/90-vantor-state
#   component "sample" (vantor-device-sample, development):
#     <libdir>/libvantor.so                      the stand-in host
#     <bindir>/assistant_sample
#     <etc>/vantor/config.json
#     lib/systemd/system/vantor-sample.service   not enabled
#   component "dev" (vantor-device-dev, the SDK):
#     <includedir>/vantor/...                    the public headers, same
#                                                paths as in the tree
#     <libdir>/libvantor_client.a, libvantor_plugin.a
#     <libdir>/cmake/VantorClient, <libdir>/pkgconfig/vantor-*.pc
#     share/vantor/toolchains/arm-linux-gnueabihf.cmake
#     share/doc/vantor-device/                   README, docs/, examples/,
#                                                laid out as in the tree

# Debian's multiarch folder also for cross builds, where GNUInstallDirs would
# pick plain lib; -DCMAKE_INSTALL_LIBDIR=lib still overrides it.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH
    "Object code libraries (lib/<multiarch>)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VANTOR_INSTALL_PLUGINDIR ${CMAKE_INSTALL_LIBDIR}/vantor-plugins)
set(VANTOR_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/vantor)
set(VANTOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VantorClient)
set(VANTOR_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantor-device)
set(VANTOR_INSTALL_TOOLCHAINDIR ${CMAKE_INSTALL_DATAROOTDIR}/vantor/toolchains)

# Installs FILE (a path in the tree) at install time, when the final prefix is
# known: cpack installs with /usr, `cmake --install` with its --prefix. DIR is
# relative to the prefix, or starts with <etc>/. With CONFIGURE, FILE is a
# template whose @VANTOR_FULL_BINDIR@, @VANTOR_FULL_PLUGINDIR@ and
# @VANTOR_FULL_SYSCONFDIR@ name the installed places (without DESTDIR: the
# paths on the device).
function(vantor_install_at_install_time)
  cmake_parse_arguments(ARG "CONFIGURE;PROGRAM" "FILE;DIR;RENAME;COMPONENT" ""
    ${ARGN})
  get_filename_component(name ${ARG_FILE} NAME)
  if(ARG_RENAME)
    set(name ${ARG_RENAME})
  endif()
  set(type FILE)
  if(ARG_PROGRAM)
    set(type PROGRAM)
  endif()
  install(CODE "
    set(_file \"${ARG_FILE}\")
    set(_dir \"${ARG_DIR}\")
    set(_name \"${name}\")
    set(_configure ${ARG_CONFIGURE})
    set(_type ${type})
    set(_scratch \"${PROJECT_BINARY_DIR}/install-time\")
    set(_bindir \"${CMAKE_INSTALL_BINDIR}\")
    set(_plugindir \"${VANTOR_INSTALL_PLUGINDIR}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/install_at_install_time.cmake\")
    " COMPONENT ${ARG_COMPONENT})
endfunction()

# ---- The SDK libraries -----------------------------------------------------
# One archive each instead of four, so a project names one library and never
# links them in the wrong order. The client archive adds the host entry to
# what a plug-in gets; a plug-in never links the host library.
add_library(vantor_client STATIC
  $<TARGET_OBJECTS:api_wrappers_client> $<TARGET_OBJECTS:api_wrappers>
  $<TARGET_OBJECTS:platform_utils> $<TARGET_OBJECTS:core>)
# Vantor::vantor is defined by VantorClientConfig.cmake: the host library may
# be the stand-in (vantor-device-sample) or the device's own.
target_link_libraries(vantor_client INTERFACE Threads::Threads
  $<BUILD_INTERFACE:vantor> $<INSTALL_INTERFACE:Vantor::vantor>)
add_library(vantor_plugin STATIC
  $<TARGET_OBJECTS:api_wrappers> $<TARGET_OBJECTS:platform_utils>
  $<TARGET_OBJECTS:core>)
target_link_libraries(vantor_plugin INTERFACE Threads::Threads)
foreach(_sdk_library vantor_client vantor_plugin)
  target_include_directories(${_sdk_library} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/generated>
    $<INSTALL_INTERFACE:${VANTOR_INSTALL_INCLUDEDIR}>)
endforeach()
set_target_properties(vantor_client PROPERTIES EXPORT_NAME client)
set_target_properties(vantor_plugin PROPERTIES EXPORT_NAME plugin)

# ---- Programs and libraries ------------------------------------------------
# The installed sample finds the host in the library folder, wherever the tree
# was installed.
file(RELATIVE_PATH _vantor_bin_to_lib
  /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
set_target_properties(assistant_sample PROPERTIES
  INSTALL_RPATH "$ORIGIN/${_vantor_bin_to_lib}")

install(TARGETS vantor_state
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT device)
install(TARGETS vantor_network vantor_system
  LIBRARY DESTINATION ${VANTOR_INSTALL_PLUGINDIR} COMPONENT device)
install(TARGETS assistant_sample
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sample)
install(TARGETS vantor
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sample)
install(TARGETS vantor_client vantor_plugin EXPORT VantorClientTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
# cpack strips programs and shared libraries only; the archives' debug
# information would be nine tenths of the SDK package.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(_archive libvantor_client.a libvantor_plugin.a)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/\${_archive}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()
  " COMPONENT dev)

# ---- Board integration -----------------------------------------------------
vantor_install_at_install_time(PROGRAM
  FILE ${PROJECT_SOURCE_DIR}/examples/networkmanager/90-vantor-state
  DIR <etc>/NetworkManager/dispatcher.d COMPONENT device)
# The device configuration, as /etc/vantor/config.json: its state files are in
# /run/vantor, which the service creates.
vantor_install_at_install_time(
  FILE ${PROJECT_SOURCE_DIR}/examples/device_config.json RENAME config.json
  DIR <etc>/vantor COMPONENT sample)
# It names /usr/bin/assistant_sample and /etc/vantor/config.json, where the
# package puts them; under another prefix systemd would not find it anyway.
install(FILES examples/systemd/vantor-sample.service
  DESTINATION lib/systemd/system COMPONENT sample)

# ---- Headers ---------------------------------------------------------------
# The public interfaces and what they include; projects keep including them by
# their tree paths ("prebuilt/lib/assistant_client.h").
# The list is prebuilt/lib's (VANTOR_PUBLIC_HEADERS), where they are checked.
list(TRANSFORM VANTOR_PUBLIC_HEADERS
  REPLACE "(.+)" "${PROJECT_SOURCE_DIR}/prebuilt/lib/\\1.h"
  OUTPUT_VARIABLE _vantor_public_headers)
install(FILES ${_vantor_public_headers}
  DESTINATION ${VANTOR_INSTALL_INCLUDEDIR}/prebuilt/lib COMPONENT dev)
# The logger, so that a plug-in logs in the system's format.
install(FILES core/export.h core/logging.h
  ${PROJECT_BINARY_DIR}/generated/core/version.h
  DESTINATION ${VANTOR_INSTALL_INCLUDEDIR}/core COMPONENT dev)
install(FILES platform/utils/file_utils.h platform/utils/config_accessor.h
  DESTINATION ${VANTOR_INSTALL_INCLUDEDIR}/platform/utils COMPONENT dev)

# ---- find_package(VantorClient), pkg-config, the toolchain ------------------
install(EXPORT VantorClientTargets NAMESPACE Vantor::
  DESTINATION ${VANTOR_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VantorClientConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VantorClientConfig.cmake
  INSTALL_DESTINATION ${VANTOR_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VantorClientConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
# What every plug-in exports: its entry point and our plug-ins' exports.
set(VANTOR_ENTRY_SYMBOL NewVantorPlatformEntrypoint)
configure_file(${PROJECT_SOURCE_DIR}/cmake/exports.map.in
  ${PROJECT_BINARY_DIR}/vantor-plugin-exports.map @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/VantorClientConfig.cmake
  ${PROJECT_BINARY_DIR}/VantorClientConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/VantorClientPlugin.cmake
  ${PROJECT_BINARY_DIR}/vantor-plugin-exports.map
  DESTINATION ${VANTOR_INSTALL_CMAKEDIR} COMPONENT dev)
vantor_install_at_install_time(CONFIGURE
  FILE ${PROJECT_SOURCE_DIR}/cmake/VantorClientPaths.cmake.in
  RENAME VantorClientPaths.cmake DIR ${VANTOR_INSTALL_CMAKEDIR} COMPONENT dev)

# Relative to the .pc file, so an installed tree can be moved or unpacked
# anywhere (a staging root, a sysroot) and still be found; the plug-in folder
# is where the host looks on the device, filled in at install time.
file(RELATIVE_PATH VANTOR_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
# Kept for the install-time pass.
set(VANTOR_FULL_PLUGINDIR "@VANTOR_FULL_PLUGINDIR@")
foreach(_pc vantor-client vantor-plugin)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${_pc}.pc.in
    ${PROJECT_BINARY_DIR}/${_pc}.pc.in @ONLY)
  vantor_install_at_install_time(CONFIGURE
    FILE ${PROJECT_BINARY_DIR}/${_pc}.pc.in RENAME ${_pc}.pc
    DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

install(FILES cmake/toolchains/arm-linux-gnueabihf.cmake
  DESTINATION ${VANTOR_INSTALL_TOOLCHAINDIR} COMPONENT dev)

# ---- Examples and documentation --------------------------------------------
# Laid out as in the tree, so that the documents' links hold once installed;
# with the SDK, where they are read, rather than in the board's flash.
install(FILES README.md CHANGELOG.md
  DESTINATION ${VANTOR_INSTALL_DOCDIR} COMPONENT dev)
install(DIRECTORY docs/ DESTINATION ${VANTOR_INSTALL_DOCDIR}/docs
  COMPONENT dev)
install(FILES config/default_config.json
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/config COMPONENT dev)
install(FILES examples/device_config.json
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples COMPONENT dev)
install(FILES examples/systemd/vantor-sample.service
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples/systemd COMPONENT dev)
install(PROGRAMS examples/networkmanager/90-vantor-state
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples/networkmanager COMPONENT dev)
install(FILES examples/client/CMakeLists.txt examples/client/client.cc
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples/client COMPONENT dev)
install(FILES examples/plugin/CMakeLists.txt examples/plugin/files_plugin.cc
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples/plugin COMPONENT dev)
install(FILES examples/assistant_client/CMakeLists.txt
  examples/assistant_client/assistant_client.cc
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples/assistant_client COMPONENT dev)
install(PROGRAMS examples/assistant_client/assistant_client_test.sh
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples/assistant_client COMPONENT dev)

# ---- Tests of the installed tree -------------------------------------------
# They build the examples with this build's compiler (the toolchain file in a
# cross build) and no sanitizer runtime, and run what they install: no
# sanitizer or fuzzer builds. A cross build runs the target programs under
# its emulator.
if(VANTOR_BUILD_TESTS AND VANTOR_SANITIZE STREQUAL "" AND
   NOT VANTOR_BUILD_FUZZERS)
  set(_vantor_emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
  set(_vantor_toolchain "")
  if(CMAKE_CROSSCOMPILING)
    set(_vantor_toolchain "${CMAKE_TOOLCHAIN_FILE}")
  endif()
  list(JOIN _vantor_emulator " " _vantor_emulator)
  add_test(NAME install_test
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/install_test.sh
      ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${CMAKE_INSTALL_LIBDIR}
      ${CMAKE_CXX_COMPILER} "${_vantor_toolchain}" "${_vantor_emulator}")
  add_test(NAME package_test
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/package_test.sh ${PROJECT_BINARY_DIR}
      ${PROJECT_SOURCE_DIR} "${_vantor_emulator}")
  # Both install from this build tree, which keeps one install manifest.
  set_tests_properties(install_test package_test PROPERTIES
    TIMEOUT 600 RESOURCE_LOCK vantor_install_tree)
endif()

# ---- Debian packages (cpack -G DEB) ----------------------------------------
# The files of the 0.1.0 layout, when one package held the plug-ins, the
# stand-in host, the sample and the documentation, move to the sample and
# SDK packages: such upgrades need Breaks/Replaces.
set(_vantor_split_release 0.2.0)

set(CPACK_PACKAGE_NAME vantor-device)
set(CPACK_PACKAGE_VENDOR "Vantor device team")
set(CPACK_PACKAGE_CONTACT "Vantor device team <device@vantor.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL device sample dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Each package's Description is its own summary line and text:
# CPACK_PACKAGE_DESCRIPTION_SUMMARY, were it set, would head all three.

# The target's Debian architecture, also when cross-building (dpkg would
# report the build machine's).
if(CMAKE_LIBRARY_ARCHITECTURE)
  execute_process(
    COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
    OUTPUT_VARIABLE _vantor_deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
endif()
if(NOT _vantor_deb_arch)
  execute_process(COMMAND dpkg --print-architecture
    OUTPUT_VARIABLE _vantor_deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${_vantor_deb_arch})

# Files under /etc are conffiles: an upgrade keeps the device's edits. The
# sample package's maintainer scripts take the place of cpack's, which would
# run ldconfig directly; the ldconfig trigger does that instead.
set(_vantor_debian ${PROJECT_SOURCE_DIR}/cmake/debian)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEVICE_PACKAGE_NAME vantor-device)
set(CPACK_DEBIAN_DEVICE_DESCRIPTION
  "Vantor voice assistant platform plug-ins for the device
The two platform plug-ins that the device's Vantor host library loads:
vantor_network reports the connection status and advertises the device
over DNS-SD (Avahi's compatibility library and a running avahi-daemon);
vantor_system reports the microphone mute state and notices its changes.
Also vantor-state, the tool that other device services use to write the
plug-ins' state files, and a NetworkManager dispatcher hook that keeps the
connection status current.

This is what a board image installs next to its host library.")
set(CPACK_DEBIAN_DEVICE_PACKAGE_RECOMMENDS avahi-daemon)
set(CPACK_DEBIAN_DEVICE_PACKAGE_ENHANCES network-manager)
set(CPACK_DEBIAN_DEVICE_PACKAGE_CONTROL_EXTRA
  ${_vantor_debian}/device/conffiles)

set(CPACK_DEBIAN_SAMPLE_PACKAGE_NAME vantor-device-sample)
set(CPACK_DEBIAN_SAMPLE_DESCRIPTION
  "Vantor assistant sample with a stand-in host library, for development
assistant_sample, the smallest complete client, with a stand-in for the
Vantor host library (libvantor.so) that loads the platform plug-ins and
exercises them, so that a board runs the assistant's device side without
the real host. The stand-in does no speech processing.

A configuration in /etc/vantor/config.json and the systemd unit
vantor-sample.service, installed but not enabled; start it with
systemctl enable --now vantor-sample.

Not for production images: a device ships its vendor's host library.")
set(CPACK_DEBIAN_SAMPLE_PACKAGE_DEPENDS
  "vantor-device (= ${CPACK_PACKAGE_VERSION})")
set(CPACK_DEBIAN_SAMPLE_PACKAGE_RECOMMENDS avahi-daemon)
set(CPACK_DEBIAN_SAMPLE_PACKAGE_BREAKS
  "vantor-device (<< ${_vantor_split_release})")
set(CPACK_DEBIAN_SAMPLE_PACKAGE_REPLACES
  "vantor-device (<< ${_vantor_split_release})")
set(CPACK_DEBIAN_SAMPLE_PACKAGE_CONTROL_EXTRA
  ${_vantor_debian}/sample/conffiles ${_vantor_debian}/sample/triggers
  ${_vantor_debian}/sample/postinst ${_vantor_debian}/sample/postrm)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME vantor-device-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "SDK for Vantor assistant clients and platform plug-ins
Headers of the public interfaces, the C ABI and the logger; the static
libraries libvantor_client.a (for clients, with the host entry) and
libvantor_plugin.a (for plug-ins, without it); the CMake package
(find_package(VantorClient): Vantor::client, Vantor::plugin and
vantor_add_plugin()), the pkg-config files vantor-client and
vantor-plugin, the CMake toolchain file for 32-bit ARM boards, and an
example client and plug-in, with the documentation.

Clients also need a host library to link: vantor-device-sample's stand-in
or the device's own.")
# Clients link the host library; plug-ins, the package's other use, do not.
set(CPACK_DEBIAN_DEV_PACKAGE_RECOMMENDS
  "vantor-device-sample (= ${CPACK_PACKAGE_VERSION})")
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "g++-arm-linux-gnueabihf, qemu-user")
set(CPACK_DEBIAN_DEV_PACKAGE_BREAKS
  "vantor-device (<< ${_vantor_split_release})")
set(CPACK_DEBIAN_DEV_PACKAGE_REPLACES
  "vantor-device (<< ${_vantor_split_release})")
set(CPACK_DEBIAN_DEV_PACKAGE_ARCHITECTURE ${_vantor_deb_arch})

# dpkg-shlibdeps reads the dependencies off the binaries on a native build.
# A cross build links the cross toolchain's own libstdc++, which would make the
# package depend on the cross-compiler's runtime, so there they are stated.
if(CMAKE_CROSSCOMPILING)
  set(_vantor_runtime_depends
    "libc6 (>= 2.34), libgcc-s1 (>= 3.5), libstdc++6 (>= 12)")
  set(CPACK_DEBIAN_DEVICE_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_DEVICE_PACKAGE_DEPENDS
    "libavahi-compat-libdnssd1 (>= 0.8), ${_vantor_runtime_depends}")
  set(CPACK_DEBIAN_SAMPLE_PACKAGE_SHLIBDEPS OFF)
  # The stand-in host's debug server.
  string(APPEND CPACK_DEBIAN_SAMPLE_PACKAGE_DEPENDS
    ", libmicrohttpd12 (>= 0.9.75), ${_vantor_runtime_depends}")
else()
  set(CPACK_DEBIAN_DEVICE_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_SAMPLE_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
