// The mate solver against the problem set (lengths and no-mates that gpsusi and
// fairy-stockfish agree with) and hand-checked tricky problems; every mating line is
// replayed by a checker that uses only the full legal move lists and the attack tables.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/new_board.h"
#include "board/notation.h"
#include "frontend/usi_sub.h"
#include "movegen/mate_moves.h"
#include "search/mate_search.h"

namespace {

struct Problem {
    std::string kind;      // a length in plies, "nomate", "plain-only", "pawn-trap", ...
    std::string position;  // as after "position "
};

std::vector<Problem> read_problems(const char *file)
{
    std::vector<Problem> out;
    std::ifstream in(std::string(QVN_TEST_DATA) + "/mate/" + file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t space = line.find(' ');
        out.push_back({line.substr(0, space), line.substr(space + 1)});
    }
    return out;
}

std::string usi(int move)
{
    char text[8];
    move2usi(Reverse ? move_reverse(move) : move, text);
    return text;
}

// Every attacker move legal and leaving the defender's king attacked, every reply legal,
// and no legal reply after the last move.
::testing::AssertionResult is_mating_line(const Position &root, const int *line, int n)
{
    static Position p, scratch;
    p = root;
    int list[MATE_LIST_SIZE];
    for (int i = 0; i < n; i++) {
        const int side = (i & 1) ? 0 : 1;
        const int count = all_legal_moves(side, &p, list, &scratch);
        if (std::find(list, list + count, line[i]) == list + count)
            return ::testing::AssertionFailure() << "ply " << i + 1 << " " << usi(line[i]) << " is not legal";
        NewBoard(side, line[i], &p);
        if (side == 1 && !in_check(0, &p))
            return ::testing::AssertionFailure() << "ply " << i + 1 << " " << usi(line[i]) << " gives no check";
    }
    if (n % 2 == 0)
        return ::testing::AssertionFailure() << "the line ends with the defender's move";
    const int replies = all_legal_moves(0, &p, list, &scratch);
    if (replies != 0)
        return ::testing::AssertionFailure() << "the defender still has " << replies << " replies, e.g. " << usi(list[0]);
    return ::testing::AssertionSuccess();
}

MateResult solve(const std::string &position, std::uint64_t nodes)
{
    static MateResult result;
    EXPECT_GE(read_position(position.c_str()), 0) << position;
    MateLimits limits;
    limits.nodes = nodes;
    mate_solve(1, &Trunk[0], limits, &result);
    return result;
}

bool has_plain_move(const int *line, int n)
{
    // The plain moves the search's generators may leave out: a pawn or lance into the
    // zone (a lance only to the last two ranks unless in check), a bishop or rook from or
    // into it.
    for (int i = 0; i < n; i += 2) {
        const int m = line[i], piece = move_piece(m), to = move_to(m) & 15, from = move_from(m) & 15;
        if (!from || move_is_promote(m))
            continue;
        if (((piece == FU || piece == KY) && to <= 3) || ((piece == KA || piece == HI) && (to <= 3 || from <= 3)))
            return true;
    }
    return false;
}

}  // namespace

// The mates of up to 17 plies of the set, each line accepted by the checker and, but for
// at most three, at most two plies longer than the shortest line that we or gpsusi ever
// found; no-mates proved.
TEST(MateSolver, SolvesTheProblemSet)
{
    const auto problems = read_problems("problems.txt");
    ASSERT_GE(problems.size(), 100u);
    ASSERT_TRUE(mate_table_resize(16));
    int mates = 0, much_longer = 0;
    for (const Problem &pr : problems) {
        SCOPED_TRACE(pr.kind + " " + pr.position);
        if (std::isdigit(static_cast<unsigned char>(pr.kind[0])) && std::stoi(pr.kind) > 17)
            continue;  // the long ones are for tools/mate/mate_table.py
        mates += pr.kind[0] != 'n';
        const MateResult &r = solve(pr.position, 3000000);
        if (pr.kind.rfind("nomate", 0) == 0) {
            EXPECT_EQ(r.status, MATE_NONE);
            continue;
        }
        ASSERT_EQ(r.status, MATE_FOUND);
        if (r.length > std::stoi(pr.kind) + 2) {
            much_longer++;
            std::printf("longer: %d plies for %s\n", r.length, pr.kind.c_str());
        }
        EXPECT_TRUE(is_mating_line(Trunk[0], r.line, r.length));
    }
    EXPECT_GE(mates, 80);
    EXPECT_LE(much_longer, 3);
}

