// The move generators: their rules, order and edge cases.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "board/new_board.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "movegen/drop_fu_mate.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"
#include "movegen/move_to.h"
#include "movegen_util.h"
#include "test_util.h"

namespace {

constexpr int S = 16, G = 32;  // colour bits: sente (side 1), gote (side 0)

// ---- board moves ---------------------------------------------------------------------

TEST(MakeMove, InitialPositionHasThirtyMovesAndNoDrops)
{
    Position p = sfen_position("lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1");
    int list[MOVE_LIST_SIZE];
    EXPECT_EQ(MakeMove(1, &p, list), 30);
    EXPECT_EQ(MakeDrop(1, &p, list), 0);
    // Square order: file 1 first (the lance 1i, the pawn 1g), file 9 last.
    const int n = MakeMove(1, &p, list);
    EXPECT_EQ(usi(list[0]), "1g1f");
    EXPECT_EQ(usi(list[1]), "1i1h");
    EXPECT_EQ(usi(list[n - 1]), "9i9h");
}

TEST(MakeMove, PawnIntoTheZonePromotesOnly)
{
    Position p = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x34, S | FU}});
    EXPECT_EQ(moves_from(1, p, 0x34), (std::vector<std::string>{"3d3c+"}));
    Position q = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x35, S | FU}});
    EXPECT_EQ(moves_from(1, q, 0x35), (std::vector<std::string>{"3e3d"}));
}

TEST(MakeMove, SilverIntoTheZoneGivesPromotionFirstThenPlain)
{
    Position p = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x34, S | GI}});
    EXPECT_EQ(moves_from(1, p, 0x34),
              (std::vector<std::string>{"3d3c+", "3d3c", "3d2c+", "3d2c", "3d4c+", "3d4c", "3d2e", "3d4e"}));
    // Backward out of the zone: promotion because the origin is in it.
    Position q = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x33, S | GI}});
    const auto m = moves_from(1, q, 0x33);
    EXPECT_NE(std::find(m.begin(), m.end(), "3c4d+"), m.end());
    EXPECT_NE(std::find(m.begin(), m.end(), "3c4d"), m.end());
}

TEST(MakeMove, LanceAndKnightPromotionRules)
{
    Position p = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x16, S | KY}});
    EXPECT_EQ(moves_from(1, p, 0x16),
              (std::vector<std::string>{"1f1e", "1f1d", "1f1c+", "1f1c", "1f1b+", "1f1a+"}));
    Position q = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x25, S | KE}, {0x34, S | KE}});
    EXPECT_EQ(moves_from(1, q, 0x25), (std::vector<std::string>{"2e1c+", "2e1c", "2e3c+", "2e3c"}));
    EXPECT_EQ(moves_from(1, q, 0x34), (std::vector<std::string>{"3d2b+", "3d4b+"}));
}

TEST(MakeMove, BishopAndRookPromoteWheneverTheyMay)
{
    // A rook on 2c slides out of the zone: every move promotes.
    Position p = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x23, S | HI}, {0x26, S | FU}});
    for (const std::string &m : moves_from(1, p, 0x23))
        EXPECT_EQ(m.back(), '+') << m;
    // A bishop outside the zone: plain moves outside, promotions into it, never both.
    Position q = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x55, S | KA}});
    const auto m = moves_from(1, q, 0x55);
    EXPECT_EQ(m.size(), 16u);
    for (const std::string &s : m)
        EXPECT_EQ(s.back() == '+', s[3] <= 'c') << s;
}

TEST(MakeMove, PinnedPiecesStayOnTheirLine)
{
    // The gold 6h is pinned against the king 7i by the bishop 4f.
    Position p = board_with({{0x79, S | OU}, {0x68, S | KI}, {0x46, G | KA}, {0x51, G | OU}});
    EXPECT_EQ(moves_from(1, p, 0x68), (std::vector<std::string>{"6h5g"}));
    // A bishop pinned on the diagonal slides along it and takes the pinner.
    Position q = board_with({{0x79, S | OU}, {0x68, S | KA}, {0x35, G | KA}, {0x51, G | OU}});
    const auto bm = moves_from(1, q, 0x68);
    EXPECT_EQ(bm, (std::vector<std::string>{"6h5g", "6h4f", "6h3e"}));
    // A pinned knight does not move at all.
    Position r = board_with({{0x59, S | OU}, {0x57, S | KE}, {0x51, G | HI}, {0x11, G | OU}});
    EXPECT_TRUE(moves_from(1, r, 0x57).empty());
}

