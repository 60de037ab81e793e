// The string table: UTF-16 texts looked up by ID.
#pragma once

// The string with that ID, or null when the table has none.
const char16_t* FindResourceString(int id);

#include <string>

// A NUL-terminated UTF-16 text (a string-table entry, a layout's caption) as
// UTF-8; null gives the empty text, a lone surrogate U+FFFD.
std::string Utf16ToUtf8(const char16_t* text);
