# The Windows programs as a ZIP file: k40tool-VERSION-win64.zip with k40tool.exe,
# k40ctl.exe, k40sim.exe, a short read-me and the licence, each at the top of the archive.
# scripts/windows makes it with cpack -G ZIP.
install(TARGETS k40ctl k40sim RUNTIME DESTINATION .)
if(TARGET k40tool)  # a build without the window (K40_GUI=OFF) has the others only
  install(TARGETS k40tool RUNTIME DESTINATION .)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/resources/windows/README-Windows.txt DESTINATION .)
# The alert rule pack, the Alertmanager example and the runbooks, as in the
# Debian package's /usr/share/k40ctl.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/alerting/ DESTINATION alerting)
# The licence text of the Debian copyright file, without its machine-readable
# header: the paragraph after "License: Expat".
file(READ ${CMAKE_CURRENT_LIST_DIR}/deb/copyright k40_copyright)
string(REGEX REPLACE "^.*\nLicense: Expat\n" "" k40_licence "${k40_copyright}")
string(REGEX REPLACE "\n \\.\n" "\n\n" k40_licence "${k40_licence}")
string(REGEX REPLACE "\n " "\n" k40_licence "\n${k40_licence}")
string(STRIP "${k40_licence}" k40_licence)
# dygraphs, built into k40ctl.exe for the page of serve: its copyright lines
# from the same file, under the same licence text.
string(REGEX MATCH "\nFiles: dygraphs/\\*\nCopyright: ([^\n]*(\n [^\n]*)*)\nLicense:" k40_dy
       "${k40_copyright}")
string(REGEX REPLACE "\n " "\n" k40_dygraphs "${CMAKE_MATCH_1}")
if(NOT k40_dy)
  message(FATAL_ERROR "cmake/deb/copyright has no paragraph for dygraphs")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/LICENSE.txt "Copyright 2026 k40tool maintainers\n\n${k40_licence}\n\n"
     "k40ctl.exe holds dygraphs (the charts of the page that k40ctl serve gives),\n"
     "under the licence above:\n\nCopyright ${k40_dygraphs}\n")
install(FILES ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME k40tool)
set(CPACK_PACKAGE_VERSION ${K40_VERSION})
set(CPACK_PACKAGE_FILE_NAME k40tool-${K40_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Without the debugging information the build keeps (RelWithDebInfo).
set(CPACK_STRIP_FILES ON)
include(CPack)