TEST(MakeMove, KingKeepsOffAttackedSquaresAndTheCheckingLine)
{
    // Rook on 5a checks the king on 5e from afar: 5f shows no attack but is not allowed.
    Position p = board_with({{0x55, S | OU}, {0x51, G | HI}, {0x11, G | OU}});
    int list[16];
    const int n = MakeMoveKing(1, &p, list);
    std::vector<std::string> m;
    for (int i = 0; i < n; i++)
        m.push_back(usi(list[i]));
    EXPECT_EQ(std::find(m.begin(), m.end(), "5e5f"), m.end());
    EXPECT_EQ(std::find(m.begin(), m.end(), "5e5d"), m.end());
    EXPECT_NE(std::find(m.begin(), m.end(), "5e4e"), m.end());
    // An undefended adjacent checker can be taken; a defended piece never.
    Position q = board_with({{0x55, S | OU}, {0x54, G | KI}, {0x11, G | OU}});
    EXPECT_EQ(king_moves(1, q).count("5e5d"), 1u);
    Position r = board_with({{0x55, S | OU}, {0x54, G | KI}, {0x53, G | FU}, {0x11, G | OU}});
    EXPECT_EQ(king_moves(1, r).count("5e5d"), 0u);
}

TEST(MakeMove, SideZeroMirrorsSideOne)
{
    // Side 0's pawn one step from its zone (rank 6 -> 7) promotes only.
    Position p = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x36, G | FU}, {0x44, G | KY}});
    EXPECT_EQ(moves_from(0, p, 0x36), (std::vector<std::string>{"3f3g+"}));
    EXPECT_EQ(moves_from(0, p, 0x44),
              (std::vector<std::string>{"4d4e", "4d4f", "4d4g+", "4d4g", "4d4h+", "4d4i+"}));
}

// ---- drops ---------------------------------------------------------------------------

TEST(MakeDrop, TwoPawnRuleAndDeadRanks)
{
    Position p = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x17, S | FU}, {0x27, S | TO}});
    p.hand[1][FU] = 1;
    p.hand[1][KY] = 1;
    p.hand[1][KE] = 1;
    const auto m = drops(1, p);
    for (const std::string &s : m) {
        if (s[0] == 'P') {
            EXPECT_NE(s[2], '1') << s;  // no pawn drop on file 1, which has a pawn
        }
        if (s[0] == 'P' || s[0] == 'L') {
            EXPECT_NE(s[3], 'a') << s;
        }
        if (s[0] == 'N') {
            EXPECT_TRUE(s[3] != 'a' && s[3] != 'b') << s;
        }
    }
    EXPECT_EQ(std::count(m.begin(), m.end(), "P*2a"), 0);
    EXPECT_EQ(std::count(m.begin(), m.end(), "P*2b"), 1);  // the promoted pawn does not count
    // Side 0: never on rank 9, nor a knight on ranks 8 and 9.
    Position q = board_with({{0x59, S | OU}, {0x51, G | OU}});
    q.hand[0][FU] = q.hand[0][KY] = q.hand[0][KE] = 1;
    for (const std::string &s : drops(0, q)) {
        EXPECT_NE(s[3], 'i') << s;
        if (s[0] == 'N') {
            EXPECT_NE(s[3], 'h') << s;
        }
    }
}

TEST(MakeDrop, OneDropPerSquareAndTypeInOrder)
{
    Position p = board_with({{0x59, S | OU}, {0x51, G | OU}});
    int list[MOVE_LIST_SIZE];
    EXPECT_EQ(MakeDrop(1, &p, list), 0);
    p.hand[1][KI] = 3;
    EXPECT_EQ(MakeDrop(1, &p, list), 79);
    p.hand[1][FU] = 1;
    p.hand[1][HI] = 1;
    const auto m = drops(1, p);
    EXPECT_EQ(m.front(), "P*1b");  // pawns first, file by file, rank by rank
    EXPECT_EQ(m.back(), "R*9i");   // rooks last
    const auto first_gold = std::find_if(m.begin(), m.end(), [](const std::string &s) { return s[0] == 'G'; });
    EXPECT_TRUE(std::all_of(m.begin(), first_gold, [](const std::string &s) { return s[0] == 'P'; }));
}

// ---- the pawn-drop mate rule ---------------------------------------------------------

// Gote king 5a between its lances 4a and 6a, a sente gold on 5c; sente drops a pawn on 5b.
Position pawn_mate_net(std::initializer_list<std::pair<int, int>> more)
{
    std::vector<std::pair<int, int>> pieces = {{0x51, G | OU}, {0x41, G | KY}, {0x61, G | KY}, {0x53, S | KI}, {0x99, S | OU}};
    pieces.insert(pieces.end(), more.begin(), more.end());
    Position p = board_from(pieces);
    p.hand[1][FU] = 1;
    return p;
}

int drop_pawn_and_test(Position p)
{
    NewBoard(1, make_move(0, 0x52, FU, 0, false), &p);
    return DropFuMate(0, &p);
}

