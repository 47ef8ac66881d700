// The mate-in-three test against a brute force over the full legal move lists: whatever it
// answers is a mate in three plies (or one), and each mate it misses is of a kind it leaves
// out. Positions: positions of the test games in both views, the same with the defender's
// hand handed to the attacker, positions a few random moves away and positions where the
// attacker has brought pieces toward the king; fairy-stockfish's mates at the ends of the
// test games; the mate solver on a sample; hand-made cases.
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
#include "movegen/make_legal.h"
#include "movegen/mate_moves.h"
#include "search/mate_one.h"
#include "search/mate_search.h"
#include "search/mate_three.h"
#include "test_util.h"
#include "tools/perft_core.h"

namespace {

// Every legal move of side in p (the plain ones the generators leave out included, pawn
// drops that mate left out).
int legal(Position p, int side, int *list)
{
    static Position scratch;
    return all_legal_moves(side, &p, list, &scratch);
}

// Side, to move in p, has a legal move that checks and leaves the defender no legal move.
bool mates_in_one(const Position &p, int side)
{
    int list[MATE_LIST_SIZE], replies[MATE_LIST_SIZE];
    const int n = legal(p, side, list);
    for (int i = 0; i < n; i++) {
        Position c = p;
        NewBoard(side, list[i], &c);
        if (gives_check(side, &c) && legal(c, side ^ 1, replies) == 0)
            return true;
    }
    return false;
}

// The move just made into c checks by the piece it moved, from next to the king or a
// knight's jump away.
bool contact_check(const Position &c, int side, int move)
{
    const int k = c.king[side ^ 1];
    for (int bits = c.attack[side][k]; bits; bits &= bits - 1) {
        const int b = __builtin_ctz(static_cast<unsigned>(bits));
        if (attacker_square(&c, side, k, b) == move_to(move) && (b >= 16 || distance(k, move_to(move)) == 1))
            return true;
    }
    return false;
}

// A contact check of the legal moves that mates in three plies: every answer (there is at
// least one) is met by a mate; or that mates at once.
struct RefMate {
    int move;
    bool at_once;
};

std::vector<RefMate> reference_mates(const Position &root, int side)
{
    int list[MATE_LIST_SIZE], answers[MATE_LIST_SIZE];
    std::vector<RefMate> out;
    const int n = legal(root, side, list);
    for (int i = 0; i < n; i++) {
        Position c = root;
        NewBoard(side, list[i], &c);
        if (!gives_check(side, &c) || !contact_check(c, side, list[i]))
            continue;
        const int na = legal(c, side ^ 1, answers);
        bool all = true;
        for (int a = 0; a < na && all; a++) {
            Position g = c;
            NewBoard(side ^ 1, answers[a], &g);
            all = mates_in_one(g, side);
        }
        if (all)
            out.push_back({list[i], na == 0});
    }
    return out;
}

// Why a reference mate in three is not found, in the order the test meets them: a plain
// move the generators leave out, a checker taken with nothing to take back (a sacrifice it
// never looks at), a check that leaves the king three squares or more to step to (left
// out too), an answer after which the mate is one that mate_in_one leaves out; or none of
// these, which must not happen.
enum Miss { UNEXPLAINED, THIRD_MOVE, ROOMY, SACRIFICE, PLAIN, MISS_KINDS };
const char *miss_names[MISS_KINDS] = {"unexplained", "third move beyond mate_in_one", "three king moves or more",
                                      "sacrifice", "plain move"};

Miss why_missed(const Position &root, int side, int move)
{
    int list[MOVE_LIST_SIZE];
    Position q = root;
    int n = MakeMove(side, &q, list);
    n += MakeDrop(side, &q, list + n);
    if (std::find(list, list + n, move) == list + n)
        return PLAIN;
    Position c = root;
    NewBoard(side, move, &c);
    const int to = move_to(move);
    if (!c.attack[side][to] && (distance(to, c.king[side ^ 1]) == 1 || c.attack[side ^ 1][to]))
        return SACRIFICE;
    int answers[MATE_LIST_SIZE];
    const int na = legal(c, side ^ 1, answers);
    if (std::count_if(answers, answers + na, [](int a) { return move_piece(a) == OU; }) >= 3)
        return ROOMY;
    for (int a = 0; a < na; a++) {
        Position g = c;
        NewBoard(side ^ 1, answers[a], &g);
        if (!mate_in_one(side, &g))
            return THIRD_MOVE;
    }
    return UNEXPLAINED;
}

struct Tally {
    int positions = 0, with_mate = 0, found = 0, answered = 0;
    int missed[MISS_KINDS] = {};
    std::vector<std::string> examples;  // a few misses of each kind, for the log
};

// mate_in_three against the reference on root with side to move.
void compare(const Position &root, int side, Tally *tally, const std::string &where)
{
    if (!root.king[0] || !root.king[1] || in_check(side, &root) || in_check(side ^ 1, &root))
        return;
    const int answer = mate_in_three(side, &root);
    const std::vector<RefMate> mates = reference_mates(root, side);
    tally->positions++;
    tally->answered += answer != 0;
    if (answer) {
        ASSERT_TRUE(std::any_of(mates.begin(), mates.end(), [answer](const RefMate &r) { return r.move == answer; }))
            << where << ": sfen " << write_sfen(root, side == 0, 1) << " " << usi(answer) << " mates in no three plies";
    }
    if (std::all_of(mates.begin(), mates.end(), [](const RefMate &r) { return r.at_once; }))
        return;
    tally->with_mate++;
    if (answer) {
        tally->found++;
        return;
    }
    Miss miss = PLAIN;
    for (const RefMate &r : mates)
        if (!r.at_once)
            miss = std::min(miss, why_missed(root, side, r.move));
    tally->missed[miss]++;
    int same = 0;
    for (const auto &e : tally->examples)
        same += e.rfind(miss_names[miss], 0) == 0;
    if (same < 2)
        tally->examples.push_back(std::string(miss_names[miss]) + ": " + where + ": sfen " + write_sfen(root, side == 0, 1));
}

// Both views of p (side 1 to move): as it is, and turned with side 0 to move.
void compare_both(const Position &p, Tally *tally, const std::string &where)
{
    compare(p, 1, tally, where);
    compare(mirrored(p), 0, tally, where + " (turned)");
}

void print(const char *name, const Tally &t)
{
    std::printf("%s: %d positions, %d answered, %d with a contact mate in three, %d found; missed:", name,
                t.positions, t.answered, t.with_mate, t.found);
    for (int m = 0; m < MISS_KINDS; m++)
        std::printf(" %d %s%s", t.missed[m], miss_names[m], m < MISS_KINDS - 1 ? "," : "\n");
    for (const auto &e : t.examples)
        std::printf("  %s\n", e.c_str());
}

// Every third position of the games (the brute force is slow), in both views; the same
// with enlarged hands; a few random moves on; and after moves toward the king.
TEST(MateInThree, AgreesWithTheLegalMovesOnGamePositions)
{
    Tally tallies[POSITION_SETS];
    for_each_attack_position(3, 2024, [&](const Position &p, PositionSet set, const std::string &where) {
        compare_both(p, &tallies[set], where);
        return !::testing::Test::HasFatalFailure();
    });
    int positions = 0, found = 0;
    for (int set = 0; set < POSITION_SETS; set++) {
        print(position_set_names[set], tallies[set]);
        positions += tallies[set].positions;
        found += tallies[set].found;
        EXPECT_EQ(tallies[set].missed[UNEXPLAINED], 0);
    }
    EXPECT_GT(positions, 10000);
    EXPECT_GT(found, 300);
}

// The mates in one and three plies that fairy-stockfish found at the ends of the test games
// (tests/data/tsume.txt): every answer is a mate of the brute force; of the mates in three
// plies, those whose first move is no contact check are out of reach, the others are found
// but for the kinds left out.
TEST(MateInThree, AgreesWithTheMatesOfAnotherEngine)
{
    std::ifstream in(std::string(QVN_TEST_DATA) + "/tsume.txt");
    Tally ones, threes;
    int distant = 0, number = 0;
    for (std::string line; std::getline(in, line);) {
        number++;
        const std::size_t space = line.find(' ');
        if (line.empty() || line[0] == '#' || space == std::string::npos)
            continue;
        const int plies = std::stoi(line.substr(0, space));
        const std::string position = line.substr(space + 1);
        ASSERT_GT(set_position(position + "\n"), 0) << position;
        const Position root = Trunk[0];
        if (plies == 3 && reference_mates(root, 1).empty()) {
            distant++;  // no contact check mates
            EXPECT_EQ(mate_in_three(1, &root), 0) << position;
            continue;
        }
        compare(root, 1, plies == 3 ? &threes : &ones, "tsume.txt line " + std::to_string(number));
        if (HasFatalFailure())
            return;
    }
    print("another engine's mates in one", ones);
    print("another engine's mates in three", threes);
    std::printf("  and %d mates in three that start with no contact check\n", distant);
    EXPECT_GE(threes.positions + distant, 100);
    EXPECT_GT(threes.found, threes.with_mate / 2);
    EXPECT_EQ(threes.missed[UNEXPLAINED] + ones.missed[UNEXPLAINED], 0);
}

// Wherever it answers, the mate solver finds a mate of three plies at most.
TEST(MateInThree, AgreesWithTheMateSolver)
{
    ASSERT_TRUE(mate_table_resize(4));
    std::mt19937 rng(4711);
    static MateResult result;
    MateLimits limits;
    limits.nodes = 3000;
    int positions = 0, answered = 0;
    int game = 0;
    for (const GameRecord &g : test_games()) {
        game++;
        for (std::size_t k = 10 + game % 4; k <= g.moves.size(); k += 4) {
            ASSERT_GT(set_position(position_text(g, k)), 0);
            Position p = Trunk[0];
            if (rng() % 2)
                enlarge_hands(&p, rng);
            if (!press(&p, 3 + static_cast<int>(rng() % 8), rng))
                continue;
            if (in_check(1, &p) || in_check(0, &p))
                continue;
            positions++;
            const int answer = mate_in_three(1, &p);
            if (!answer)
                continue;
            answered++;
            mate_solve(1, &p, limits, &result);
            EXPECT_EQ(result.status, MATE_FOUND) << "sfen " << write_sfen(p, false, 1) << " " << usi(answer);
            EXPECT_LE(result.length, 3) << "sfen " << write_sfen(p, false, 1) << " " << usi(answer);
        }
    }
    std::printf("mate solver: %d positions, %d answered\n", positions, answered);
    EXPECT_GT(positions, 3000);
    EXPECT_GT(answered, 300);
}

// Made by hand; each is also held against the brute force, in both views.
struct Case {
    const char *what;
    const char *sfen;      // side 1 (black) to move
    const char *expected;  // the start of the move's USI text, or "" for no answer
    bool mate;             // a contact check mates in three plies
};

constexpr Case cases[] = {
    {"a gold dropped above the pawn, then a gold dropped on the king", "9/8k/9/8P/9/9/9/9/4K4 b 2G 1", "G*1c", true},
    {"a pawn dropped to check, then the gold steps up", "8k/9/6G2/7N1/9/9/9/9/4K4 b P 1", "P*1b", true},
    {"the same pawn drop would mate: not allowed", "8k/9/6G2/7N1/3B5/9/9/9/4K4 b P 1", "", false},
    {"a gold drives the king out, a lance dropped below mates", "8k/9/6N2/6S2/9/9/9/9/4K4 b GL 1", "G*2a", true},
    {"a silver in hand is dropped between", "8k/9/6N2/6S2/9/9/9/9/4K4 b GLs 1", "", false},
    {"a pawn in hand is dropped between", "8k/9/6N2/6S2/9/9/9/9/4K4 b GLp 1", "", false},
    {"a pawn in hand that may not be dropped between", "8k/9/6N2/6S2/9/9/8p/9/4K4 b GLp 1", "G*2a", true},
};

TEST(MateInThree, HandMadeCases)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.what) + ": " + c.sfen);
        ASSERT_GT(set_position(std::string("sfen ") + c.sfen + "\n"), 0);
        ASSERT_EQ(Reverse, 0);
        const Position root = Trunk[0];
        EXPECT_EQ(mate_in_one(1, &root), 0);
        const int answer = mate_in_three(1, &root);
        const std::vector<RefMate> mates = reference_mates(root, 1);
        EXPECT_EQ(!mates.empty(), c.mate);
        if (c.expected[0] == '\0') {
            EXPECT_EQ(answer, 0) << usi(answer);
        } else {
            ASSERT_NE(answer, 0);
            EXPECT_EQ(usi(answer).rfind(c.expected, 0), 0u) << usi(answer);
            EXPECT_TRUE(std::any_of(mates.begin(), mates.end(), [answer](const RefMate &r) { return r.move == answer; }))
                << usi(answer);
        }
        // The other side's code meets the same position turned.
        const Position turned = mirrored(root);
        const int turned_answer = mate_in_three(0, &turned);
        EXPECT_EQ(turned_answer != 0, answer != 0);
        if (turned_answer) {
            const std::vector<RefMate> turned_mates = reference_mates(turned, 0);
            EXPECT_TRUE(std::any_of(turned_mates.begin(), turned_mates.end(),
                                    [turned_answer](const RefMate &r) { return r.move == turned_answer; }))
                << usi(turned_answer);
        }
    }
}

}  // namespace
