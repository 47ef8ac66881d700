// Prints qvn's evaluations of positions, for tools/learn/eval_correlation.py.
//
//   qvn-eval-positions [--net FILE] < positions        (run where hash_key.dat and weight.dat are)
//
// Reads one SFEN a line (the first tab-separated column; "sfen" in front or not) and writes
// "linear=V" (the tables alone) and, with a network, "network=V" (tables and network), both
// from the side to move's view, and "quiescence=V": the quiescence search's value on the
// evaluation in use, as the search sees a position.
#include <cstdio>
#include <iostream>
#include <string>

#include "eval/evalute.h"
#include "eval/network.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/worker.h"

int main(int argc, char **argv)
{
    const char *net = nullptr;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--net")
            net = argv[i + 1];
    HashInit();
    InitEvalute(1);
    if (net) {
        std::string error;
        if (!NetLoad(net, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    for (std::string line; std::getline(std::cin, line);) {
        std::string sfen = line.substr(0, line.find('\t'));
        if (sfen.rfind("sfen ", 0) != 0)
            sfen = "sfen " + sfen;
        if (read_position(sfen.c_str()) < 0) {
            std::fprintf(stderr, "not a position: %s\n", sfen.c_str());
            return 1;
        }
        // The engine sees every root with its own side (1) to move.
        std::printf("linear=%d", EvaluteNoHash(&Trunk[0]));
        if (NetActive)
            std::printf(" network=%d", Evalute(&Trunk[0], 1));
        AbortSearch = 0;
        SearchWorker &w = main_worker();
        w.set_root();
        w.trunk[0].eval = 0;
        std::printf(" quiescence=%d\n", w.Quiescence(1, -32000, 32000, 0, 0));
    }
}
