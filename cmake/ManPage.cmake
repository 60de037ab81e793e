# Manual pages made at build time from a program's own --help (and --version)
# by help2man, compressed for installation as Debian wants them (gzip -9n: no
# name or time stamp in the archive) and installed into section 1:
#
#   k40_man_page(k40tool NAME "Modbus RTU commissioning tool for the HCU-K40 unit")
#   k40_man_page(k40sim NAME "simulated HCU-K40 unit" VERSION_STRING 1.0.0)
#
# NAME is the one-line description of the NAME section (help2man's default is
# a useless "manual page for ..."); VERSION_STRING stands in for a program
# that has no --version. The program must answer --help on stdout without a
# display. The page is built by default, as <target>.1.gz in the current
# binary folder.
include_guard(GLOBAL)
include(GNUInstallDirs)

find_program(K40_HELP2MAN help2man)
find_program(K40_GZIP gzip)

function(k40_man_page target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;VERSION_STRING" "")
  if(NOT arg_NAME)
    message(FATAL_ERROR "k40_man_page(${target}): NAME is required")
  endif()
  if(NOT K40_HELP2MAN OR NOT K40_GZIP)
    message(FATAL_ERROR "k40_man_page(${target}): help2man and gzip are needed (scripts/deps)")
  endif()
  set(page "${CMAKE_CURRENT_BINARY_DIR}/${target}.1")
  set(options --no-info --section=1 "--name=${arg_NAME}")
  if(arg_VERSION_STRING)
    list(APPEND options "--version-string=${arg_VERSION_STRING}")
  endif()
  add_custom_command(
    OUTPUT "${page}.gz"
    COMMAND "${K40_HELP2MAN}" ${options} "--output=${page}" "$<TARGET_FILE:${target}>"
    COMMAND "${K40_GZIP}" -9nf "${page}"
    DEPENDS ${target}
    COMMENT "Manual page ${target}(1)"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS "${page}.gz")
  install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endfunction()
