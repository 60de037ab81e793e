#include "bench/BlockOptions.h"

#include <cstdlib>
#include <cstring>

bool ParseBlockOptions(int argc, char** argv, BlockOptions& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const int v = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--count") == 0 && v > 0) {
            o.count = v;
        } else if (std::strcmp(argv[i], "--block") == 0 && v > 0) {
            o.block = v;
        } else {
            return false;
        }
    }
    return argc % 2 == 1;
}
