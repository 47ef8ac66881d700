// Runs the mate-in-three test over every position of game records (the side to move
// attacking, not in check, no mate in one found by mate_in_one: where the search would ask)
// and prints how many positions it finds a mate in, and its time a call. For instruction
// counts run it under callgrind: the calls on positions where it finds a mate go through
// on_mate_position, the others through on_other_position, so their inclusive costs divided
// by the counts printed give the cost of a call.
//
//   qvn-mate-three-bench [--hands] [--repeat N] game files...        (run in build/)
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

#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "search/mate_one.h"
#include "search/mate_three.h"

namespace {

[[gnu::noipa]] int on_mate_position(const Position *p, int repeat)
{
    int m = 0;
    for (int i = 0; i < repeat; i++)
        m = mate_in_three(1, p);
    return m;
}

[[gnu::noipa]] int on_other_position(const Position *p, int repeat)
{
    int m = 0;
    for (int i = 0; i < repeat; i++)
        m = mate_in_three(1, p);
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
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::atoi(argv[++i]);
        else
            files.push_back(argv[i]);
    }
    if (files.empty() || repeat < 1) {
        std::fprintf(stderr, "usage: qvn-mate-three-bench [--hands] [--repeat N] game files...\n");
        return 2;
    }
    HashInit();
    // The positions first, sorted by the answer of one call, so that the timing below holds
    // the calls alone.
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
                if (in_check(1, &Trunk[0]) || in_check(0, &Trunk[0]))
                    continue;  // the search asks only when not in check
                if (mate_in_one(1, &Trunk[0])) {
                    with_mate_in_one++;
                    continue;  // and only when the mate-in-one test has found nothing
                }
                const Position root = Trunk[0];
                (mate_in_three(1, &root) ? mates : others).push_back(root);
            }
        }
    }
    int found = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const Position &p : mates)
        found += on_mate_position(&p, repeat) != 0;
    const auto middle = std::chrono::steady_clock::now();
    for (const Position &p : others)
        found += on_other_position(&p, repeat) != 0;
    const auto end = std::chrono::steady_clock::now();
    const auto ns = [repeat](auto a, auto b, std::size_t n) {
        return n ? std::chrono::duration<double, std::nano>(b - a).count() / (static_cast<double>(n) * repeat) : 0.0;
    };
    std::printf("positions left out for a mate in one: %d\n", with_mate_in_one);
    std::printf("positions with a mate in three found: %zu, %.0f ns a call\n", mates.size(), ns(start, middle, mates.size()));
    std::printf("positions without: %zu, %.0f ns a call\n", others.size(), ns(middle, end, others.size()));
    std::printf("calls: %zu on positions with a mate, %zu on the others\n", mates.size() * repeat,
                others.size() * repeat);
    if (found != static_cast<int>(mates.size()))
        std::printf("the answers changed between calls!\n");
    return 0;
}
