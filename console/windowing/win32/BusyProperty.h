// The property a sheet carries while one of its pages' command handlers
// runs: other programs (the tests' driver) read it with GetPropW to know when
// the handler has ended, now that the window answers messages meanwhile.
#pragma once

inline constexpr wchar_t kBusyProperty[] = L"K40Busy";
