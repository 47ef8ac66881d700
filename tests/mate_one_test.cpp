// The mate-in-one test against the full legal move lists: whatever it answers is a legal
// mate, and the mates it misses are only of the kinds it leaves out. Positions: every
// position of the test games in both views, the same with the defender's hand handed to
// the attacker and more pieces added, positions a few random moves away and positions
// where the attacker has brought pieces toward the king; hand-made cases; fairy-stockfish's
// mates at the ends of the test games; the mate solver.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "attack_positions.h"
#include "board/attack.h"
#include "board/new_board.h"
#include "board/notation.h"
#include "frontend/usi_sub.h"
#include "movegen/make_legal.h"
#include "search/mate_one.h"
#include "search/mate_search.h"
#include "test_util.h"
#include "tools/perft_core.h"

namespace {

// The legal moves of side in Trunk[0] after which the defender has no legal move (a
// pawn dropped to mate is not among the legal moves). Uses Trunk[1] and Trunk[2].
std::vector<int> reference_mates(int side)
{
    static int list[MOVE_LIST_SIZE], replies[MOVE_LIST_SIZE];
    const int n = legal_moves(0, side, list);
    std::vector<int> out;
    for (int i = 0; i < n; i++) {
        Trunk[1] = Trunk[0];
        NewBoard(side, list[i], &Trunk[1]);
        if (in_check(side ^ 1, &Trunk[1]) && legal_moves(1, side ^ 1, replies) == 0)
            out.push_back(list[i]);
    }
    return out;
}

// How a mate checks: by the moved piece from next to the king or a knight's jump away
// (the kinds mate_in_one must find), by the moved piece sliding from a distance, or
// (also) by another piece the move uncovers.
enum Kind { CONTACT, DISTANT, DISCOVERED };
const char *kind_names[3] = {"contact or knight", "slider at distance", "discovered check"};

Kind kind_of(const Position &p, int side, int move)
{
    Position c = p;
    NewBoard(side, move, &c);
    const int k = c.king[side ^ 1];
    int kind = CONTACT;
    for (int bits = c.attack[side][k]; bits; bits &= bits - 1) {
        const int b = __builtin_ctz(static_cast<unsigned>(bits));
        if (attacker_square(&c, side, k, b) != move_to(move))
            return DISCOVERED;
        if (b >= 8 && b < 16 && c.board[k - delta[side][b - 8]] == 0)
            kind = DISTANT;
    }
    return static_cast<Kind>(kind);
}

struct Tally {
    int positions = 0, with_mate = 0, found = 0;
    int missed[3] = {};
    std::vector<std::string> examples;  // of misses of the kinds it should find
};

// mate_in_one against the reference on Trunk[0] with side to move.
void compare(int side, Tally *tally, const std::string &where)
{
    const Position root = Trunk[0];
    if (!root.king[0] || !root.king[1] || in_check(side, &root) || in_check(side ^ 1, &root))
        return;
    const int answer = mate_in_one(side, &root);
    const std::vector<int> mates = reference_mates(side);
    Trunk[0] = root;
    tally->positions++;
    if (answer) {
        ASSERT_NE(std::find(mates.begin(), mates.end(), answer), mates.end())
            << where << ": " << usi(answer) << " (side " << side << ") is no legal mate";
    }
    if (mates.empty())
        return;
    tally->with_mate++;
    if (answer) {
        tally->found++;
        return;
    }
    Kind kind = DISCOVERED;
    for (int m : mates)
        kind = std::min(kind, kind_of(root, side, m));
    tally->missed[kind]++;
    if (kind != DISCOVERED && tally->examples.size() < 5)
        tally->examples.push_back(where + ": sfen " + write_sfen(root, side == 0, 1) + " " + usi(mates[0]));
}

// Both views of p (side 1 to move): as it is, and turned with side 0 to move.
void compare_both(const Position &p, Tally *tally, const std::string &where)
{
    Trunk[0] = p;
    compare(1, tally, where);
    Trunk[0] = mirrored(p);
    compare(0, tally, where + " (turned)");
}

void print(const char *name, const Tally &t)
{
    std::printf("%s: %d positions, %d with a mate in one, %d found; missed: %d %s, %d %s, %d %s\n", name, t.positions,
                t.with_mate, t.found, t.missed[CONTACT], kind_names[CONTACT], t.missed[DISTANT], kind_names[DISTANT],
                t.missed[DISCOVERED], kind_names[DISCOVERED]);
    for (const auto &e : t.examples)
        std::printf("  missed: %s\n", e.c_str());
}

TEST(MateInOne, AgreesWithTheLegalMovesOnGamePositions)
{
    Tally tallies[POSITION_SETS];
    for_each_attack_position(1, 12345, [&](const Position &p, PositionSet set, const std::string &where) {
        compare_both(p, &tallies[set], where);
        return !::testing::Test::HasFatalFailure();
    });
    int found = 0, missed = 0;
    for (int set = 0; set < POSITION_SETS; set++) {
        print(position_set_names[set], tallies[set]);
        found += set == GAME_POSITIONS ? 0 : tallies[set].found;
        missed += tallies[set].missed[CONTACT];
    }
    EXPECT_GT(tallies[GAME_POSITIONS].positions, 50000);
    EXPECT_GT(found, 4000);
    EXPECT_EQ(missed, 0);
}

// Made by hand; each answer is also held against the reference in both views.
struct Case {
    const char *what;
    const char *sfen;      // side 1 (black) to move
    const char *expected;  // the start of the move's USI text, or "" for no answer
    bool mate;             // the position has a legal mate in one
};

constexpr Case cases[] = {
    {"a pawn drop would mate: illegal, no mate", "6G1k/9/7S1/9/9/9/9/9/4K4 b P 1", "", false},
    {"a pawn drop would mate, a gold drop does", "6G1k/9/7S1/9/9/9/9/9/4K4 b GP 1", "G*", true},
    {"the interposing gold is pinned", "3lkp3/3l1g3/9/9/8B/9/9/9/4K4 b R 1", "R*5", true},
    {"the gold unpinned interposes", "3lkp3/3l1g3/9/9/9/9/9/9/4K4 b R 1", "", false},
    {"a pawn promotes, the lance behind supports it", "8k/9/8P/9/8L/9/9/9/4K4 b - 1", "1c1b+", true},
    {"the pawn unsupported is taken", "8k/9/8P/9/9/9/9/9/4K4 b - 1", "", false},
    {"a knight that must not promote", "6lkl/6bpp/9/9/7N1/9/9/9/4K4 b - 1", "2e3c", true},
    {"the king takes the unprotected gold", "3lkl3/3l1l3/9/9/9/9/9/9/4K4 b G 1", "", false},
    {"the gold protected by a pawn mates", "3lkl3/3l1l3/4P4/9/9/9/9/9/4K4 b G 1", "G*5b", true},
    {"the mating gold is pinned to its king", "3lkl3/3b1b3/r3GK3/9/9/9/9/9/9 b - 1", "", false},
    {"the same gold unpinned mates", "3lkl3/3b1b3/4GK3/9/9/9/9/9/9 b - 1", "5c", true},
    {"a gold dropped on the king's head", "4k4/9/4P4/9/9/9/9/9/4K4 b G 1", "G*5b", true},
    {"a silver drop", "8k/8p/9/6N2/9/9/9/9/4K4 b S 1", "S*2b", true},
    {"a knight drop", "7lk/7bp/9/9/9/9/9/9/4K4 b N 1", "N*2c", true},
    {"a lance dropped from afar", "7lk/7l1/9/9/9/9/9/9/4K4 b L 1", "L*1", true},
    {"a rook drop", "7lk/9/7G1/9/9/9/9/9/4K4 b R 1", "R*1", true},
    {"a bishop dropped from afar, the defender's pawn barred", "7bk/8p/9/6pp1/9/9/9/9/4K4 b Bp 1", "B*", true},
    {"a discovered check alone is left out", "3lkl3/3p1p3/9/9/4S4/9/9/9/K3R4 b - 1", "", true},
    {"a gold's check that uncovers the rook's", "3lkl3/3p1p3/4G4/6N2/9/9/9/9/K3R4 b - 1", "5c4b", true},
};

TEST(MateInOne, HandMadeCases)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.what) + ": " + c.sfen);
        ASSERT_GT(set_position(std::string("sfen ") + c.sfen + "\n"), 0);
        ASSERT_EQ(Reverse, 0);
        const Position root = Trunk[0];
        const int answer = mate_in_one(1, &root);
        const std::vector<int> mates = reference_mates(1);
        Trunk[0] = root;
        EXPECT_EQ(!mates.empty(), c.mate);
        if (c.expected[0] == '\0') {
            EXPECT_EQ(answer, 0) << usi(answer);
        } else {
            ASSERT_NE(answer, 0);
            EXPECT_EQ(usi(answer).rfind(c.expected, 0), 0u) << usi(answer);
            EXPECT_NE(std::find(mates.begin(), mates.end(), answer), mates.end()) << usi(answer);
        }
        // The other side's generators meet the same position turned.
        Trunk[0] = mirrored(root);
        const int turned = mate_in_one(0, &Trunk[0]);
        const std::vector<int> turned_mates = reference_mates(0);
        EXPECT_EQ(turned != 0, answer != 0);
        if (turned) {
            EXPECT_NE(std::find(turned_mates.begin(), turned_mates.end(), turned), turned_mates.end()) << usi(turned);
        }
    }
}

