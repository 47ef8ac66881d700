// Static exchange evaluation on constructed squares.
#include <gtest/gtest.h>

#include "eval/evalute.h"
#include "search/see.h"
#include "test_util.h"

namespace {

class SeeTest : public ::testing::Test {
  protected:
    void SetUp() override { InitEvalute(0); }  // the material tables only
};

constexpr int S(int piece) { return 16 | piece; }  // side 1 (sente)
constexpr int G(int piece) { return 32 | piece; }  // side 0 (gote)

TEST_F(SeeTest, NoAttackerIsZero)
{
    const Position p = board_with({{0x55, G(KI)}, {0x59, S(OU)}, {0x51, G(OU)}});
    EXPECT_EQ(See(0x55, &p), 0);
}

TEST_F(SeeTest, UndefendedPieceTakenByAPawnLosesItsValue)
{
    const Position p = board_with({{0x55, G(KI)}, {0x56, S(FU)}});
    EXPECT_EQ(See(0x55, &p), -piece_value[KI]);
    // The same in the zone, where the pawn promotes as it takes.
    const Position z = board_with({{0x53, G(KI)}, {0x54, S(FU)}});
    EXPECT_EQ(See(0x53, &z), -piece_value[KI]);
}

TEST_F(SeeTest, KingAsOnlyAttackerOfADefendedSquare)
{
    // The king steps in along its backward diagonal; the gold defends: the owner is safe.
    const Position p = board_with({{0x55, G(KI)}, {0x44, S(OU)}, {0x54, G(KI)}});
    EXPECT_EQ(See(0x55, &p), 100);
    // A king whose direction bit is not above every defending bit is not counted at all.
    const Position front = board_with({{0x55, G(KI)}, {0x56, S(OU)}, {0x54, G(KI)}});
    EXPECT_EQ(See(0x55, &front), 0);
    // Undefended: the king simply wins the piece.
    const Position q = board_with({{0x55, G(KI)}, {0x56, S(OU)}});
    EXPECT_EQ(See(0x55, &q), -piece_value[KI]);
}

TEST_F(SeeTest, PawnCaptureIntoTheZoneIsRecapturedAsATokin)
{
    // The pawn takes the silver on 5c and becomes a tokin; the gold takes the tokin back.
    const Position p = board_with({{0x53, G(GI)}, {0x54, S(FU)}, {0x52, G(KI)}});
    EXPECT_EQ(See(0x53, &p), -piece_value[GI] + piece_value[TO]);
}

TEST_F(SeeTest, XRayRookBehindRook)
{
    // A doubled rook wins a defended silver: silver and gold for one rook.
    const Position doubled = board_with({{0x55, G(GI)}, {0x54, G(KI)}, {0x58, S(HI)}, {0x59, S(HI)}});
    EXPECT_EQ(See(0x55, &doubled), -piece_value[GI] + piece_value[HI] - piece_value[KI]);
    // A single rook would lose itself: the owner comes out ahead.
    const Position single = board_with({{0x55, G(GI)}, {0x54, G(KI)}, {0x58, S(HI)}});
    EXPECT_EQ(See(0x55, &single), -piece_value[GI] + piece_value[HI]);
}

TEST_F(SeeTest, XRayBehindAnAdjacentPiece)
{
    // A gold next to the target and a lance behind it on the same file both attack.
    const Position p = board_with({{0x55, G(GI)}, {0x54, G(FU)}, {0x56, S(KI)}, {0x59, S(KY)}});
    // Gold takes silver, pawn takes gold, lance takes pawn: silver + pawn for gold.
    EXPECT_EQ(See(0x55, &p), -piece_value[GI] + piece_value[KI] - piece_value[FU]);
}

TEST_F(SeeTest, CheapestAttackerGoesFirst)
{
    // Pawn and rook attack a defended gold: the pawn takes first, the gold is lost for a pawn.
    const Position p = board_with({{0x55, G(KI)}, {0x54, G(GI)}, {0x56, S(FU)}, {0x15, S(HI)}});
    EXPECT_EQ(See(0x55, &p), -piece_value[KI] + piece_value[FU]);
}

TEST_F(SeeTest, SymmetricForTheOtherSide)
{
    // The same exchange turned 180 degrees with the colours exchanged.
    const Position a = board_with({{0x53, G(GI)}, {0x54, S(FU)}, {0x52, G(KI)}});
    const Position b = board_with({{170 - 0x53, S(GI)}, {170 - 0x54, G(FU)}, {170 - 0x52, S(KI)}});
    EXPECT_EQ(See(0x53, &a), See(170 - 0x53, &b));
}

}  // namespace
