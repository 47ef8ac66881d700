// Quiet checking moves: on every reference position, in both views, the whole set
// compared with the legal moves that check without capturing.
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
#include "test_util.h"

namespace {

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
