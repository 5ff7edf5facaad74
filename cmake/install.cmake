# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# What `cmake --install` puts where; debian/rules makes each Debian package
# from one component. <libdir> is lib/<multiarch> (lib/x86_64-linux-gnu,
# lib/arm-linux-gnueabihf) for native and cross builds alike; <etc> is /etc
# for the prefix /usr (the packages), <prefix>/etc otherwise.
#
#   component "device" (package vantor-device, what a board installs):
#     <libdir>/vantor-plugins/libvantor_*.so     where the host looks
#     <bindir>/vantor-state, <mandir>/man1/vantor-state.1
#     <etc>/NetworkManager/dispatcher.d/90-vantor-state
#     lib/sysusers.d/vantor-device.conf          group vantor-state
#     lib/tmpfiles.d/vantor-device.conf          /run/vantor, /var/lib/vantor/state
#   component "sample" (vantor-device-sample, development):
#     <libdir>/libvantor.so                      the stand-in host
#     <bindir>/assistant_sample, <mandir>/man1/assistant_sample.1
#     <etc>/vantor/config.json
#     lib/systemd/system/vantor-sample.service   not enabled
#     lib/sysusers.d/vantor-sample.conf          user vantor
#     lib/tmpfiles.d/vantor-sample.conf          the FIFO /run/vantor/interactions
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
# known: the package build installs with /usr, a trial install with its
# --prefix. DIR is relative to the prefix, or starts with <etc>/. With CONFIGURE, FILE is a
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

# ---- The SDK libraries -------------------------------------------------------
# One archive each instead of four, so a project names one library and never
# links them in the wrong order. The client archive adds the host entry to
# what a plug-in gets; a plug-in never links the host library.
add_library(vantor_client STATIC
  $<TARGET_OBJECTS:api_wrappers_client> $<TARGET_OBJECTS:api_wrappers>
  $<TARGET_OBJECTS:platform_utils> $<TARGET_OBJECTS:file_status>
  $<TARGET_OBJECTS:core>)
# Vantor::vantor is defined by VantorClientConfig.cmake: the host library may
# be the stand-in (vantor-device-sample) or the device's own.
target_link_libraries(vantor_client INTERFACE Threads::Threads
  $<BUILD_INTERFACE:vantor> $<INSTALL_INTERFACE:Vantor::vantor>)
add_library(vantor_plugin STATIC
  $<TARGET_OBJECTS:api_wrappers> $<TARGET_OBJECTS:platform_utils>
  $<TARGET_OBJECTS:file_status> $<TARGET_OBJECTS:core>)
target_link_libraries(vantor_plugin INTERFACE Threads::Threads)
foreach(_sdk_library vantor_client vantor_plugin)
  target_include_directories(${_sdk_library} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/generated>
    $<INSTALL_INTERFACE:${VANTOR_INSTALL_INCLUDEDIR}>)
endforeach()
set_target_properties(vantor_client PROPERTIES EXPORT_NAME client)
set_target_properties(vantor_plugin PROPERTIES EXPORT_NAME plugin)

# ---- Programs and libraries --------------------------------------------------
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
# `cmake --install --strip` strips programs and shared libraries only; the
# archives' debug information would be nine tenths of the SDK. (The package
# build leaves stripping to dh_strip, which keeps it in -dbgsym packages.)
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(_archive libvantor_client.a libvantor_plugin.a)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/\${_archive}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()
  " COMPONENT dev)

# ---- Board integration -------------------------------------------------------
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
  examples/systemd/vantor-sample-recover.service
  DESTINATION lib/systemd/system COMPONENT sample)
# What the sample's OnFailure= runs after a crash loop.
install(PROGRAMS examples/systemd/vantor-sample-recover
  DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vantor COMPONENT sample)
# The user, group and folders the unit and the state files need, made by
# systemd-sysusers and systemd-tmpfiles (the packages run both on install).
foreach(_component device sample)
  install(FILES examples/systemd/vantor-${_component}.sysusers
    DESTINATION lib/sysusers.d RENAME vantor-${_component}.conf
    COMPONENT ${_component})
  install(FILES examples/systemd/vantor-${_component}.tmpfiles
    DESTINATION lib/tmpfiles.d RENAME vantor-${_component}.conf
    COMPONENT ${_component})
endforeach()
# Made from the programs' --help by scripts/update-man, which the native
# man_pages_test runs to prove them current (a cross build cannot run them).
install(FILES docs/man/vantor-state.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT device)
install(FILES docs/man/assistant_sample.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sample)

# ---- Headers -----------------------------------------------------------------
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

# ---- find_package(VantorClient), pkg-config, the toolchain -------------------
install(EXPORT VantorClientTargets NAMESPACE Vantor::
  DESTINATION ${VANTOR_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VantorClientConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VantorClientConfig.cmake
  INSTALL_DESTINATION ${VANTOR_INSTALL_CMAKEDIR})
# A client asking for release X.Y gets this SDK when X.Y is no newer than it
# and no older than the first release of its host API version
# (VANTOR_API_VERSION): every interface such a client uses is here. A new API
# version needs both numbers below changed, which this check enforces.
set(_vantor_api_version 0)
set(VANTOR_API_SINCE 0.1.0)
file(STRINGS ${PROJECT_SOURCE_DIR}/prebuilt/lib/c_api.h _vantor_api_line
  REGEX "^#define VANTOR_API_VERSION ")
if(NOT _vantor_api_line MATCHES "^#define VANTOR_API_VERSION ${_vantor_api_version}$")
  message(FATAL_ERROR "prebuilt/lib/c_api.h: '${_vantor_api_line}', but "
    "cmake/install.cmake knows API version ${_vantor_api_version}: set "
    "_vantor_api_version and VANTOR_API_SINCE (this release) there")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/VantorClientConfigVersion.cmake.in
  ${PROJECT_BINARY_DIR}/VantorClientConfigVersion.cmake @ONLY)
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

# ---- Examples and documentation ----------------------------------------------
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
install(DIRECTORY examples/systemd/
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

# ---- Tests of the installed tree ---------------------------------------------
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
  set_tests_properties(install_test PROPERTIES TIMEOUT 600)
  # The packages are checked where they are made: scripts/check-packages.
  if(NOT CMAKE_CROSSCOMPILING)
    add_test(NAME man_pages_test
      COMMAND ${PROJECT_SOURCE_DIR}/scripts/update-man --check
        ${PROJECT_BINARY_DIR})
  endif()
endif()
