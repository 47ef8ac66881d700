// Searches positions to a fixed depth with the main search and prints value, principal
// variation, nodes and speed:  qvn-search [--depth N] < positions
//
// Positions are USI position arguments, one a line ("startpos moves ..." or "sfen ...");
// lines starting with '#' are skipped. Runs where "hash_key.dat" and "weight.dat" are.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/notation.h"
#include "eval/evalute.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "tools/fixed_depth.h"

int main(int argc, char **argv)
{
    int depth = 6;
    for (int i = 1; i < argc; i++)
        if (!std::strcmp(argv[i], "--depth") && i + 1 < argc)
            depth = std::atoi(argv[++i]);
    HashInit();
    InitEvalute(1);
    char line[10000];
    long long total_nodes = 0;
    double total_seconds = 0;
    while (std::fgets(line, sizeof line, stdin)) {
        if (line[0] == '#' || line[0] == '\n' || read_position(line) < 0)
            continue;
        const auto start = std::chrono::steady_clock::now();
        const FixedDepthResult r = search_fixed_depth(depth, true);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        total_nodes += r.nodes;
        total_seconds += seconds;
        std::printf("value %d nodes %lld time %.3f nps %.0f pv", r.value, r.nodes, seconds, r.nodes / seconds);
        for (int i = 0; i < PV_SIZE && r.pv[i] != PV_END; i++) {
            char text[8];
            move2usi(Reverse ? move_reverse(r.pv[i]) : r.pv[i], text);
            std::printf(" %s", text);
        }
        std::printf("\n");
    }
    std::printf("total: %lld nodes %.3f s %.0f nps\n", total_nodes, total_seconds,
                total_seconds > 0 ? total_nodes / total_seconds : 0.0);
    return 0;
}
