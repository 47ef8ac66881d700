// Position keys and the key file.
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "board/new_board.h"
#include "hash/hash.h"
#include "test_util.h"

namespace {

TEST(KeyFile, SizeAndEmptyRow)
{
    std::ifstream in("hash_key.dat", std::ios::binary | std::ios::ate);
    ASSERT_TRUE(in.good());
    EXPECT_EQ(static_cast<long>(in.tellg()), HASH_KEY_FILE_SIZE);
    for (int sq = 0; sq < HASH_SEED_COLS; sq++)
        EXPECT_EQ(hash_seed[0][sq], 0u);
    // Every other entry is a distinct random number.
    std::set<std::uint64_t> seen;
    for (int r = 1; r < HASH_SEED_ROWS; r++)
        for (int c = 0; c < HASH_SEED_COLS; c++)
            seen.insert(hash_seed[r][c]);
    for (int r = 0; r < HAND_SEED_ROWS; r++)
        for (int c = 0; c < HAND_SEED_COLS; c++)
            seen.insert(hand_hash_seed[r][c]);
    EXPECT_EQ(seen.size(), std::size_t((HASH_SEED_ROWS - 1) * HASH_SEED_COLS + HAND_SEED_ROWS * HAND_SEED_COLS));
}

TEST(Keys, EmptyHandsAndTwoKings)
{
    Position p{};
    clear_board(&p);
    p.board[0x59] = 16 | OU;
    p.board[0x51] = 32 | OU;
    std::uint64_t hand = 0;
    for (int t = 1; t <= 7; t++)
        hand ^= hand_hash_seed[t][0] ^ hand_hash_seed[8 + t][0];
    EXPECT_EQ(hand_key_of(&p), hand);
    EXPECT_NE(hand, 0u);
    EXPECT_EQ(board_key_of(&p), hash_seed[16 + OU][0x59] ^ hash_seed[OU][0x51]);
}

TEST(Keys, ColoursUseTheirOwnRows)
{
    Position a{}, b{};
    clear_board(&a);
    clear_board(&b);
    a.board[0x55] = 16 | GI;
    b.board[0x55] = 32 | GI;
    EXPECT_EQ(board_key_of(&a), hash_seed[16 + GI][0x55]);
    EXPECT_EQ(board_key_of(&b), hash_seed[GI][0x55]);
    EXPECT_NE(board_key_of(&a), board_key_of(&b));
}

TEST(Keys, EighteenPawnsInHandUseTheLastColumn)
{
    Position p{};
    clear_board(&p);
    p.hand[1][FU] = 18;
    std::uint64_t expect = hand_hash_seed[8 + FU][18] ^ hand_hash_seed[FU][0];
    for (int t = 2; t <= 7; t++)
        expect ^= hand_hash_seed[t][0] ^ hand_hash_seed[8 + t][0];
    EXPECT_EQ(hand_key_of(&p), expect);
}

TEST(Keys, TranspositionsGiveEqualKeys)
{
    set_position("startpos moves 7g7f 3c3d 2g2f 8c8d\n");
    const Position a = Trunk[0];
    set_position("startpos moves 2g2f 8c8d 7g7f 3c3d\n");
    const Position b = Trunk[0];
    EXPECT_EQ(a.key, b.key);
    EXPECT_EQ(a.board_key, b.board_key);
    EXPECT_EQ(a.hand_key, b.hand_key);
    EXPECT_TRUE(matches_rebuild(a));
}

TEST(Keys, RootHashMatchesScratchAfterGames)
{
    for (const GameRecord &g : test_games()) {
        set_position(position_text(g, g.moves.size()));
        ASSERT_TRUE(matches_rebuild(Trunk[0])) << g.header;
    }
}

}  // namespace
