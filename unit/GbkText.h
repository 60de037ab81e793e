// The unit's texts (signal tables, exception names) are GBK (code page 936)
// bytes, as the console shows them. Programs that talk UTF-8 convert here.
#pragma once

#include <string>

// A NUL-terminated GBK text as UTF-8; null gives the empty text. A byte
// sequence GBK does not define becomes U+FFFD.
std::string GbkToUtf8(const char* gbk);
