// The root search's game rules: repetition chosen or avoided, perpetual check, the
// horizon rule, illegal pawn-drop mates, the entering-king declaration, resigning.
#include <gtest/gtest.h>

#include "board/new_board.h"
#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "frontend/usi.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "search/qvn.h"
#include "search/root_search.h"
#include "search/search.h"
#include "test_util.h"

namespace {

class RootSearch : public ::testing::Test {
  protected:
    void SetUp() override
    {
        InitEvalute(1);
        AnalyzeMode = 1;  // no clock: the depth limit ends every search
        AbortSearch = 0;
    }
    void TearDown() override
    {
        AnalyzeMode = 0;
        AbortSearch = 0;
        Grade = 0;
    }
    int search(int depth)
    {
        best[0] = best[1] = 0;
        return IterativeDeep(best, depth);
    }
    // Marks the position after move as seen at the given game indexes.
    static void seen_after(int move, std::initializer_list<int> indexes, int check)
    {
        Position after = Trunk[0];
        NewBoard(1, move, &after);
        for (int k : indexes) {
            HashRecord[k] = after.key;
            BoardRecord[k] = after.board_key;
            CheckRecord[k] = check;
        }
    }
    int best[2];
};

// Sente has lost its bishop (about -1000): a repetition is welcome in the opening, not in
// the middle game.
const char *down_a_bishop = "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/7R1/LNSGKGSNL b - 1 moves "
                          "5i4h 5a4b 4h5i 4b5a 5i4h 5a4b 4h5i 4b5a\n";
const int king_up = make_move(0x59, 0x48, OU, 0, false);

TEST_F(RootSearch, RepetitionChosenInTheOpeningWhenBehindAvoidedInTheMiddleGame)
{
    for (int grade : {0, 1}) {
        ASSERT_EQ(read_position(down_a_bishop), 8);
        nMoves = 8;
        Grade = grade;
        const int r = search(3);
        EXPECT_EQ(r == REPETITION_CHOSEN, grade == 0);
        EXPECT_EQ(best[0] == king_up, grade == 0);
        EXPECT_NE(best[0], 0);
        if (grade == 0) {
            EXPECT_EQ(best[1], 0);  // no reply expected after the repetition
        }
    }
}

TEST_F(RootSearch, PerpetualCheckAndHorizonDropsAreRefused)
{
    // A free rook to take with check... that the game has seen twice after our checks.
    read_position("sfen 4k4/9/9/9/4r4/9/9/4R4/4K4 b - 1\n");
    nMoves = 6;
    const int take = make_move(0x58, 0x55, HI, HI, false);
    seen_after(take, {2, 4}, 1);
    EXPECT_LT(search(2), REPETITION_CHOSEN);
    EXPECT_NE(best[0], take);
    // Without the check the same repetition would be weighed, and avoided when not behind.
    read_position("sfen 4k4/9/9/9/4r4/9/9/4R4/4K4 b - 1\n");
    nMoves = 6;
    seen_after(take, {2, 4}, 0);
    search(2);
    EXPECT_NE(best[0], take);
    // The same board as before with fewer pieces in hand: a drop that only delays.
    read_position("sfen 4k4/9/9/9/9/9/9/9/4K4 b G 1\n");
    nMoves = 4;
    const int drop = make_move(0, 0x52, KI, 0, false);  // the mate G*5b
    seen_after(drop, {2}, 0);
    HandRecord[2] = 1;
    search(2);
    EXPECT_NE(best[0], drop);
}

TEST_F(RootSearch, PawnDropMateIsNeverPlayed)
{
    // P*1b would mate: illegal. The engine must find something else.
    Trunk[0] = board_with({{0x11, G | OU}, {0x23, S | KI}, {0x32, S | GI}, {0x59, S | OU}});
    Trunk[0].hand[1][FU] = 1;
    set_keys(&Trunk[0]);
    Reverse = 0;
    nMoves = 0;
    search(3);
    EXPECT_NE(best[0], make_move(0, 0x12, FU, 0, false));
    EXPECT_NE(best[0], 0);
}

TEST_F(RootSearch, EnteringKingNeedsTenPiecesInTheZoneAndThePoints)
{
    // King on 5b, rook, bishop and eight tokins in the zone: 18 points.
    const std::vector<std::pair<int, int>> zone = {{0x52, S | OU}, {0x13, S | HI}, {0x23, S | KA}, {0x33, S | TO},
                                                   {0x43, S | TO}, {0x63, S | TO}, {0x73, S | TO}, {0x83, S | TO},
                                                   {0x93, S | TO}, {0x22, S | TO}, {0x99, G | OU}};
    struct Case {
        int last_tokin, rooks, pawns, points;
        bool ok;
    } cases[] = {
        {0x82, 1, 4, 27, true}, {0x82, 1, 4, 28, false}, {0x82, 1, 5, 28, true},
        {0, 2, 4, 27, false},     // nine pieces
        {0x85, 2, 4, 27, false},  // the tenth outside the zone
    };
    for (const Case &c : cases) {
        std::vector<std::pair<int, int>> pieces = zone;
        if (c.last_tokin)
            pieces.push_back({c.last_tokin, S | TO});
        Position p = board_from(pieces);
        p.hand[1][HI] = c.rooks;
        p.hand[1][FU] = c.pawns;
        EXPECT_EQ(entering_king_declaration(&p, c.points), c.ok) << std::hex << c.last_tokin << " " << c.points;
    }
}

// Stopped before its first iteration, the search still plays a legal move, and not one
// that would repeat the position a fourth time.
TEST_F(RootSearch, AbortBeforeTheFirstIterationStillGivesALegalMove)
{
    read_position("startpos moves 7g7f 3c3d\n");
    AbortSearch = 1;
    EXPECT_EQ(search(5), 0);
    EXPECT_NE(best[0], 0);
    // ... and the move is one of the position's.
    bool found = false;
    for (int i = 0; i < main_worker().root_n_move; i++)
        found = found || main_worker().root_move[i] == best[0];
    EXPECT_TRUE(found);
    // A move that would repeat the position a fourth time is not the stand-in.
    const int first = main_worker().root_move[0];
    read_position("startpos moves 7g7f 3c3d\n");
    nMoves = 6;
    Grade = 1;
    seen_after(first, {2, 4}, 0);
    AbortSearch = 1;
    search(5);
    EXPECT_NE(best[0], first);
    EXPECT_NE(best[0], 0);
}

TEST_F(RootSearch, NoLegalMoveResigns)
{
    // Mated: the king on 1i is held by a dragon on 2h... protected by a gold on 3g.
    Trunk[0] = board_with({{0x19, S | OU}, {0x28, G | RY}, {0x37, G | KI}, {0x51, G | OU}});
    Reverse = 0;
    nMoves = 10;
    EXPECT_EQ(search(3), -MATE);
    EXPECT_EQ(Think(best, 3), THINK_RESIGN);
}

TEST_F(RootSearch, ThinkRecordsItsMoveInTheHistory)
{
    no_book = 1;
    read_position("startpos moves 7g7f 3c3d\n");
    nMoves = 2;
    ASSERT_EQ(Think(best, 2), THINK_MOVE);
    EXPECT_EQ(nMoves, 3);
    Position after = Trunk[0];
    NewBoard(1, best[0], &after);
    EXPECT_EQ(HashRecord[3], after.key);
    EXPECT_EQ(BoardRecord[3], after.board_key);
    no_book = 0;
}

}  // namespace
