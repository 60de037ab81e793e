# Installation and the Debian package of the product: the program k40tool,
# the simulated unit k40sim, the command-line master k40ctl, their manual
# pages, a desktop menu entry, the program's icon, and the copyright file and
# changelog Debian asks every package for (lintian checks the package in
# scripts/test). Tests and benchmarks are not installed.
#
#   cmake --build build && (cd build && cpack -G DEB)
#   sudo apt install ./build/k40tool_1.0.0-1_amd64.deb
if(NOT TARGET k40tool)
  return()  # a build without the console has nothing to ship
endif()

include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake)

install(TARGETS k40tool k40sim k40ctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/resources/k40tool.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Icon 128's two images under the name the desktop entry asks for.
install(FILES ${PROJECT_SOURCE_DIR}/resources/icon128.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME k40tool.png)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icon128-16.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/16x16/apps RENAME k40tool.png)
# Lets the user at the seat open USB serial adapters without the dialout group.
install(FILES ${PROJECT_SOURCE_DIR}/resources/udev/70-k40tool-serial.rules
  DESTINATION /usr/lib/udev/rules.d)

# k40ctl serve as a service, one instance a serial port.
install(FILES ${PROJECT_SOURCE_DIR}/resources/systemd/k40ctl-serve@.service
  DESTINATION /usr/lib/systemd/system)

# The alert rule pack for Prometheus, the Alertmanager example and the
# runbooks (also served by k40ctl serve under /runbooks/).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/alerting/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/k40ctl)

# The maintainer written into the package; a builder may put their own.
set(K40_PACKAGE_MAINTAINER "k40tool maintainers <k40tool@example.org>"
  CACHE STRING "Maintainer field of the Debian package")

# Debian revision: the package is made from the program's own sources, with
# the changelog of its packaging in changelog.Debian (a version without a
# revision would be a native package, whose changelog is named changelog).
set(K40_DEBIAN_REVISION 1)

k40_man_page(k40tool
  NAME "Modbus RTU commissioning and test tool for the HCU-K40 monitoring unit")
k40_man_page(k40sim NAME "simulated HCU-K40 monitoring unit, a Modbus RTU slave"
  VERSION_STRING "k40sim ${K40_VERSION}")
k40_man_page(k40ctl NAME "the HCU-K40 monitoring unit over Modbus RTU, from the command line")

# /usr/share/doc/k40tool: the machine-readable copyright file and the
# changelog in Debian's format, compressed without name or time stamp.
set(k40_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/k40tool")
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/copyright ${CMAKE_BINARY_DIR}/deb/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/changelog ${CMAKE_BINARY_DIR}/deb/changelog.Debian
  @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/deb/changelog.Debian.gz
  COMMAND ${K40_GZIP} -9nkf ${CMAKE_BINARY_DIR}/deb/changelog.Debian
  DEPENDS ${CMAKE_BINARY_DIR}/deb/changelog.Debian
  VERBATIM)
add_custom_target(k40_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/deb/changelog.Debian.gz)
install(FILES ${CMAKE_BINARY_DIR}/deb/copyright ${CMAKE_BINARY_DIR}/deb/changelog.Debian.gz
  DESTINATION ${k40_doc_dir})
# lintian's overrides, each with the reason it does not apply to this package.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/deb/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME k40tool)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME k40tool)
set(CPACK_PACKAGE_VERSION "${K40_VERSION}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${K40_DEBIAN_REVISION})
set(CPACK_PACKAGE_CONTACT "${K40_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Modbus RTU commissioning and test tool for the HCU-K40 monitoring unit")
set(CPACK_PACKAGE_DESCRIPTION
  "k40tool is a Modbus RTU master on one serial line for the HCU-K40 DC\n\
power-system monitoring unit. It reads the unit's analog measurements and\n\
status bits and shows them as named values, sends the system and rectifier\n\
module remote-control commands, and shows every request and reply as hex\n\
bytes. k40sim, a simulated unit on a pseudo-terminal, is included for trying\n\
the program without the hardware. k40ctl is the same master on the command\n\
line, for scripts, logs and watching: CSV, JSON Lines and a Prometheus\n\
textfile for node_exporter.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # k40tool_<version>-<revision>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Not found by the library scan: the platform plugins that open the window
# (xcb, wayland) and the font the dialog pages are laid out for.
set(k40_runtime_depends "qt6-qpa-plugins, fonts-wqy-microhei")
find_program(K40_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(K40_DPKG_SHLIBDEPS)
  # Qt, libstdc++ and libc with the versions the binaries were linked against.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${k40_runtime_depends}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6, libqt6gui6, libqt6core6, libstdc++6, libc6, ${k40_runtime_depends}")
endif()

include(CPack)
