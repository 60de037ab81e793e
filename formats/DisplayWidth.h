// How many terminal columns a UTF-8 text takes, by the East Asian width rules
// and independent of the locale: k40ctl aligns Chinese names and legends in
// its tables and live view, and scripts and CI run it in the C locale, where
// wcwidth(3) knows nothing about Chinese.
#pragma once

#include <cstddef>
#include <string>

// Columns of a UTF-8 text: East Asian Wide and Fullwidth characters (CJK
// ideographs, kana, Hangul, fullwidth forms such as "：" and "，") count 2,
// combining marks and zero-width format characters 0, everything else 1. A
// byte that does not start a well-formed UTF-8 sequence counts 1 by itself.
std::size_t DisplayWidth(const std::string& utf8);

// The text followed by spaces up to the given number of columns; a text that is
// already as wide or wider comes back unchanged.
std::string PadRight(const std::string& utf8, std::size_t width);

// The longest start of the text that takes at most the given number of
// columns, never splitting a character: a line that must not wrap.
std::string CutToWidth(const std::string& utf8, std::size_t width);
