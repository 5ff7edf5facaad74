# What `cmake --install` puts where, and the Debian packages made from it.
#
#   <bindir>/assistant_sample, vantor-state
#   <libdir>/libvantor.so                       the stand-in host
#   <libdir>/vantor-plugins/libvantor_*.so      where the host looks by default
#   <libdir>/libvantor_client.a                 bridge + core + utilities
#   <includedir>/vantor/...                     the public headers, same paths
#                                               as in the tree
#   <libdir>/cmake/VantorClient, <libdir>/pkgconfig/vantor-client.pc
#
# Components: "runtime" (package vantor-device) and "dev" (vantor-device-dev).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VANTOR_INSTALL_PLUGINDIR ${CMAKE_INSTALL_LIBDIR}/vantor-plugins)
set(VANTOR_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/vantor)
set(VANTOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VantorClient)
set(VANTOR_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantor-device)

# ---- The client library --------------------------------------------------
# One archive instead of four, so a client names one library and never links
# them in the wrong order.
add_library(vantor_client STATIC
  $<TARGET_OBJECTS:api_wrappers_client> $<TARGET_OBJECTS:api_wrappers>
  $<TARGET_OBJECTS:platform_utils> $<TARGET_OBJECTS:core>)
target_link_libraries(vantor_client INTERFACE Threads::Threads vantor)
target_include_directories(vantor_client INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${VANTOR_INSTALL_INCLUDEDIR}>)
set_target_properties(vantor_client PROPERTIES EXPORT_NAME client)
set_target_properties(vantor PROPERTIES EXPORT_NAME vantor)

# ---- Programs and libraries ------------------------------------------------
# The installed sample finds the host in the library folder, wherever the tree
# was installed.
file(RELATIVE_PATH _vantor_bin_to_lib
  /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
set_target_properties(assistant_sample PROPERTIES
  INSTALL_RPATH "$ORIGIN/${_vantor_bin_to_lib}")

install(TARGETS assistant_sample vantor_state
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS vantor_network vantor_system
  LIBRARY DESTINATION ${VANTOR_INSTALL_PLUGINDIR} COMPONENT runtime)
install(TARGETS vantor EXPORT VantorClientTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
install(TARGETS vantor_client EXPORT VantorClientTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)

# ---- Headers ---------------------------------------------------------------
# The public interfaces and what they include; clients keep including them by
# their tree paths ("prebuilt/lib/assistant_client.h").
set(_vantor_public_headers
  assistant_client assistant_manager audio_buffer audio_input
  audio_input_provider audio_output audio_output_provider auth_provider
  callback c_api conversation_state_listener debug_interface
  device_action_handler device_state_listener file_provider mdns_responder
  media_manager network_provider platform_api platform_factory
  power_manager_provider system_provider vantor_entrypoint volume_control)
list(TRANSFORM _vantor_public_headers
  REPLACE "(.+)" "${PROJECT_SOURCE_DIR}/prebuilt/lib/\\1.h")
install(FILES ${_vantor_public_headers}
  DESTINATION ${VANTOR_INSTALL_INCLUDEDIR}/prebuilt/lib COMPONENT dev)
install(FILES core/export.h
  DESTINATION ${VANTOR_INSTALL_INCLUDEDIR}/core COMPONENT dev)
install(FILES platform/utils/file_utils.h platform/utils/config_accessor.h
  DESTINATION ${VANTOR_INSTALL_INCLUDEDIR}/platform/utils COMPONENT dev)

# ---- find_package(VantorClient) and pkg-config ---------------------------
install(EXPORT VantorClientTargets NAMESPACE Vantor::
  DESTINATION ${VANTOR_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VantorClientConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VantorClientConfig.cmake
  INSTALL_DESTINATION ${VANTOR_INSTALL_CMAKEDIR}
  PATH_VARS VANTOR_INSTALL_PLUGINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VantorClientConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VantorClientConfig.cmake
  ${PROJECT_BINARY_DIR}/VantorClientConfigVersion.cmake
  DESTINATION ${VANTOR_INSTALL_CMAKEDIR} COMPONENT dev)

# Relative to the .pc file, so an installed tree can be moved or unpacked
# anywhere (a staging root, a device image) and still be found.
file(RELATIVE_PATH VANTOR_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vantor-client.pc.in
  ${PROJECT_BINARY_DIR}/vantor-client.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vantor-client.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# ---- Examples and documentation --------------------------------------------
install(FILES config/default_config.json examples/device_config.json
  examples/systemd/vantor-sample.service
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples COMPONENT runtime)
install(PROGRAMS examples/networkmanager/90-vantor-state
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples COMPONENT runtime)
install(FILES README.md DESTINATION ${VANTOR_INSTALL_DOCDIR} COMPONENT runtime)
install(DIRECTORY docs/ DESTINATION ${VANTOR_INSTALL_DOCDIR}/docs
  COMPONENT runtime)
install(FILES examples/client/CMakeLists.txt examples/client/client.cc
  DESTINATION ${VANTOR_INSTALL_DOCDIR}/examples/client COMPONENT dev)

# ---- Tests of the installed tree -------------------------------------------
# They build a client with this build's compiler and no sanitizer runtime,
# and run what they install: native, unsanitized builds only.
if(VANTOR_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING AND VANTOR_SANITIZE
   STREQUAL "" AND NOT VANTOR_BUILD_FUZZERS)
  add_test(NAME install_test
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/install_test.sh
      ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${CMAKE_INSTALL_LIBDIR}
      ${CMAKE_CXX_COMPILER})
  add_test(NAME package_test
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/package_test.sh ${PROJECT_BINARY_DIR})
  # Both install from this build tree, which keeps one install manifest.
  set_tests_properties(install_test package_test PROPERTIES
    TIMEOUT 300 RESOURCE_LOCK vantor_install_tree)
endif()

# ---- Debian packages (cpack -G DEB) ----------------------------------------
set(CPACK_PACKAGE_NAME vantor-device)
set(CPACK_PACKAGE_VENDOR "Vantor device team")
set(CPACK_PACKAGE_CONTACT "Vantor device team <device@vantor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Device side of the Vantor voice assistant: platform plug-ins and tools")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)

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

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME vantor-device)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "Device side of the Vantor voice assistant
 The platform plug-ins vantor_network (connection status, DNS-SD service
 advertising) and vantor_system (microphone mute state), the stand-in host
 library libvantor.so, the assistant_sample client and vantor-state, the
 writer of the plug-ins' state files for other device services.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME vantor-device-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "Vantor voice assistant client SDK
 Headers, the static client library (the bridge with its runtime and
 utilities), a CMake package (find_package(VantorClient), target
 Vantor::client) and a pkg-config file (vantor-client).")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "vantor-device (= ${CPACK_PACKAGE_VERSION})")
set(CPACK_DEBIAN_DEV_PACKAGE_ARCHITECTURE ${_vantor_deb_arch})

# dpkg-shlibdeps reads the dependencies off the binaries on a native build.
# A cross build links the cross toolchain's own libstdc++, which would make the
# package depend on the cross-compiler's runtime, so there they are stated.
if(CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
    "libavahi-compat-libdnssd1 (>= 0.8), libc6 (>= 2.34), libgcc-s1 (>= 3.5), libstdc++6 (>= 12)")
else()
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
