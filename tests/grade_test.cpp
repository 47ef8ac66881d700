// The game phase.
#include <gtest/gtest.h>

#include "board/attack.h"
#include "frontend/usi.h"
#include "hash/hash.h"
#include "search/get_grade.h"
#include "test_util.h"

namespace {

int grade_of(const Position &p, int moves, int before)
{
    nMoves = moves;
    Grade = before;
    GetGrade(&p);
    return Grade;
}

class GameGrade : public ::testing::Test {
  protected:
    void TearDown() override
    {
        Grade = 0;
        nMoves = 0;
    }
    Position start = initial_position();
};

TEST_F(GameGrade, CheckIsAlwaysTheEndgame)
{
    // A gold of side 0 on 5h checks side 1's king on 5i.
    const Position p = board_with({{0x59, 16 | OU}, {0x51, 32 | OU}, {0x58, 32 | KI}});
    EXPECT_EQ(grade_of(p, 1, 0), 2);
    // ... and a rook of side 1 on 5b checks side 0's king.
    const Position q = board_with({{0x59, 16 | OU}, {0x51, 32 | OU}, {0x52, 16 | HI}});
    EXPECT_EQ(grade_of(q, 1, 1), 2);
}

TEST_F(GameGrade, EarlyMovesAreTheOpeningThenTheGradeIsKept)
{
    for (int before : {0, 1, 2})
        EXPECT_EQ(grade_of(start, 14, before), 0);
    for (int before : {0, 1, 2})
        EXPECT_EQ(grade_of(start, 15, before), before);  // no rule applies
    for (int before : {0, 1, 2})
        EXPECT_EQ(grade_of(start, 40, before), before);  // still no rule: nothing attacked
}

TEST_F(GameGrade, SquaresAttackedNearAKingFromMove22)
{
    // A rook of side 0 on 3a sweeps file 3: 3g, 3h, 3i are two squares from the king on 5i.
    const Position p = board_with({{0x59, 16 | OU}, {0x51, 32 | OU}, {0x31, 32 | HI}});
    EXPECT_EQ(grade_of(p, 21, 0), 0);
    EXPECT_EQ(grade_of(p, 22, 0), 1);
    EXPECT_EQ(grade_of(p, 29, 2), 1);  // a grade of 2 falls back
    // One attacked square is not enough: a pawn of side 0 on 4f attacks 4g only.
    const Position q = board_with({{0x59, 16 | OU}, {0x51, 32 | OU}, {0x46, 32 | FU}});
    EXPECT_EQ(grade_of(q, 25, 0), 0);
}

TEST_F(GameGrade, InvasionFromMove28)
{
    // A silver of side 1 on 1c stands in side 0's camp; nothing is attacked near a king.
    const Position p = board_with({{0x59, 16 | OU}, {0x91, 32 | OU}, {0x13, 16 | GI}});
    EXPECT_EQ(grade_of(p, 27, 0), 0);
    EXPECT_EQ(grade_of(p, 28, 0), 1);
    EXPECT_EQ(grade_of(p, 35, 2), 1);  // invasion without danger brings 2 back to 1
    // The same for side 0 on 9g.
    const Position q = board_with({{0x59, 16 | OU}, {0x11, 32 | OU}, {0x97, 32 | GI}});
    EXPECT_EQ(grade_of(q, 28, 0), 1);
}

TEST_F(GameGrade, DangerOfSeventyFromMove30)
{
    // Side 0's king alone in the corner 1a: three empty free squares (-2.11 each).
    Position p = board_with({{0x59, 16 | OU}, {0x11, 32 | OU}});
    p.hand[1][KI] = 4;  // 61.32
    p.hand[1][GI] = 1;  // 71.08 - 6.33 = 64.75: 65
    EXPECT_EQ(grade_of(p, 30, 0), 0);
    p.hand[1][GI] = 2;  // 80.84 - 6.33 = 74.51: 75
    EXPECT_EQ(grade_of(p, 29, 0), 0);  // only from move 30
    EXPECT_EQ(grade_of(p, 30, 0), 2);
    // Pieces in side 0's hand count against side 1's king only, here on 5e with eight
    // free squares: 80.84 - 16.88 = 63.96 makes 64.
    Position q = board_with({{0x55, 16 | OU}, {0x11, 32 | OU}});
    q.hand[0][KI] = 4;
    q.hand[0][GI] = 2;
    EXPECT_EQ(grade_of(q, 30, 0), 0);
}

TEST_F(GameGrade, AttackedSquaresWeighMost)
{
    // Side 0's dragon on 7h against side 1's king on 9i: it attacks all three squares
    // next to the king (8h, 9h by its slide, 8i by a step; 43.29) and three at distance 2
    // (7g, 7i, 8g; 19.68): 62.97 makes 63. A gold in side 0's hand adds 15.33: 78.
    Position p = board_with({{0x99, 16 | OU}, {0x11, 32 | OU}, {0x78, 32 | RY}});
    ASSERT_EQ(p.attack[0][0x99], 0);
    EXPECT_EQ(grade_of(p, 30, 1), 1);
    p.hand[0][KI] = 1;
    EXPECT_EQ(grade_of(p, 30, 1), 2);
}

TEST_F(GameGrade, KinglessSideIsNeverInDanger)
{
    Position p = board_with({{0x59, 16 | OU}, {0x55, 32 | KI}});
    p.hand[1][KI] = 3;
    p.hand[1][GI] = 4;
    p.hand[1][HI] = 2;  // 45.99 + 39.04 + 10.16 = 95 against a missing king
    EXPECT_EQ(grade_of(p, 40, 0), 0);
}

}  // namespace
