// The game phase: a table of positions, move numbers and grades before and after.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eval/get_grade.h"
#include "test_util.h"

namespace {

TEST(GameGrade, RulesByMoveNumber)
{
    struct Case {
        const char *what;
        std::vector<std::pair<int, int>> pieces;
        std::vector<std::pair<int, int>> hand;  // (side * 8 + type, count)
        int moves, before, after;
    } cases[] = {
        {"gote gold checks sente", {{0x59, S | OU}, {0x51, G | OU}, {0x58, G | KI}}, {}, 1, 0, 2},
        {"sente rook checks gote", {{0x59, S | OU}, {0x51, G | OU}, {0x52, S | HI}}, {}, 1, 1, 2},
        {"opening up to move 14", {{0x59, S | OU}, {0x51, G | OU}}, {}, 14, 2, 0},
        {"then no rule applies", {{0x59, S | OU}, {0x51, G | OU}}, {}, 40, 2, 2},
        // A rook on 3a sweeps file 3: 3g, 3h, 3i are two squares from the king on 5i.
        {"attacked near a king, move 21", {{0x59, S | OU}, {0x51, G | OU}, {0x31, G | HI}}, {}, 21, 0, 0},
        {"attacked near a king, move 22", {{0x59, S | OU}, {0x51, G | OU}, {0x31, G | HI}}, {}, 22, 0, 1},
        {"attacked near a king: 2 falls back", {{0x59, S | OU}, {0x51, G | OU}, {0x31, G | HI}}, {}, 29, 2, 1},
        {"one attacked square is not enough", {{0x59, S | OU}, {0x51, G | OU}, {0x46, G | FU}}, {}, 25, 0, 0},
        {"invasion, move 27", {{0x59, S | OU}, {0x91, G | OU}, {0x13, S | GI}}, {}, 27, 0, 0},
        {"invasion, move 28", {{0x59, S | OU}, {0x91, G | OU}, {0x13, S | GI}}, {}, 28, 0, 1},
        {"invasion without danger: 2 falls back", {{0x59, S | OU}, {0x91, G | OU}, {0x13, S | GI}}, {}, 35, 2, 1},
        {"gote invades", {{0x59, S | OU}, {0x11, G | OU}, {0x97, G | GI}}, {}, 28, 0, 1},
        // Gote's king alone in the corner: three free squares (-2.11 each); 4 golds 61.32,
        // a silver 9.76 (65 in all), a second one (75).
        {"danger 65", {{0x59, S | OU}, {0x11, G | OU}}, {{8 + KI, 4}, {8 + GI, 1}}, 30, 0, 0},
        {"danger 75 before move 30", {{0x59, S | OU}, {0x11, G | OU}}, {{8 + KI, 4}, {8 + GI, 2}}, 29, 0, 0},
        {"danger 75", {{0x59, S | OU}, {0x11, G | OU}}, {{8 + KI, 4}, {8 + GI, 2}}, 30, 0, 2},
        // Gote's hand counts against sente's king on 5e, eight free squares: 64.
        {"danger 64 of gote's hand", {{0x55, S | OU}, {0x11, G | OU}}, {{KI, 4}, {GI, 2}}, 30, 0, 0},
        // A dragon on 7h attacks 8h, 9h, 8i (43.29) and 7g, 7i, 8g (19.68): 63; a gold
        // in hand adds 15.33.
        {"attacked squares 63", {{0x99, S | OU}, {0x11, G | OU}, {0x78, G | RY}}, {}, 30, 1, 1},
        {"attacked squares and a gold 78", {{0x99, S | OU}, {0x11, G | OU}, {0x78, G | RY}}, {{KI, 1}}, 30, 1, 2},
        {"no king, no danger", {{0x59, S | OU}, {0x55, G | KI}}, {{8 + KI, 3}, {8 + GI, 4}, {8 + HI, 2}}, 40, 0, 0},
    };
    for (const Case &c : cases) {
        Position p = board_from(c.pieces);
        for (auto [slot, n] : c.hand)
            p.hand[slot / 8][slot % 8] = n;
        nMoves = c.moves;
        Grade = c.before;
        GetGrade(&p);
        EXPECT_EQ(Grade, c.after) << c.what;
    }
    Grade = 0;
    nMoves = 0;
}

}  // namespace
