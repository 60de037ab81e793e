# cmake -P: turns one file into a C++ source that defines a PageAsset, the
# bytes of a file that k40ctl serve answers with, built into the program.
#   -DIN=file -DOUT=source.cpp -DNAME=symbol -DURL=/path -DTYPE=media-type
#   [-DSTRIP=text]: a text to drop from the file (a source-map comment, whose
#   map is not embedded: a browser would otherwise ask for it)
# Plain CMake, no xxd: the same step works on every build host.
foreach(v IN ITEMS IN OUT NAME URL TYPE)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "EmbedFile.cmake: -D${v}= is missing")
  endif()
endforeach()

# Text is UTF-8: said in the type (a list separator cannot pass through the
# caller's lists, so the parameter is added here).
if(TYPE MATCHES "^text/")
  string(APPEND TYPE "; charset=utf-8")
endif()

file(READ "${IN}" hex HEX)
if(DEFINED STRIP AND NOT STRIP STREQUAL "")
  string(HEX "${STRIP}" strip_hex)
  string(REPLACE "${strip_hex}" "" hex "${hex}")
endif()
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
file(SHA256 "${IN}" digest)
string(SUBSTRING "${digest}" 0 16 digest)

# Twenty bytes a line keeps the source readable in an editor and diff.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){20})" "\\1\n    " bytes "${bytes}")

file(WRITE "${OUT}.tmp"
"// Made by cmake/EmbedFile.cmake from ${IN}; not edited by hand.
#include \"serve/PageAsset.h\"

namespace {
const unsigned char ${NAME}_bytes[] = {
    ${bytes}0x00};
}  // namespace

extern const PageAsset ${NAME} = {\"${URL}\", \"${TYPE}\", \"\\\"${digest}\\\"\", ${NAME}_bytes, ${size}};
")
file(RENAME "${OUT}.tmp" "${OUT}")
