// The plain types of the dialog framework's interface: BOOL results (nonzero
// is true), unsigned IDs and 32-bit DWORD values.
#pragma once

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
// windows.h declares DWORD as unsigned long (32 bits there); the same type
// keeps both declarations one.
#ifdef _WIN32
using DWORD = unsigned long;
#else
using DWORD = std::uint32_t;
#endif
using INT_PTR = std::intptr_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
