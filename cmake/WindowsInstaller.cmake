# The Windows installer: k40tool-VERSION-win64-setup.exe beside the zip, made
# with NSIS (makensis, resources/windows/k40tool.nsi) from this build's
# programs, stripped as in the zip, and the zip's read-me and licence. Part of
# the default build, so that the installer test under Wine finds it; the
# target is called setup. LICENSE.txt is cmake/WindowsPackage.cmake's.
find_program(K40_MAKENSIS makensis)
if(NOT K40_MAKENSIS)
  message(STATUS "No makensis (NSIS, see scripts/deps): the setup program is left out")
  return()
endif()

# k40tool.exe when the build has the window.
set(k40_setup_programs k40ctl k40sim k40demo)
if(TARGET k40tool)
  list(APPEND k40_setup_programs k40tool)
endif()
set(k40_setup_staging ${CMAKE_BINARY_DIR}/setup)
set(K40_SETUP_FILE ${CMAKE_BINARY_DIR}/k40tool-${K40_VERSION}-win64-setup.exe)
set(k40_setup_texts
  ${PROJECT_SOURCE_DIR}/resources/windows/README-Windows.txt ${CMAKE_BINARY_DIR}/LICENSE.txt)

# What the installer puts in its folder and its uninstaller removes, one list
# for both, so that the uninstaller leaves nothing behind.
set(k40_setup_copy)
set(k40_setup_names)
foreach(target IN LISTS k40_setup_programs)
  list(APPEND k40_setup_names ${target}.exe)
  list(APPEND k40_setup_copy
    COMMAND ${CMAKE_STRIP} -o ${k40_setup_staging}/${target}.exe $<TARGET_FILE:${target}>)
endforeach()
foreach(text IN LISTS k40_setup_texts)
  cmake_path(GET text FILENAME name)
  list(APPEND k40_setup_names ${name})
  list(APPEND k40_setup_copy COMMAND ${CMAKE_COMMAND} -E copy ${text} ${k40_setup_staging}/)
endforeach()
set(k40_setup_nsh "")
if(TARGET k40tool)
  string(APPEND k40_setup_nsh "!define K40_HAVE_TOOL\n")
endif()
string(APPEND k40_setup_nsh "!macro K40_INSTALL_FILES\n")
foreach(name IN LISTS k40_setup_names)
  string(APPEND k40_setup_nsh "  File \"${k40_setup_staging}/${name}\"\n")
endforeach()
string(APPEND k40_setup_nsh "!macroend\n!macro K40_DELETE_FILES\n")
foreach(name IN LISTS k40_setup_names)
  string(APPEND k40_setup_nsh "  Delete \"$INSTDIR\\${name}\"\n")
endforeach()
string(APPEND k40_setup_nsh "!macroend\n")
# The programs that may run from the folder: the installer and uninstaller
# find them before they touch a file.
string(APPEND k40_setup_nsh "!macro K40_FOR_EACH_PROGRAM MACRO\n")
foreach(target IN LISTS k40_setup_programs)
  string(APPEND k40_setup_nsh "  !insertmacro \${MACRO} \"${target}.exe\"\n")
endforeach()
string(APPEND k40_setup_nsh "!macroend\n")
file(CONFIGURE OUTPUT ${k40_setup_staging}/files.nsh CONTENT "${k40_setup_nsh}" @ONLY)

set(k40_setup_script ${PROJECT_SOURCE_DIR}/resources/windows/k40tool.nsi)
set(k40_setup_icon ${PROJECT_SOURCE_DIR}/resources/icon128.ico)
add_custom_command(OUTPUT ${K40_SETUP_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${k40_setup_staging}
  ${k40_setup_copy}
  COMMAND ${K40_MAKENSIS} -V2 -WX -INPUTCHARSET UTF8
    -DVERSION=${K40_VERSION} -DOUTFILE=${K40_SETUP_FILE} -DICON=${k40_setup_icon}
    -DSTAGING=${k40_setup_staging} -DFILES=${k40_setup_staging}/files.nsh ${k40_setup_script}
  DEPENDS ${k40_setup_programs} ${k40_setup_texts} ${k40_setup_script} ${k40_setup_icon}
    ${k40_setup_staging}/files.nsh
  COMMENT "Making k40tool-${K40_VERSION}-win64-setup.exe with makensis"
  VERBATIM)
add_custom_target(setup ALL DEPENDS ${K40_SETUP_FILE})
