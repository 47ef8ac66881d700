// Writes "weight.dat" from a text description of the weights (see tools/weight_text.h).
//   make_weight DESCRIPTION OUTPUT
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/weight_text.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: make_weight DESCRIPTION.txt weight.dat\n", stderr);
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "%s: cannot be read\n", argv[1]);
        return 1;
    }
    WeightSet w;
    std::string error;
    if (!parse_weight_text(in, w, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (!write_weight_file(argv[2], w)) {
        std::fprintf(stderr, "%s: cannot be written\n", argv[2]);
        return 1;
    }
    return 0;
}
