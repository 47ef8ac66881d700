// Quiet checking moves: the table, the rules' examples, and on many positions the whole
// set compared with the legal moves that check without capturing.
#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "board/new_board.h"
#include "movegen/make_check_nocap.h"
#include "movegen/make_legal.h"
#include "movegen_util.h"
#include "test_util.h"

namespace {

constexpr int S = 16, G = 32;

std::vector<std::string> checks(int side, Position p)
{
    MakePin(side, &p);
    int list[QUI_LIST_SIZE];
    const int n = MakeChecksNoncap(side, &p, list);
    std::vector<std::string> out;
    for (int i = 0; i < n; i++)
        out.push_back(list[i] ? usi(list[i]) : "0");
    return out;
}

bool has(const std::vector<std::string> &v, const std::string &m) { return std::find(v.begin(), v.end(), m) != v.end(); }

bool attacks(int type, bool promoted, int from, int to)
{
    // Side 1's steps: forward -1, backward +1, sideways -16/+16, forward diagonals -17/+15,
    // backward diagonals -15/+17, knight jumps -18/+14.
    const int d = to - from;
    const bool gold = d == -1 || d == 1 || d == -16 || d == 16 || d == -17 || d == 15;
    if (promoted || type == KI)
        return gold;
    if (type == FU)
        return d == -1;
    if (type == KE)
        return d == -18 || d == 14;
    return d == -1 || d == -17 || d == 15 || d == -15 || d == 17;  // silver
}

TEST(CheckTable, RowsAreTheOneStepChecksOfTheSmallPieces)
{
    int rows = 0;
    for (; check_tbl[rows][0]; rows++) {
        const int *r = check_tbl[rows];
        const int step = r[2] - r[1];
        int bit = 0;
        for (int d = 0; d < 8; d++)
            if (delta[1][d] == step)
                bit = 1 << d;
        if (step == delta[1][16])
            bit = 0x10000;
        if (step == delta[1][17])
            bit = 0x20000;
        EXPECT_EQ(r[4], bit) << "row " << rows + 1;
        EXPECT_TRUE(attacks(r[0], r[3] != 0, r[2], 0)) << "row " << rows + 1;
        EXPECT_FALSE(attacks(r[0], false, r[1], 0)) << "row " << rows + 1;
        EXPECT_TRUE(r[3] == 0 || r[0] != KI) << "row " << rows + 1;
    }
    EXPECT_EQ(rows, 86);
    for (int c = 0; c < 5; c++)
        EXPECT_EQ(check_tbl[86][c], 0);
}

TEST(MakeChecksNoncap, GoldPawnAndSilverExamples)
{
    // Gold two files beside the gote king 5c on its rank: the sideways step next to it.
    Position p = board_with({{0x53, G | OU}, {0x33, S | KI}, {0x59, S | OU}});
    EXPECT_TRUE(has(checks(1, p), "3c4c"));
    p = board_with({{0x53, G | OU}, {0x33, S | KI}, {0x43, G | FU}, {0x59, S | OU}});
    EXPECT_FALSE(has(checks(1, p), "3c4c"));
    // A pawn two squares in front of the king, in the zone: promotion and plain push.
    Position q = board_with({{0x52, G | OU}, {0x54, S | FU}, {0x59, S | OU}});
    const auto qc = checks(1, q);
    EXPECT_TRUE(has(qc, "5d5c+"));
    EXPECT_TRUE(has(qc, "5d5c"));
    // A silver stepping diagonally forward beside the king: the promotion only.
    Position r = board_with({{0x53, G | OU}, {0x34, S | GI}, {0x59, S | OU}});
    const auto rc = checks(1, r);
    EXPECT_TRUE(has(rc, "3d4c+"));
    EXPECT_FALSE(has(rc, "3d4c"));
}

TEST(MakeChecksNoncap, SlidersPromoteWhereTheRulesSay)
{
    // A bishop outside the zone reaching the king's diagonal: plain; from inside: promoting.
    Position p = board_with({{0x55, G | OU}, {0x97, S | KA}, {0x19, S | OU}});
    EXPECT_TRUE(has(checks(1, p), "9g6d"));
    Position q = board_with({{0x55, G | OU}, {0x93, S | KA}, {0x19, S | OU}});
    const auto qc = checks(1, q);
    EXPECT_TRUE(has(qc, "9c6f+"));
    EXPECT_FALSE(has(qc, "9c6f"));
    // A rook in the zone reaching a square diagonally next to the king promotes there.
    Position r = board_with({{0x52, G | OU}, {0x93, S | HI}, {0x19, S | OU}});
    EXPECT_TRUE(has(checks(1, r), "9c6c+"));
}

TEST(MakeChecksNoncap, PinsDiscoveriesDropsAndDuplicates)
{
    // A knight pinned to its own king gives no check at all.
    Position p = board_with({{0x59, S | OU}, {0x57, S | KE}, {0x51, G | HI}, {0x33, G | OU}});
    for (const std::string &m : checks(1, p))
        EXPECT_NE(m.substr(0, 2), "5g") << m;
    // A silver between the own rook 5i and the gote king 5a: diagonal steps discover
    // check, the forward step along the file does not.
    Position q = board_with({{0x59, S | HI}, {0x55, S | GI}, {0x51, G | OU}, {0x99, S | OU}});
    const auto qc = checks(1, q);
    EXPECT_TRUE(has(qc, "5e4d"));
    EXPECT_TRUE(has(qc, "5e6f"));
    EXPECT_FALSE(has(qc, "5e5d"));
    // The pawn drop in front of the king unless the file holds an own pawn.
    Position r = board_with({{0x53, G | OU}, {0x59, S | OU}});
    r.hand[1][FU] = 1;
    EXPECT_TRUE(has(checks(1, r), "P*5d"));
    Position s = board_with({{0x53, G | OU}, {0x57, S | FU}, {0x59, S | OU}});
    s.hand[1][FU] = 1;
    EXPECT_FALSE(has(checks(1, s), "P*5d"));
    // A bishop move that checks directly and discovers a rook check is listed once as itself
    // and once as 0: the bishop 5e leaves the rook's file onto the king's diagonal.
    Position t = board_with({{0x59, S | HI}, {0x55, S | KA}, {0x51, G | OU}, {0x99, S | OU}});
    const auto tc = checks(1, t);
    EXPECT_EQ(std::count(tc.begin(), tc.end(), "5e3c+"), 1);
    EXPECT_GE(std::count(tc.begin(), tc.end(), "0"), 1);
}

// ---- against the legal moves of many positions --------------------------------------------

// Whether m, made by side on p, checks the enemy king, and whether another piece than
// the one moved gives that check.
void check_kind(const Position &p, int side, int m, bool *check, bool *discovered)
{
    Position c = p;
    NewBoard(side, m, &c);
    const int k = c.king[side ^ 1];
    const int a = c.attack[side][k];
    *check = a != 0;
    *discovered = false;
    for (int bits = a; bits; bits &= bits - 1)
        *discovered |= attacker_square(&c, side, k, __builtin_ctz(static_cast<unsigned>(bits))) != move_to(m);
}

// The listed moves give check, take nothing and are legal; and every legal non-capturing
// checking move is listed, but for the horse's plain steps backward and sideways that
// check only directly.
void compare_with_legal(Position p, int side, const std::string &where)
{
    if (!p.king[0] || !p.king[1] || p.attack[side ^ 1][p.king[side]])
        return;  // in check: quiet checks are not asked for
    int all[MOVE_LIST_SIZE];
    int n = MakeMove(side, &p, all);
    n += MakeDrop(side, &p, all + n);
    const std::set<int> legal(all, all + n);
    int list[QUI_LIST_SIZE];
    const int c = MakeChecksNoncap(side, &p, list);
    std::set<int> listed;
    for (int i = 0; i < c; i++) {
        const int m = list[i];
        if (!m)
            continue;
        ASSERT_TRUE(listed.insert(m).second) << where << ": twice " << usi(m);
        ASSERT_EQ(move_cap(m), 0) << where << ": " << usi(m);
        bool check, discovered;
        check_kind(p, side, m, &check, &discovered);
        ASSERT_TRUE(check) << where << ": no check " << usi(m);
        // Beyond the full generator's moves only the plain pawn push onto the square in
        // front of the king (the full generator gives the promotion alone there).
        const bool plain_pawn = move_from(m) && move_piece(m) == FU && !move_is_promote(m) &&
                                legal.count(m | MOVE_PROMOTE);
        ASSERT_TRUE(legal.count(m) || plain_pawn) << where << ": not legal " << usi(m);
    }
    for (int m : legal) {
        if (move_cap(m))
            continue;
        bool check, discovered;
        check_kind(p, side, m, &check, &discovered);
        if (!check)
            continue;
        const int step = move_to(m) - move_from(m);
        const bool horse_side_step = move_from(m) && move_piece(m) == UM &&
                                     (step == delta[side][1] || step == delta[side][2] || step == delta[side][3]);
        if (horse_side_step && !discovered)
            continue;
        ASSERT_TRUE(listed.count(m)) << where << ": missing " << usi(m);
    }
}

TEST(MakeChecksNoncap, ListsExactlyTheQuietChecksOfTheReferencePositions)
{
    int positions = 0;
    for (const char *name : {"games.txt", "random_play.txt", "pins.txt", "hands.txt", "general.txt", "pawn_drops.txt"}) {
        std::ifstream in(std::string(QVN_TEST_DATA) + "/movegen/" + name);
        std::string line;
        while (std::getline(in, line)) {
            const std::string position = line.substr(0, line.find('\t'));
            set_position(position + "\n");
            const Position root = Trunk[0];
            compare_with_legal(root, 1, position);
            compare_with_legal(mirrored(root), 0, position + " (turned)");
            if (HasFatalFailure())
                return;
            positions++;
        }
    }
    EXPECT_GT(positions, 10000);
}

}  // namespace
