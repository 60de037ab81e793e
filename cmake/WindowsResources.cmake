# The Windows resources of every .exe, made one way:
#   k40_windows_resources(TARGET DESCRIPTION "what the program is" [WINDOW])
# compiles (windres, CMake's RC language for MinGW) a generated .rc into
# TARGET with
#   - a version block (resources/windows/version.rc.in) with the values the
#     version page shows: the product name, K40_VERSION, the makers as the
#     Debian copyright file names them, DESCRIPTION as the file description;
#   - the application manifest (resources/windows/app.manifest.in): runs with
#     the user's own rights (asInvoker), declares Windows 7 to 11;
# and with WINDOW, for the program with a window, also icon 128 and bitmap 130
# (the images of resources/) and, in the manifest, the common controls of
# version 6 and per-monitor DPI awareness (resources/windows/window.manifest.in).
enable_language(RC)

set(K40_WINDOWS_PRODUCT "k40tool")
# The holder of the copyright line of cmake/deb/copyright is also the maker.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/deb/copyright k40_rc_copyright_line
  REGEX "^Copyright: " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright: *" "" K40_WINDOWS_COPYRIGHT_TEXT "${k40_rc_copyright_line}")
string(REGEX REPLACE "^[0-9, -]+ *" "" K40_WINDOWS_COMPANY "${K40_WINDOWS_COPYRIGHT_TEXT}")
set(K40_WINDOWS_COPYRIGHT "Copyright (C) ${K40_WINDOWS_COPYRIGHT_TEXT}")

function(k40_windows_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "WINDOW" "DESCRIPTION" "")
  if(NOT arg_DESCRIPTION)
    message(FATAL_ERROR "k40_windows_resources(${target}): DESCRIPTION is missing")
  endif()
  set(templates ${PROJECT_SOURCE_DIR}/resources/windows)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources)
  # The version as Windows numbers it: four parts, 1.0.0 is 1,0,0,0.
  string(REPLACE "." ";" parts "${K40_VERSION}.0.0.0")
  list(SUBLIST parts 0 4 parts)
  list(JOIN parts "," k40_rc_version_commas)
  list(JOIN parts "." k40_rc_version_dots)

  set(k40_rc_target ${target})
  set(k40_rc_description "${arg_DESCRIPTION}")
  set(k40_rc_product "${K40_WINDOWS_PRODUCT}")
  set(k40_rc_company "${K40_WINDOWS_COMPANY}")
  set(k40_rc_copyright "${K40_WINDOWS_COPYRIGHT}")
  set(k40_rc_images "")
  set(depends "")
  set(k40_rc_manifest_window "")
  set(k40_rc_manifest_note "")
  if(arg_WINDOW)
    set(k40_rc_images "128 ICON \"${PROJECT_SOURCE_DIR}/resources/icon128.ico\"
130 BITMAP \"${PROJECT_SOURCE_DIR}/resources/bitmap130.bmp\"
")
    set(depends ${PROJECT_SOURCE_DIR}/resources/icon128.ico
      ${PROJECT_SOURCE_DIR}/resources/bitmap130.bmp)
    configure_file(${templates}/window.manifest.in ${out}/window.manifest @ONLY)
    file(READ ${out}/window.manifest k40_rc_manifest_window)
    set(k40_rc_manifest_note "\n     The window: common controls 6, per-monitor DPI awareness.")
  endif()
  configure_file(${templates}/app.manifest.in ${out}/${target}.manifest @ONLY)
  set(k40_rc_manifest ${out}/${target}.manifest)
  configure_file(${templates}/version.rc.in ${out}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${out}/${target}.rc)
  # windres reads the manifest and the images itself: rebuild when they change.
  set_property(SOURCE ${out}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS
    ${out}/${target}.manifest ${depends})
endfunction()
