// What the reference move sets cannot see: the moves to one square as the quiescence
// search asks for them, stale pins in the pawn-drop mate test, pins kept through a
// double check, and the size of the move list.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "board/new_board.h"
#include "movegen/drop_fu_mate.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"
#include "movegen/move_to.h"
#include "test_util.h"

namespace {

TEST(MoveTo, KingCapturesOnlyWithTheFlagAndPromotionRules)
{
    struct Case {
        std::vector<std::pair<int, int>> pieces;
        int to, with_king;
        std::vector<std::string> moves;
    } cases[] = {
        {{{0x55, G | FU}}, 0x55, 1, {}},                              // nobody reaches it
        {{{0x58, G | KI}}, 0x58, 0, {}},                              // only the king, not asked
        {{{0x58, G | KI}}, 0x58, 1, {"5i5h"}},                        // the king takes
        {{{0x58, G | KI}, {0x57, G | FU}}, 0x58, 1, {}},               // ... but not a defended piece
        {{{0x17, S | KY}, {0x13, G | FU}}, 0x13, 0, {"1g1c+"}},       // lance from afar: promotes
        {{{0x34, S | GI}, {0x33, G | FU}}, 0x33, 0, {"3d3c", "3d3c+"}},
        {{{0x13, S | KA}, {0x46, G | FU}}, 0x46, 0, {"1c4f", "1c4f+"}},
        {{{0x25, S | KE}, {0x33, G | FU}}, 0x33, 0, {"2e3c", "2e3c+"}},
        {{{0x34, S | KE}, {0x22, G | FU}}, 0x22, 0, {"3d2b+"}},
        {{{0x57, S | HI}, {0x51, G | HI}, {0x47, G | KI}}, 0x47, 0, {}},  // pinned on its file
    };
    for (const Case &c : cases) {
        std::vector<std::pair<int, int>> pieces = c.pieces;
        pieces.push_back({0x59, S | OU});
        pieces.push_back({0x11, G | OU});
        Position p = board_from(pieces);
        int list[64];
        const int n = MoveTo(1, &p, c.to, list, c.with_king);
        std::vector<std::string> got;
        for (int i = 0; i < n; i++)
            got.push_back(usi(list[i]));
        EXPECT_EQ(got, c.moves) << std::hex << c.to << " " << c.with_king;
    }
}

TEST(DropFuMate, RefreshesStalePinsBeforeAskingWhoCanTake)
{
    // Gote king on 4b, its lances on 4a and 6a, a sente gold on 5c. The king steps to 5a
    // (its pins were last computed on 4b), sente drops a pawn on 5b. First the bishop 4c,
    // pinned on 4b by the rook 4i, is free on 5a and takes the pawn: no mate. Then the
    // gold 6b, free on 4b, is pinned on 5a by the bishop 9e: mate.
    struct Case {
        std::pair<int, int> a, b;
        int piece, stale_pin, mate;
    } cases[] = {{{0x43, G | KA}, {0x49, S | HI}, 0x43, 0x03, 0}, {{0x62, G | KI}, {0x95, S | KA}, 0x62, 255, 1}};
    for (const Case &c : cases) {
        Position p = board_with({{0x42, G | OU}, c.a, c.b, {0x41, G | KY}, {0x61, G | KY}, {0x53, S | KI}, {0x99, S | OU}});
        p.hand[1][FU] = 1;
        finish(p);
        NewBoard(0, make_move(0x42, 0x51, OU, 0, false), &p);
        NewBoard(1, make_move(0, 0x52, FU, 0, false), &p);
        ASSERT_EQ(p.pin[0][c.piece], c.stale_pin);
        EXPECT_EQ(DropFuMate(0, &p), c.mate);
    }
}

TEST(MakeEvasion, DoubleCheckLeavesThePinsAlone)
{
    // Rook on the file and bishop on the diagonal: king moves only, and the pins, which
    // the caller keeps, are not touched.
    Position p = board_with({{0x59, S | OU}, {0x51, G | HI}, {0x95, G | KA}, {0x48, S | KI}, {0x11, G | OU}});
    p.hand[1][KI] = 1;
    for (int sq : position_tbl)
        p.pin[1][sq] = 7;
    int list[MOVE_LIST_SIZE];
    const int n = MakeEvasion(1, &p, p.attack[0][0x59], list);
    for (int i = 0; i < n; i++)
        EXPECT_EQ(move_from(list[i]), 0x59) << usi(list[i]);
    EXPECT_EQ(p.pin[1][0x48], 7);
}

TEST(ListCapacity, EveryPieceInOneHandOverflowsMaxMoveButNotTheBuffer)
{
    for (const char *sfen : {"4k4/9/9/9/9/9/9/9/4K4 b 2R2B4G4S4N4L18P 1", "k8/9/9/9/4K4/9/9/9/9 b 2R2B4G4S4N4L18P 1",
                             "4k4/9/9/9/9/9/9/9/4K4 w 2r2b4g4s4n4l18p 1"}) {
        set_position(std::string("sfen ") + sfen + "\n");
        Position p = Trunk[0];
        int list[MOVE_LIST_SIZE + 16];
        std::fill(std::begin(list), std::end(list), 0x7F7F7F7F);
        int n = MakeMove(1, &p, list);
        n += MakeDrop(1, &p, list + n);
        EXPECT_GT(n, MAX_MOVE) << sfen;
        EXPECT_LT(n, MOVE_LIST_SIZE) << sfen;
        for (int i = n; i < MOVE_LIST_SIZE + 16; i++)
            ASSERT_EQ(list[i], 0x7F7F7F7F) << sfen;
    }
}

}  // namespace
