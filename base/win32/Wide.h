// UTF-16 (Windows' own strings) to and from UTF-8 (the program's).
#pragma once

#include <string>

std::string Utf8(const wchar_t* text);
std::wstring Utf16(const std::string& text);