// plain-only: mated only through a plain move the search's generators leave out (with
// them alone the solver proves no mate); pawn-trap: a pawn drop would mate, so it is
// illegal and never the answer; perpetual: checks forever, no mate.
TEST(MateSolver, SpecialProblems)
{
    const auto problems = read_problems("tricky.txt");
    ASSERT_TRUE(mate_table_resize(16));
    int kinds[3] = {};
    for (const Problem &pr : problems) {
        SCOPED_TRACE(pr.kind + " " + pr.position);
        const MateResult &r = solve(pr.position, 3000000);
        if (pr.kind == "perpetual") {
            kinds[0]++;
            EXPECT_EQ(r.status, MATE_NONE);
            EXPECT_TRUE(r.repetition);
        } else if (pr.kind == "plain-only") {
            kinds[1]++;
            ASSERT_EQ(r.status, MATE_FOUND);
            EXPECT_TRUE(is_mating_line(Trunk[0], r.line, r.length));
            EXPECT_TRUE(has_plain_move(r.line, r.length));
            mate_plain_moves = false;
            EXPECT_EQ(solve(pr.position, 3000000).status, MATE_NONE);
            mate_plain_moves = true;
        } else {
            kinds[2]++;
            ASSERT_EQ(pr.kind.rfind("pawn-trap", 0), 0u);
            const std::string drop = pr.kind.substr(pr.kind.find('=') + 1);  // pawn-trap=P*1b
            if (r.status == MATE_FOUND) {
                EXPECT_NE(usi(r.line[0]), drop);
                EXPECT_TRUE(is_mating_line(Trunk[0], r.line, r.length));
            } else {
                EXPECT_EQ(r.status, MATE_NONE);
            }
        }
    }
    for (int n : kinds)
        EXPECT_GE(n, 2);
}

// The solver's checks are exactly the legal moves after which the enemy king stands
// attacked, over every position of the move generator sets (whose full legal lists
// match fairy-stockfish: tools/movegen_reference.py full).
TEST(MateMoves, ChecksAreTheCheckingLegalMoves)
{
    static Position child, scratch;
    int legal[MATE_LIST_SIZE], checks[MATE_LIST_SIZE];
    int positions = 0, checking = 0;
    for (const char *set : {"games", "random_play", "checks", "pins", "hands", "general", "pawn_drops"}) {
        std::ifstream in(std::string(QVN_TEST_DATA) + "/movegen/" + set + ".txt");
        std::string line;
        while (std::getline(in, line)) {
            const std::string position = line.substr(0, line.find('\t'));
            if (read_position(position.c_str()) < 0 || !Trunk[0].king[0])
                continue;
            positions++;
            const int n = all_legal_moves(1, &Trunk[0], legal, &scratch);
            const int c = mate_checks(1, &Trunk[0], checks, &scratch);
            int expected = 0;
            for (int i = 0; i < n; i++) {
                child = Trunk[0];
                NewBoard(1, legal[i], &child);
                const bool check = in_check(0, &child);
                expected += check;
                ASSERT_EQ(move_checks(1, &Trunk[0], legal[i]), check) << position << " " << usi(legal[i]);
                ASSERT_EQ(std::find(checks, checks + c, legal[i]) != checks + c, check) << position << " " << usi(legal[i]);
            }
            ASSERT_EQ(c, expected) << position;  // no move twice, nothing else
            checking += expected;
        }
    }
    EXPECT_GT(positions, 15000);
    EXPECT_GT(checking, 20000);
}
