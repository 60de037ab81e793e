// The plain types of the dialog framework's interface: BOOL results (nonzero
// is true), unsigned IDs and 32-bit DWORD values.
#pragma once

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using INT_PTR = std::intptr_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