TEST(DropFuMate, MateOnlyWhenNothingCanAnswer)
{
    EXPECT_EQ(drop_pawn_and_test(pawn_mate_net({})), 1);
    // An open flight square: no mate.
    Position open = board_from({{0x51, G | OU}, {0x41, G | KY}, {0x53, S | KI}, {0x99, S | OU}});
    open.hand[1][FU] = 1;
    NewBoard(1, make_move(0, 0x52, FU, 0, false), &open);
    EXPECT_EQ(DropFuMate(0, &open), 0);
    // Unsupported pawn: the king takes it.
    Position bare = board_from({{0x51, G | OU}, {0x41, G | KY}, {0x61, G | KY}, {0x42, G | GI}, {0x62, G | GI}, {0x99, S | OU}});
    bare.hand[1][FU] = 1;
    NewBoard(1, make_move(0, 0x52, FU, 0, false), &bare);
    EXPECT_EQ(DropFuMate(0, &bare), 0);
    // A gold beside the pawn takes it; pinned along a line that misses the pawn it cannot.
    EXPECT_EQ(drop_pawn_and_test(pawn_mate_net({{0x62, G | KI}})), 0);
    EXPECT_EQ(drop_pawn_and_test(pawn_mate_net({{0x62, G | KI}, {0x95, S | KA}})), 1);
}

TEST(DropFuMate, RefreshesStalePinsBeforeAskingWhoCanTake)
{
    // The gote king stood on 4b with its bishop 4c pinned on the file by the rook 4i. It
    // steps to 5a (its pins were last computed on 4b), sente drops a pawn on 5b: the
    // bishop, no longer pinned, takes it, so the drop does not mate.
    Position p = board_from({{0x42, G | OU}, {0x43, G | KA}, {0x49, S | HI}, {0x41, G | KY}, {0x61, G | KY},
                             {0x53, S | KI}, {0x99, S | OU}});
    p.hand[1][FU] = 1;
    MakePin(0, &p);
    ASSERT_EQ(p.pin[0][0x43], 0x03);
    NewBoard(0, make_move(0x42, 0x51, OU, 0, false), &p);
    NewBoard(1, make_move(0, 0x52, FU, 0, false), &p);
    ASSERT_EQ(p.pin[0][0x43], 0x03);  // stale: would forbid the capture
    EXPECT_EQ(DropFuMate(0, &p), 0);

    // The other way: the gold 6b was free with the king on 4b; on 5a the bishop 9e pins
    // it along the diagonal, so it cannot take the pawn and the drop mates.
    Position q = board_from({{0x42, G | OU}, {0x62, G | KI}, {0x95, S | KA}, {0x41, G | KY}, {0x61, G | KY},
                             {0x53, S | KI}, {0x99, S | OU}});
    q.hand[1][FU] = 1;
    MakePin(0, &q);
    ASSERT_EQ(q.pin[0][0x62], 255);
    NewBoard(0, make_move(0x42, 0x51, OU, 0, false), &q);
    NewBoard(1, make_move(0, 0x52, FU, 0, false), &q);
    ASSERT_EQ(q.pin[0][0x62], 255);  // stale: would allow the capture
    EXPECT_EQ(DropFuMate(0, &q), 1);
}

// ---- moves to one square -------------------------------------------------------------

TEST(MoveTo, ReadsTheAttackWord)
{
    Position p = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x55, G | FU}});
    int list[64];
    EXPECT_EQ(MoveTo(1, &p, 0x55, list, 1), 0);  // nobody reaches it
    // Only the king reaches 5h: with the flag it takes the undefended gold there.
    Position q = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x58, G | KI}});
    EXPECT_EQ(MoveTo(1, &q, 0x58, list, 0), 0);
    ASSERT_EQ(MoveTo(1, &q, 0x58, list, 1), 1);
    EXPECT_EQ(usi(list[0]), "5i5h");
    Position r = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x58, G | KI}, {0x57, G | FU}});
    EXPECT_EQ(MoveTo(1, &r, 0x58, list, 1), 0);  // defended
}

