// The string table: UTF-16 texts looked up by ID.
#pragma once

// The string with that ID, or null when the table has none.
const char16_t* FindResourceString(int id);
