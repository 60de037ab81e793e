#include "base/CNumber.h"

#include <locale.h>

#include <cstdlib>

double StrtodC(const std::string& number) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
}
