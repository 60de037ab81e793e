#include "master/LocalTime.h"

long LocalTimeAndOffset(std::time_t t, std::tm& local) {
    localtime_r(&t, &local);
    return local.tm_gmtoff;
}
