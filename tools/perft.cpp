// qvn-perft: counts the leaf nodes of the legal move tree of USI positions.
//
// Reads one position a line from standard input, written as after the USI command
// "position " ("startpos moves ..." or "sfen <sfen> [moves ...]"), sets it up through
// the engine's own position command and prints "total: <N>" for it; with --divide, first
// one line "<usi move>: <count>" per legal move. Nodes per second go to standard error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/new_board.h"
#include "board/notation.h"
#include "board/position.h"
#include "frontend/usi_sub.h"
#include "movegen/make_legal.h"
#include "movegen/mate_moves.h"
#include "tools/perft_core.h"

namespace {

void usage()
{
    std::fprintf(stderr, "usage: qvn-perft [--depth N] [--divide] [--full] < positions\n");
    std::exit(2);
}

// The number of moves a position line carries after "moves".
int count_moves(const char *line)
{
    const char *m = std::strstr(line, "moves");
    if (!m)
        return 0;
    int n = 0;
    for (const char *s = m + 5; *s;) {
        while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n')
            s++;
        if (!*s)
            break;
        n++;
        while (*s && *s != ' ' && *s != '\t' && *s != '\r' && *s != '\n')
            s++;
    }
    return n;
}

}  // namespace

int main(int argc, char **argv)
{
    int depth = 1;
    bool divide = false;
    bool full = false;  // the mate solver's full legal moves, plain moves included (depth 1)
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--divide"))
            divide = true;
        else if (!std::strcmp(argv[i], "--full"))
            full = true;
        else if (!std::strcmp(argv[i], "--depth") && i + 1 < argc)
            depth = std::atoi(argv[++i]);
        else
            usage();
    }
    if (depth < 1 || depth > MAX_PLY - 1 || (full && depth != 1))
        usage();

    std::uint64_t all_nodes = 0;
    double all_seconds = 0;
    static char line[16384];
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (!line[0] || line[0] == '#')
            continue;
        const int expected = count_moves(line);
        const int number = read_position(line);
        if (number < 0 || (expected > 0 && (number != expected || Trunk[0].last_move == 0))) {
            std::printf("error: position not set up: %s\n", line);
            std::fflush(stdout);
            continue;
        }
        const auto start = std::chrono::steady_clock::now();
        std::uint64_t total = 0;
        if (divide) {
            int list[MOVE_LIST_SIZE];
            const int n = full ? all_legal_moves(1, &Trunk[0], list, &Trunk[1]) : legal_moves(0, 1, list);
            for (int i = 0; i < n; i++) {
                std::uint64_t count = 1;
                if (depth > 1) {
                    Trunk[1] = Trunk[0];
                    Trunk[1].last_move = list[i];
                    NewBoard(1, list[i], &Trunk[1]);
                    count = perft(1, 0, depth - 1);
                }
                char usi[8];
                move2usi(Reverse ? move_reverse(list[i]) : list[i], usi);
                std::printf("%s: %llu\n", usi, static_cast<unsigned long long>(count));
                total += count;
            }
        } else if (full) {
            int list[MOVE_LIST_SIZE];
            total = static_cast<std::uint64_t>(all_legal_moves(1, &Trunk[0], list, &Trunk[1]));
        } else {
            total = perft(0, 1, depth);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("total: %llu\n", static_cast<unsigned long long>(total));
        std::fflush(stdout);
        all_nodes += total;
        all_seconds += seconds;
    }
    std::fprintf(stderr, "nodes %llu time %.3f s nps %.0f\n", static_cast<unsigned long long>(all_nodes), all_seconds,
                 all_seconds > 0 ? all_nodes / all_seconds : 0.0);
    return 0;
}
