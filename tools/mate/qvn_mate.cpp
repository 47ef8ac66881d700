// qvn-mate: solves mating problems (every attacking move a check) with the engine's
// mate solver, without the protocol.
//
// Reads one problem a line from standard input: a USI position ("sfen ..." or
// "startpos moves ..."), optionally after a label ("7 sfen ...": the expected mate length
// in plies, or "nomate"); '#' starts a comment line. Prints per problem
//   <label> mate <plies> | nomate | unknown  nodes <N> ms <T> line <usi moves>
// and at the end the totals with nodes per second. Runs where "hash_key.dat" is.
//
// nomate-rep: the no-mate rests on repeated positions (a perpetual check).
//
//   qvn-mate [--time MS] [--nodes N] [--hash MIB] [--plain 0|1] < problems
// --plain 0 leaves out the plain moves that the search's generators leave out.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/notation.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "movegen/mate_moves.h"
#include "search/mate_search.h"

namespace {

void usage()
{
    std::fprintf(stderr, "usage: qvn-mate [--time MS] [--nodes N] [--hash MIB] [--plain 0|1] < problems\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char **argv)
{
    MateLimits limits;
    limits.time_ms = 10000;
    int mib = MATE_TABLE_DEFAULT_MIB;
    for (int i = 1; i < argc; i++) {
        if (i + 1 >= argc)
            usage();
        if (!std::strcmp(argv[i], "--time"))
            limits.time_ms = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--nodes"))
            limits.nodes = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--hash"))
            mib = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--plain") && i + 1 < argc)
            mate_plain_moves = std::atoi(argv[++i]) != 0;
        else
            usage();
    }
    HashInit();
    if (!mate_table_resize(mib)) {
        std::fprintf(stderr, "qvn-mate: no memory for a %d MiB table\n", mib);
        return 1;
    }
    static char line[16384];
    static MateResult result;
    unsigned long long all_nodes = 0;
    long long all_ms = 0;
    int problems = 0, mates = 0, nomates = 0;
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (!line[0] || line[0] == '#')
            continue;
        char label[32] = "-";
        const char *position = line;
        if (std::strncmp(line, "sfen", 4) != 0 && std::strncmp(line, "startpos", 8) != 0) {
            std::sscanf(line, "%31s", label);
            position = line + std::strlen(label);
            while (*position == ' ')
                position++;
        }
        if (read_position(position) < 0) {
            std::printf("%s error: position not set up\n", label);
            continue;
        }
        mate_solve(1, &Trunk[0], limits, &result);
        problems++;
        all_nodes += result.nodes;
        all_ms += result.ms;
        if (result.status == MATE_FOUND) {
            mates++;
            std::printf("%s mate %d", label, result.length);
        } else {
            nomates += result.status == MATE_NONE;
            std::printf("%s %s", label,
                        result.status == MATE_UNKNOWN ? "unknown" : result.repetition ? "nomate-rep" : "nomate");
        }
        std::printf(" nodes %llu ms %d line", static_cast<unsigned long long>(result.nodes), result.ms);
        for (int i = 0; i < result.length; i++) {
            char text[8];
            move2usi(Reverse ? move_reverse(result.line[i]) : result.line[i], text);
            std::printf(" %s", text);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("problems %d mate %d nomate %d unknown %d nodes %llu ms %lld nps %.0f\n", problems, mates, nomates,
                problems - mates - nomates, all_nodes, all_ms, all_ms > 0 ? all_nodes * 1000.0 / all_ms : 0.0);
    return 0;
}
