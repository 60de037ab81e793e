#include "base/CNumber.h"

#include <locale.h>

#include <cstdlib>

double StrtodC(const std::string& number) {
    static const _locale_t cLocale = _create_locale(LC_ALL, "C");
    return _strtod_l(number.c_str(), nullptr, cLocale);
}
