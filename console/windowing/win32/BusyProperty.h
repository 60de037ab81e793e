// The property a sheet carries while one of its pages' command handlers
// runs: other programs (the tests' driver) read it with GetPropW to know when
// the handler has ended, now that the window answers messages meanwhile.
// An integer atom: a string would be looked up in the caller's atom table,
// which another process need not share.
#pragma once

#include <windows.h>

inline const wchar_t* const kBusyProperty = reinterpret_cast<const wchar_t*>(ULONG_PTR{0x4B40});