// The mates in one and three plies that fairy-stockfish found at the ends of the test
// games (tests/data/tsume.txt): found where the shortest mate is one move (but for the
// kinds it leaves out), none where it is three plies.
TEST(MateInOne, AgreesWithTheMatesOfAnotherEngine)
{
    std::ifstream in(std::string(QVN_TEST_DATA) + "/tsume.txt");
    int ones = 0, found = 0, threes = 0;
    for (std::string line; std::getline(in, line);) {
        const std::size_t space = line.find(' ');
        if (line.empty() || line[0] == '#' || space == std::string::npos)
            continue;
        const int plies = std::stoi(line.substr(0, space));
        const std::string position = line.substr(space + 1);
        ASSERT_GT(set_position(position + "\n"), 0) << position;
        const Position root = Trunk[0];
        const int answer = mate_in_one(1, &root);
        if (plies == 3) {
            threes++;
            EXPECT_EQ(answer, 0) << position << " " << usi(answer);
            continue;
        }
        ASSERT_EQ(plies, 1);
        ones++;
        found += answer != 0;
        const std::vector<int> mates = reference_mates(1);
        if (answer) {
            EXPECT_NE(std::find(mates.begin(), mates.end(), answer), mates.end()) << position << " " << usi(answer);
            continue;
        }
        ASSERT_FALSE(mates.empty()) << position;
        Kind kind = DISCOVERED;
        for (int m : mates)
            kind = std::min(kind, kind_of(root, 1, m));
        EXPECT_NE(kind, CONTACT) << position << " " << usi(mates[0]);
    }
    std::printf("another engine's mates: %d in one move, %d found; %d in three plies\n", ones, found, threes);
    EXPECT_GE(ones, 150);
    EXPECT_GE(threes, 100);
}

