# Installation and the Debian package of the product: the program k40tool,
# the simulated unit k40sim, the command-line master k40ctl with its manual
# page, a desktop menu entry and the program's icon.
# Tests and benchmarks are not installed.
#
#   cmake --build build && (cd build && cpack -G DEB)
#   sudo apt install ./build/k40tool_1.0.0_amd64.deb
if(NOT TARGET k40tool)
  return()  # a build without the console has nothing to ship
endif()

include(GNUInstallDirs)

install(TARGETS k40tool k40sim k40ctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# k40ctl(1), made from its own --help by help2man and compressed as Debian
# wants manual pages (gzip -9n: no name or time stamp).
find_program(K40_HELP2MAN help2man REQUIRED)
find_program(K40_GZIP gzip REQUIRED)
set(k40ctl_page "${CMAKE_BINARY_DIR}/k40ctl.1")
add_custom_command(
  OUTPUT "${k40ctl_page}.gz"
  COMMAND "${K40_HELP2MAN}" --no-info --section=1
          "--name=the HCU-K40 monitoring unit over Modbus RTU, from the command line"
          "--output=${k40ctl_page}" "$<TARGET_FILE:k40ctl>"
  COMMAND "${K40_GZIP}" -9nf "${k40ctl_page}"
  DEPENDS k40ctl
  COMMENT "Manual page k40ctl(1)"
  VERBATIM)
add_custom_target(k40ctl_man ALL DEPENDS "${k40ctl_page}.gz")
install(FILES "${k40ctl_page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
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

# The maintainer written into the package; a builder may put their own.
set(K40_PACKAGE_MAINTAINER "k40tool maintainers <k40tool@example.org>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME k40tool)
set(CPACK_PACKAGE_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(CPACK_PACKAGE_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(CPACK_PACKAGE_VERSION_PATCH 0)
if(PROJECT_VERSION_PATCH)
  set(CPACK_PACKAGE_VERSION_PATCH ${PROJECT_VERSION_PATCH})
endif()
set(CPACK_PACKAGE_VERSION
  "${CPACK_PACKAGE_VERSION_MAJOR}.${CPACK_PACKAGE_VERSION_MINOR}.${CPACK_PACKAGE_VERSION_PATCH}")
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

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # k40tool_<version>_<arch>.deb
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
