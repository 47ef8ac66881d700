// Shows a "weight.dat": its time stamp and the statistics of every table, and with a
// second argument every value as text that make_weight reads back ("-": standard output).
//   dump_weight weight.dat [TEXT]
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/weight_text.h"

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs("usage: dump_weight weight.dat [TEXT | -]\n", stderr);
        return 2;
    }
    WeightSet w;
    std::string warning;
    if (!read_weight_file(argv[1], w, warning)) {
        std::fprintf(stderr, "%s: cannot be read\n", argv[1]);
        return 1;
    }
    if (!warning.empty())
        std::fprintf(stderr, "%s\n", warning.c_str());
    if (argc == 3 && std::string(argv[2]) == "-") {
        print_weight_text(std::cout, w);
        return 0;
    }
    print_weight_summary(std::cout, w);
    if (argc == 3) {
        std::ofstream out(argv[2]);
        print_weight_text(out, w);
        if (!out) {
            std::fprintf(stderr, "%s: cannot be written\n", argv[2]);
            return 1;
        }
    }
    return 0;
}