TEST(MoveTo, PromotionRulesDifferFromTheFullGenerator)
{
    int list[64];
    // A lance four squares away reaching the third rank: promotion only.
    Position p = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x17, S | KY}, {0x13, G | FU}});
    ASSERT_EQ(MoveTo(1, &p, 0x13, list, 0), 1);
    EXPECT_EQ(usi(list[0]), "1g1c+");
    // A silver capturing into the zone: plain first, then the promotion.
    Position q = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x34, S | GI}, {0x33, G | FU}});
    ASSERT_EQ(MoveTo(1, &q, 0x33, list, 0), 2);
    EXPECT_EQ(usi(list[0]), "3d3c");
    EXPECT_EQ(usi(list[1]), "3d3c+");
    // A bishop leaving the zone: plain, then promotion.
    Position r = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x13, S | KA}, {0x46, G | FU}});
    ASSERT_EQ(MoveTo(1, &r, 0x46, list, 0), 2);
    EXPECT_EQ(usi(list[0]), "1c4f");
    EXPECT_EQ(usi(list[1]), "1c4f+");
    // A rook pinned on its file cannot take beside it.
    Position s = board_with({{0x59, S | OU}, {0x57, S | HI}, {0x51, G | HI}, {0x47, G | KI}, {0x11, G | OU}});
    MakePin(1, &s);
    EXPECT_EQ(MoveTo(1, &s, 0x47, list, 0), 0);
    // Knights: third rank plain then promotion, last two ranks promotion only.
    Position t = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x25, S | KE}, {0x34, S | KE}, {0x33, G | FU}, {0x22, G | FU}});
    ASSERT_EQ(MoveTo(1, &t, 0x33, list, 0), 2);
    EXPECT_EQ(usi(list[0]), "2e3c");
    EXPECT_EQ(usi(list[1]), "2e3c+");
    ASSERT_EQ(MoveTo(1, &t, 0x22, list, 0), 1);
    EXPECT_EQ(usi(list[0]), "3d2b+");
}

// ---- evasions ------------------------------------------------------------------------

std::vector<std::string> evasions(Position p, int side)
{
    int list[MOVE_LIST_SIZE];
    const int n = MakeEvasion(side, &p, p.attack[side ^ 1][p.king[side]], list);
    std::vector<std::string> out;
    for (int i = 0; i < n; i++)
        out.push_back(usi(list[i]));
    return out;
}

TEST(MakeEvasion, DistantRookGivesKingMovesCapturesInterpositionsThenDrops)
{
    // Sente king 5i, gote rook 5g with 5h empty between them.
    Position p = board_with({{0x59, S | OU}, {0x57, G | HI}, {0x48, S | KI}, {0x66, S | GI}, {0x11, G | OU}});
    p.hand[1][FU] = 1;
    p.hand[1][KE] = 1;
    p.hand[1][KA] = 1;
    // King steps first (4h holds the gold, 5h lies on the rook's line), the captures of
    // the rook by the gold and the silver, the gold onto 5h, then the drops in type order.
    EXPECT_EQ(evasions(p, 1), (std::vector<std::string>{"5i4i", "5i6i", "5i6h", "4h5g", "6f5g", "4h5h", "P*5h",
                                                        "N*5h", "B*5h"}));
}

TEST(MakeEvasion, DoubleCheckKnightAndAdjacentDragon)
{
    // Double check (rook on the file, bishop on the diagonal): king moves only, pins untouched.
    Position p = board_with({{0x59, S | OU}, {0x51, G | HI}, {0x95, G | KA}, {0x48, S | KI}, {0x11, G | OU}});
    p.hand[1][KI] = 1;
    for (int sq : position_tbl)
        p.pin[1][sq] = 7;
    for (const std::string &m : evasions(p, 1))
        EXPECT_EQ(m.substr(0, 2), "5i") << m;
    int list[MOVE_LIST_SIZE];
    MakeEvasion(1, &p, p.attack[0][0x59], list);
    EXPECT_EQ(p.pin[1][0x48], 7);
    // Knight check: king moves and captures of the knight, nothing else.
    Position k = board_with({{0x59, S | OU}, {0x67, G | KE}, {0x68, S | KI}, {0x11, G | OU}});
    k.hand[1][KI] = 1;
    for (const std::string &m : evasions(k, 1))
        EXPECT_TRUE(m.substr(0, 2) == "5i" || m == "6h6g") << m;
    // Adjacent dragon: no drops.
    Position d = board_with({{0x59, S | OU}, {0x58, G | RY}, {0x11, G | OU}});
    d.hand[1][KI] = 1;
    for (const std::string &m : evasions(d, 1))
        EXPECT_NE(m[1], '*') << m;
}

TEST(MakeEvasion, PinnedDefendersAndMate)
{
    // The rook 5g checks over 5h; the gold 4h, pinned by the bishop 2f, can neither take
    // it nor step between.
    Position p = board_with({{0x59, S | OU}, {0x57, G | HI}, {0x48, S | KI}, {0x26, G | KA}, {0x11, G | OU}});
    for (const std::string &m : evasions(p, 1))
        EXPECT_NE(m.substr(0, 2), "4h") << m;
    // Mate: an empty list.
    Position mate = board_with({{0x19, S | OU}, {0x18, G | KI}, {0x17, G | FU}, {0x11, G | OU}});
    EXPECT_TRUE(evasions(mate, 1).empty());
}

// ---- list capacity -------------------------------------------------------------------

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
