// Numbers written with '.' whatever the program's locale: a locale whose
// decimal point is a comma (set from the environment by the window's
// application object) must not change what a box or a file reads. One file a
// platform: strtod_l on Linux, _strtod_l on Windows.
#pragma once

#include <string>

// strtod(number) in the "C" locale.
double StrtodC(const std::string& number);
