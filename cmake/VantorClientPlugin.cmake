# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# vantor_add_plugin(<name> <source>...)
#
# A platform plug-in, lib<name>.so, built against Vantor::plugin. <name> must
# start with vantor_: the host loads every libvantor_*.so in its plug-in
# folder. The library exports only NewVantorPlatformEntrypoint (which the
# sources define with VANTOR_EXPORT) and what the system's own plug-ins
# export; everything else stays local, so plug-ins never bind to each
# other's copies of the bridge. Undefined symbols fail the link, not the
# host's dlopen.
#
#   find_package(VantorClient 0.2 REQUIRED COMPONENTS plugin)
#   vantor_add_plugin(vantor_files files_plugin.cc)
#   install(TARGETS vantor_files
#     LIBRARY DESTINATION ${VantorClient_PLUGIN_INSTALL_DIR})
include_guard(GLOBAL)

set(_VantorClient_PLUGIN_EXPORTS
  "${CMAKE_CURRENT_LIST_DIR}/vantor-plugin-exports.map")

function(vantor_add_plugin name)
  if(NOT name MATCHES "^vantor_.")
    message(FATAL_ERROR "vantor_add_plugin(${name}): the name must start "
      "with vantor_ (the host loads libvantor_*.so)")
  endif()
  if(NOT ARGN)
    message(FATAL_ERROR "vantor_add_plugin(${name}): no sources")
  endif()
  add_library(${name} SHARED ${ARGN})
  target_link_libraries(${name} PRIVATE Vantor::plugin)
  set_target_properties(${name} PROPERTIES
    PREFIX lib
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  # Only what the plug-in reaches of the static library stays in it.
  target_compile_options(${name} PRIVATE -ffunction-sections -fdata-sections)
  # -Bsymbolic-functions: the plug-in's calls into its own copy of the
  # runtime stay in it, even where the host exports the same names.
  target_link_options(${name} PRIVATE
    "-Wl,--version-script=${_VantorClient_PLUGIN_EXPORTS}"
    -Wl,-z,defs -Wl,--gc-sections -Wl,-Bsymbolic-functions)
  set_property(TARGET ${name} APPEND PROPERTY
    LINK_DEPENDS "${_VantorClient_PLUGIN_EXPORTS}")
endfunction()
