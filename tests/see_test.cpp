// Static exchange evaluation on constructed squares, each also turned with the colours
// exchanged. The value is for the owner of the piece on the square.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eval/evalute.h"
#include "search/see.h"
#include "test_util.h"

namespace {

TEST(See, ExchangesOnOneSquare)
{
    InitEvalute(0);  // the material tables only
    const int *v = piece_value;
    struct Case {
        const char *what;
        int sq;
        std::vector<std::pair<int, int>> pieces;
        int expected;
    } cases[] = {
        {"no attacker", 0x55, {{0x55, G | KI}, {0x59, S | OU}, {0x51, G | OU}}, 0},
        {"undefended, a pawn takes", 0x55, {{0x55, G | KI}, {0x56, S | FU}}, -v[KI]},
        {"the same in the zone", 0x53, {{0x53, G | KI}, {0x54, S | FU}}, -v[KI]},
        {"the king alone against a defender", 0x55, {{0x55, G | KI}, {0x44, S | OU}, {0x54, G | KI}}, 100},
        {"a king whose bit is not above the defender's", 0x55, {{0x55, G | KI}, {0x56, S | OU}, {0x54, G | KI}}, 0},
        {"the king takes an undefended piece", 0x55, {{0x55, G | KI}, {0x56, S | OU}}, -v[KI]},
        {"recaptured as a tokin", 0x53, {{0x53, G | GI}, {0x54, S | FU}, {0x52, G | KI}}, -v[GI] + v[TO]},
        {"doubled rooks", 0x55, {{0x55, G | GI}, {0x54, G | KI}, {0x58, S | HI}, {0x59, S | HI}}, -v[GI] + v[HI] - v[KI]},
        {"a single rook", 0x55, {{0x55, G | GI}, {0x54, G | KI}, {0x58, S | HI}}, -v[GI] + v[HI]},
        {"x-ray behind a gold", 0x55, {{0x55, G | GI}, {0x54, G | FU}, {0x56, S | KI}, {0x59, S | KY}}, -v[GI] + v[KI] - v[FU]},
        {"cheapest first", 0x55, {{0x55, G | KI}, {0x54, G | GI}, {0x56, S | FU}, {0x15, S | HI}}, -v[KI] + v[FU]},
    };
    for (const Case &c : cases) {
        const Position p = board_from(c.pieces);
        EXPECT_EQ(See(c.sq, &p), c.expected) << c.what;
        const Position m = mirrored(p);
        EXPECT_EQ(See(170 - c.sq, &m), c.expected) << c.what << ", turned";
    }
    InitEvalute(1);
}

}  // namespace
