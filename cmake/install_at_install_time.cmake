# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Install-time half of vantor_install_at_install_time() (cmake/install.cmake):
# runs inside cmake_install.cmake, where CMAKE_INSTALL_PREFIX is the final
# prefix and DESTDIR, if any, the staging root above it. Expects _file, _dir,
# _name, _configure, _type, _scratch, _bindir and _plugindir.

# The device's configuration folder: /etc for the system prefix, as
# GNUInstallDirs has it; inside the prefix otherwise, so that a trial install
# never writes to the build machine's /etc.
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
  set(VANTOR_FULL_SYSCONFDIR /etc)
else()
  set(VANTOR_FULL_SYSCONFDIR "${CMAKE_INSTALL_PREFIX}/etc")
endif()
set(VANTOR_FULL_BINDIR "${CMAKE_INSTALL_PREFIX}/${_bindir}")
set(VANTOR_FULL_PLUGINDIR "${CMAKE_INSTALL_PREFIX}/${_plugindir}")

if(_dir MATCHES "^<etc>(.*)$")
  set(_destination "${VANTOR_FULL_SYSCONFDIR}${CMAKE_MATCH_1}")
elseif(IS_ABSOLUTE "${_dir}")
  set(_destination "${_dir}")
else()
  set(_destination "${CMAKE_INSTALL_PREFIX}/${_dir}")
endif()

# One scratch folder per destination: a package build and a trial install of
# the same tree must not hand each other their files.
string(MD5 _key "$ENV{DESTDIR}${_destination}/${_name}")
set(_source "${_scratch}/${_key}/${_name}")
if(_configure)
  configure_file("${_file}" "${_source}" @ONLY)
else()
  configure_file("${_file}" "${_source}" COPYONLY)
endif()
file(INSTALL DESTINATION "${_destination}" TYPE ${_type} FILES "${_source}")
