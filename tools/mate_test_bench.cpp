// Runs the mate-in-one test (or with --three the mate-in-three test) over every position of
// game records, the side to move attacking, and prints how many positions have a mate, how
// many of those it finds, and its time a call. The mate-in-three test is called where the
// search calls it: not in check, no mate in one found. For instruction counts run it under
// callgrind: the calls on positions with a mate go through on_mate_position, the others
// through on_other_position, so their inclusive costs divided by the counts printed give the
// cost of a call.
//
//   qvn-mate-test-bench [--three] [--hands] [--repeat N] game files...        (run in build/)
//
// --hands gives the side to move the opponent's pieces in hand as well (more drops, more mates).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/new_board.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "movegen/make_legal.h"
#include "search/mate_one.h"
#include "search/mate_three.h"
#include "tools/perft_core.h"

namespace {

bool three = false;

// True when side, to move in Trunk[0], has a legal move after which the opponent has none.
bool has_mate(int side)
{
    static int list[MOVE_LIST_SIZE], replies[MOVE_LIST_SIZE];
    const int n = legal_moves(0, side, list);
    for (int i = 0; i < n; i++) {
        Trunk[1] = Trunk[0];
        NewBoard(side, list[i], &Trunk[1]);
        if (in_check(side ^ 1, &Trunk[1]) && legal_moves(1, side ^ 1, replies) == 0)
            return true;
    }
    return false;
}

int mate_test(const Position *p) { return three ? mate_in_three(1, p) : mate_in_one(1, p); }

[[gnu::noipa]] int on_mate_position(const Position *p, int repeat)
{
    int m = 0;
    for (int i = 0; i < repeat; i++)
        m = mate_test(p);
    return m;
}

[[gnu::noipa]] int on_other_position(const Position *p, int repeat)
{
    int m = 0;
    for (int i = 0; i < repeat; i++)
        m = mate_test(p);
    return m;
}

}  // namespace

int main(int argc, char **argv)
{
    bool hands = false;
    int repeat = 1;
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--hands"))
            hands = true;
        else if (!std::strcmp(argv[i], "--three"))
            three = true;
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::atoi(argv[++i]);
        else
            files.push_back(argv[i]);
    }
    if (files.empty() || repeat < 1 || files[0][0] == '-') {
        std::fprintf(stderr, "usage: qvn-mate-test-bench [--three] [--hands] [--repeat N] game files...\n");
        return 2;
    }
    HashInit();
    // The positions first, sorted by the answer (the legal moves' for one move, one call's
    // for three), so that the timing below holds the calls alone.
    std::vector<Position> mates, others;
    int with_mate_in_one = 0;
    for (const auto &file : files) {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("startpos", 0) != 0)
                continue;
            std::istringstream words(line);
            std::string word, text;
            words >> text >> word;  // startpos moves
            for (bool first = true;; first = false) {
                if (!first) {
                    if (!(words >> word))
                        break;
                    text += (text == "startpos" ? " moves " : " ") + word;
                }
                if (read_position((text + "\n").c_str()) < 0)
                    break;
                if (hands)
                    for (int t = FU; t <= HI; t++) {
                        Trunk[0].hand[1][t] += Trunk[0].hand[0][t];
                        Trunk[0].hand[0][t] = 0;
                    }
                if (in_check(1, &Trunk[0]) || (three && in_check(0, &Trunk[0])))
                    continue;  // the search asks only when not in check
                const Position root = Trunk[0];
                if (three && mate_in_one(1, &root)) {
                    with_mate_in_one++;
                    continue;
                }
                ((three ? mate_in_three(1, &root) != 0 : has_mate(1)) ? mates : others).push_back(root);
            }
        }
    }
    int found = 0, false_mates = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const Position &p : mates)
        found += on_mate_position(&p, repeat) != 0;
    const auto middle = std::chrono::steady_clock::now();
    for (const Position &p : others)
        false_mates += on_other_position(&p, repeat) != 0;
    const auto end = std::chrono::steady_clock::now();
    const auto ns = [repeat](auto a, auto b, std::size_t n) {
        return n ? std::chrono::duration<double, std::nano>(b - a).count() / (static_cast<double>(n) * repeat) : 0.0;
    };
    if (three)
        std::printf("positions left out for a mate in one: %d\n", with_mate_in_one);
    std::printf("positions with a mate in %s: %zu, found %d, %.0f ns a call\n", three ? "three" : "one",
                mates.size(), found, ns(start, middle, mates.size()));
    std::printf("positions without: %zu, %.0f ns a call\n", others.size(), ns(middle, end, others.size()));
    std::printf("calls: %zu on positions with a mate, %zu on the others\n", mates.size() * repeat,
                others.size() * repeat);
    // Both are faults: the legal moves have no mate there, or one call's answer changed.
    const int faults = false_mates + (three ? static_cast<int>(mates.size()) - found : 0);
    if (faults)
        std::printf("%d answers %s\n", faults, three ? "changed between calls" : "where the legal moves have no mate");
    return faults != 0;
}
