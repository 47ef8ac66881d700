// The do-move and the position keys, checked against from-scratch rebuilds.
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "board/new_board.h"
#include "board/notation.h"
#include "hash/hash.h"
#include "test_util.h"

namespace {

TEST(KeyFile, SizeEmptyRowAndDistinctSeeds)
{
    std::ifstream in("hash_key.dat", std::ios::binary | std::ios::ate);
    ASSERT_TRUE(in.good());
    EXPECT_EQ(static_cast<long>(in.tellg()), HASH_KEY_FILE_SIZE);
    std::set<std::uint64_t> seen;
    for (int c = 0; c < HASH_SEED_COLS; c++) {
        EXPECT_EQ(hash_seed[0][c], 0u);  // the empty square adds nothing
        for (int r = 1; r < HASH_SEED_ROWS; r++)
            seen.insert(hash_seed[r][c]);
    }
    for (int r = 0; r < HAND_SEED_ROWS; r++)
        for (int c = 0; c < HAND_SEED_COLS; c++)
            seen.insert(hand_hash_seed[r][c]);
    EXPECT_EQ(seen.size(), std::size_t((HASH_SEED_ROWS - 1) * HASH_SEED_COLS + HAND_SEED_ROWS * HAND_SEED_COLS));
}

// Every move of every test game, in both views (engine first and engine second): the
// incremental attack tables, keys and king squares must equal a rebuild after each move, and
// the key foretold before the move (for the table's prefetch) the key after it.
TEST(DoMove, WholeGamesMatchRebuilds)
{
    int checked = 0;
    for (const GameRecord &g : test_games()) {
        for (int view = 0; view < 2; view++) {
            Position p{};
            set_initial_board(&p);
            finish(p);
            for (std::size_t i = 0; i < g.moves.size(); i++) {
                int m = usi2move(g.moves[i].c_str());
                ASSERT_NE(m, 0) << g.header << " move " << i;
                const int real_side = (i & 1) ? 0 : 1;
                const int side = view ? real_side ^ 1 : real_side;
                if (view)
                    m = move_reverse(m);
                if (move_from(m))
                    m |= ((p.board[move_from(m)] & 15) << 16) | ((p.board[move_to(m)] & 15) << 20);
                const std::uint64_t foretold = key_after(side, &p, m);
                NewBoard(side, m, &p);
                ASSERT_EQ(p.key, foretold) << g.header << " move " << i;
                ASSERT_TRUE(matches_rebuild(p)) << g.header << " after move " << i + 1;
                checked++;
            }
        }
    }
    EXPECT_GT(checked, 40000);
}

}  // namespace
