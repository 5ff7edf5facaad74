# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Small helpers that keep every CMakeLists.txt short.
#
#   cc_library(NAME <target> SRCS ... [DEPS ...])   static, position-independent
#   cc_test(NAME <target> SRCS ... [DEPS ...] [LABELS ...] [LAUNCHER ...])
#
# LAUNCHER is a command that runs the test program (its path and arguments
# appended), such as scripts/mdns-sandbox; a cross build's emulator goes
# between the two. A launcher that cannot run the test here exits with 77,
# which ctest reports as a skip.
#
# Label needs-host-services marks a test that needs a service of a real system
# (such as a running mDNS daemon), which it gets through its launcher.
include_guard(GLOBAL)

function(cc_library)
  cmake_parse_arguments(CC "" "NAME" "SRCS;DEPS" ${ARGN})
  add_library(${CC_NAME} STATIC ${CC_SRCS})
  target_link_libraries(${CC_NAME} PUBLIC ${CC_DEPS})
  target_include_directories(${CC_NAME} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  set_target_properties(${CC_NAME} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

function(cc_test)
  cmake_parse_arguments(CC "" "NAME" "SRCS;DEPS;LABELS;LAUNCHER" ${ARGN})
  if(NOT VANTOR_BUILD_TESTS)
    return()
  endif()
  add_executable(${CC_NAME} ${CC_SRCS})
  target_link_libraries(${CC_NAME} PRIVATE ${CC_DEPS} GTest::gmock_main)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    # testing/death_test_style.h: the emulator cannot re-execute the test.
    target_compile_definitions(${CC_NAME} PRIVATE VANTOR_TEST_UNDER_EMULATOR=1)
  endif()
  if(CC_LAUNCHER)
    # CMake adds the emulator only when the test program comes first.
    add_test(NAME ${CC_NAME} COMMAND ${CC_LAUNCHER}
      ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${CC_NAME}>)
    set_tests_properties(${CC_NAME} PROPERTIES SKIP_RETURN_CODE 77)
  else()
    add_test(NAME ${CC_NAME} COMMAND ${CC_NAME})
  endif()
  set_tests_properties(${CC_NAME} PROPERTIES TIMEOUT 300)
  if(CC_LABELS)
    set_tests_properties(${CC_NAME} PROPERTIES LABELS "${CC_LABELS}")
  endif()
endfunction()

# Limits the dynamic symbols of shared library |target| to |entry| and the
# documented runtime functions (cmake/exports.map.in), and binds the
# library's own calls of them to its own copies.
#
# Every deliverable carries its own logger, file utilities and accessor, and
# exports them. Without -Bsymbolic-functions the dynamic linker binds a
# library's calls to the first copy in the process (a client's or the
# host's), running another build's code on this library's objects and
# state. The flag covers every exported function at link time, with no
# per-declaration attribute to forget (protected visibility would need one
# on each, and makes a function's address differ between a library and its
# callers on some targets); the data behind the functions (log flags and
# handler) is file-local anyway.
function(vantor_export_only target entry)
  set(VANTOR_ENTRY_SYMBOL ${entry})
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}_exports.map)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/exports.map.in ${map} @ONLY)
  target_link_options(${target} PRIVATE -Wl,--version-script=${map}
    -Wl,-z,defs -Wl,-Bsymbolic-functions)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
endfunction()

# A platform plug-in: libvantor_<name>.so in the plug-in folder, exporting
# NewVantorPlatformEntrypoint.
function(vantor_plugin)
  cmake_parse_arguments(PLUGIN "" "NAME" "SRCS;DEPS" ${ARGN})
  add_library(${PLUGIN_NAME} SHARED ${PLUGIN_SRCS})
  target_link_libraries(${PLUGIN_NAME} PRIVATE ${PLUGIN_DEPS})
  vantor_export_only(${PLUGIN_NAME} NewVantorPlatformEntrypoint)
  set_target_properties(${PLUGIN_NAME} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${VANTOR_PLUGIN_OUTPUT_DIRECTORY})
  add_dependencies(vantor_deliverables ${PLUGIN_NAME})
endfunction()