// The mate solver finds a mate of one move exactly where mate_in_one does, but for the
// kinds of mates it leaves out.
TEST(MateInOne, AgreesWithTheMateSolver)
{
    ASSERT_TRUE(mate_table_resize(4));
    std::mt19937 rng(777);
    static MateResult result;
    MateLimits limits;
    limits.nodes = 300;
    int solved = 0, ones = 0, found = 0;
    int game = 0;
    for (const GameRecord &g : test_games()) {
        if (++game % 2)
            continue;
        for (std::size_t k = 20; k <= g.moves.size(); k += 9) {
            ASSERT_GT(set_position(position_text(g, k)), 0);
            Position p = Trunk[0];
            if (rng() % 2)
                enlarge_hands(&p, rng);
            if (!press(&p, 2 + static_cast<int>(rng() % 6), rng))
                continue;
            const Position root = p;
            if (in_check(1, &root) || in_check(0, &root))
                continue;
            const int answer = mate_in_one(1, &root);
            mate_solve(1, &root, limits, &result);
            solved++;
            const bool one = result.status == MATE_FOUND && result.length == 1;
            ones += one;
            found += answer != 0;
            if (answer) {
                EXPECT_TRUE(one) << "sfen " << write_sfen(root, false, 1) << " " << usi(answer);
            } else if (one) {
                Trunk[0] = root;
                const std::vector<int> mates = reference_mates(1);
                Kind kind = DISCOVERED;
                for (int m : mates)
                    kind = std::min(kind, kind_of(root, 1, m));
                EXPECT_NE(kind, CONTACT) << "sfen " << write_sfen(root, false, 1) << " " << usi(result.line[0]);
            }
        }
    }
    std::printf("mate solver: %d positions, %d mates in one, %d of them found\n", solved, ones, found);
    EXPECT_GT(solved, 300);
    EXPECT_GT(found, 40);
}

}  // namespace
