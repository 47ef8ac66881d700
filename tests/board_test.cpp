// Attack tables, pins and the do-move, checked against from-scratch rebuilds.
#include <gtest/gtest.h>

#include "board/attack.h"
#include "board/new_board.h"
#include "frontend/helper.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "test_util.h"

namespace {

TEST(AttackTables, InitialPositionRookSilverGold)
{
    const Position p = initial_position();
    EXPECT_EQ(p.attack[1][0x38], 0x811);          // silver, gold and rook on 3h
    EXPECT_EQ(p.attack[1][0x18] & 0x400, 0x400);  // the rook slides on to 1h
    EXPECT_EQ(p.attack[1][0x08] & 0x400, 0x400);  // ... and marks the wall
    EXPECT_EQ(p.attack[1][0x27] & 0x100, 0x100);  // forward slide stops on its own pawn
    EXPECT_EQ(p.attack[1][0x26] & 0x100, 0);
}

TEST(AttackTables, SlidesMarkWallsAndFirstPieceOnly)
{
    Position p = board_with({{0x19, 32 | HI}, {0x15, 16 | FU}});
    EXPECT_EQ(p.attack[0][0x1A], 0x100);       // the wall below 1i, forward for side 0
    EXPECT_EQ(p.attack[0][0x15] & 0x200, 0x200);  // backward slide reaches the pawn ...
    EXPECT_EQ(p.attack[0][0x14] & 0x200, 0);      // ... and nothing beyond it
    EXPECT_EQ(__builtin_popcount(p.attack[0][0x17]), 1);
}

TEST(AttackTables, BitCountIsAttackerCount)
{
    // A rook's slide and a gold's step on the same square: two bits.
    const Position p = board_with({{0x59, 16 | HI}, {0x46, 16 | KI}});
    EXPECT_EQ(__builtin_popcount(p.attack[1][0x55]), 2);
}

TEST(AttackTables, LeavingALineExtendsTheSlideToTheWall)
{
    Position p = board_with({{0x19, 16 | HI}, {0x15, 16 | GI}, {0x59, 16 | OU}});
    EXPECT_EQ(p.attack[1][0x13] & 0x100, 0);
    NewBoard(1, make_move(0x15, 0x24, GI, 0, false), &p);
    for (int sq = 0x18; sq >= 0x10; sq--)
        EXPECT_EQ(p.attack[1][sq] & 0x100, 0x100) << std::hex << sq;
    EXPECT_TRUE(matches_rebuild(p));
}

TEST(AttackTables, DropCutsALanceBehindIt)
{
    Position q = board_with({{0x51, 32 | KY}, {0x59, 16 | OU}});
    q.hand[1][KI] = 1;
    q.hand_key = hand_key_of(&q);
    q.key = q.board_key ^ q.hand_key;
    NewBoard(1, make_move(0, 0x55, KI, 0, false), &q);
    EXPECT_EQ(q.attack[0][0x55] & 0x100, 0x100);  // the dropped square keeps the bit
    EXPECT_EQ(q.attack[0][0x56] & 0x100, 0);      // nothing behind it
    EXPECT_TRUE(matches_rebuild(q));
}

TEST(Pins, RookPinsTheOnlyPieceOnItsFile)
{
    Position p = board_with({{0x59, 16 | OU}, {0x58, 16 | GI}, {0x51, 32 | HI}});
    MakePin(1, &p);
    EXPECT_EQ(p.pin[1][0x58], 0x03);
    for (int sq : position_tbl) {
        if (sq != 0x58) {
            EXPECT_EQ(p.pin[1][sq], 255);
        }
    }
    // A second piece in between breaks the pin.
    Position q = board_with({{0x59, 16 | OU}, {0x58, 16 | GI}, {0x55, 16 | FU}, {0x51, 32 | HI}});
    MakePin(1, &q);
    EXPECT_EQ(q.pin[1][0x58], 255);
    EXPECT_EQ(q.pin[1][0x55], 255);
}

TEST(Pins, LanceBishopAndBlockers)
{
    Position lance = board_with({{0x59, 16 | OU}, {0x58, 16 | KI}, {0x51, 32 | KY}});
    MakePin(1, &lance);
    EXPECT_EQ(lance.pin[1][0x58], 0x03);

    Position bishop = board_with({{0x59, 16 | OU}, {0x48, 16 | KI}, {0x15, 32 | KA}});
    MakePin(1, &bishop);
    EXPECT_EQ(bishop.pin[1][0x48], 0x90);
    Position other = board_with({{0x59, 16 | OU}, {0x68, 16 | KI}, {0x95, 32 | UM}});
    MakePin(1, &other);
    EXPECT_EQ(other.pin[1][0x68], 0x60);

    // An enemy piece between the king and the slider is no pin at all.
    Position enemy = board_with({{0x59, 16 | OU}, {0x58, 32 | KI}, {0x51, 32 | HI}});
    MakePin(1, &enemy);
    for (int sq : position_tbl)
        EXPECT_EQ(enemy.pin[1][sq], 255);

    // Side 0 is pinned the same way from the other end.
    Position gote = board_with({{0x51, 32 | OU}, {0x52, 32 | GI}, {0x59, 16 | HI}});
    MakePin(0, &gote);
    EXPECT_EQ(gote.pin[0][0x52], 0x03);

    Position no_king = board_with({{0x58, 16 | GI}, {0x51, 32 | HI}});
    MakePin(1, &no_king);
    for (int sq : position_tbl)
        EXPECT_EQ(no_king.pin[1][sq], 255);
}

TEST(DoMove, PromotionCaptureDropAndKing)
{
    set_position("startpos moves 7g7f 3c3d\n");
    Position p = Trunk[0];
    // Bishop takes bishop and promotes: a bishop comes into hand, a horse stands on 2b.
    NewBoard(1, make_move(0x88, 0x22, KA, KA, true), &p);
    EXPECT_EQ(p.board[0x22], 16 | UM);
    EXPECT_EQ(p.board[0x88], 0);
    EXPECT_EQ(p.hand[1][KA], 1);
    EXPECT_TRUE(matches_rebuild(p));
    // Capturing the horse gives a bishop, not a horse.
    NewBoard(0, make_move(0x31, 0x22, GI, UM, false), &p);
    EXPECT_EQ(p.hand[0][KA], 1);
    EXPECT_EQ(p.board[0x22], 32 | GI);
    EXPECT_TRUE(matches_rebuild(p));
    // A drop lowers the hand.
    NewBoard(1, make_move(0, 0x55, KA, 0, false), &p);
    EXPECT_EQ(p.hand[1][KA], 0);
    EXPECT_EQ(p.board[0x55], 16 | KA);
    EXPECT_TRUE(matches_rebuild(p));
    // The king square follows the king.
    NewBoard(0, make_move(0x51, 0x42, OU, 0, false), &p);
    EXPECT_EQ(p.king[0], 0x42);
    EXPECT_TRUE(matches_rebuild(p));
}

TEST(DoMove, CopyMakeLeavesTheParentUntouched)
{
    set_position("startpos\n");
    Trunk[1] = Trunk[0];
    NewBoard(1, make_move(0x77, 0x76, FU, 0, false), &Trunk[1]);
    Position again{};
    set_initial_board(&again);
    for (int sq = 0; sq < BOARD_SIZE; sq++)
        EXPECT_EQ(Trunk[0].board[sq], again.board[sq]);
    EXPECT_NE(Trunk[0].key, Trunk[1].key);
    EXPECT_TRUE(matches_rebuild(Trunk[0]));
}

// Every move of every test game, in both views (engine first and engine second):
// the incremental state must equal a rebuild after each move.
TEST(DoMove, WholeGamesMatchRebuilds)
{
    int checked = 0;
    for (const GameRecord &g : test_games()) {
        for (int view = 0; view < 2; view++) {
            Position p{};
            set_initial_board(&p);
            p.king[1] = 0x59;
            p.king[0] = 0x51;
            p.board_key = board_key_of(&p);
            p.hand_key = hand_key_of(&p);
            p.key = p.board_key ^ p.hand_key;
            AttackInit(&p);
            for (std::size_t i = 0; i < g.moves.size(); i++) {
                int m = usi2move(g.moves[i].c_str());
                ASSERT_NE(m, 0) << g.header << " move " << i;
                const int real_side = (i & 1) ? 0 : 1;
                const int side = view ? real_side ^ 1 : real_side;
                if (view)
                    m = move_reverse(m);
                if (move_from(m))
                    m |= ((p.board[move_from(m)] & 15) << 16) | ((p.board[move_to(m)] & 15) << 20);
                NewBoard(side, m, &p);
                ASSERT_TRUE(matches_rebuild(p)) << g.header << " after move " << i + 1;
                checked++;
            }
        }
    }
    EXPECT_GT(checked, 40000);
}

}  // namespace
