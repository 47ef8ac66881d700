// Game files: whole games go through a file (plain, concatenated, compressed) unchanged, a
// file cut inside a record yields the games before it, and a replayed game shows the same
// positions as the engine's own position command.
#include <cstdlib>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "board/new_board.h"
#include "board/notation.h"
#include "frontend/usi_sub.h"
#include "test_util.h"
#include "tools/learn/game_file.h"

namespace {

// The test games as game records with made-up scores, some starting from an SFEN.
std::vector<GameData> sample_games(std::size_t count)
{
    std::vector<GameData> out;
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> score(-3000, 3000);
    const std::vector<GameRecord> &games = test_games();
    for (std::size_t i = 0; i < count && i < games.size(); i++) {
        GameData g;
        g.id = static_cast<std::uint32_t>(1000 + i);
        g.kind = static_cast<std::uint8_t>(i % 3 | (i % 2 ? GAME_KIND_QVN_SECOND : 0));
        g.result = static_cast<std::int8_t>(static_cast<int>(i % 3) - 1);
        std::size_t first = 0;
        if (i % 4 == 1) {
            // Start after one or two moves of the game, from the SFEN of that position.
            first = 1 + i / 4 % 2;
            if (set_position(position_text(games[i], first)) <= 0)
                return out;
            g.sfen = write_sfen(Reverse ? turned(Trunk[0]) : Trunk[0], Reverse != 0, static_cast<int>(first) + 1);
        }
        for (std::size_t k = first; k < games[i].moves.size(); k++) {
            const int s = k < 8 ? GAME_NO_SCORE : score(rng);
            g.plies.push_back({usi_move16(games[i].moves[k].c_str()), static_cast<std::int16_t>(s)});
        }
        out.push_back(g);
    }
    return out;
}

bool same_game(const GameData &a, const GameData &b)
{
    if (a.id != b.id || a.kind != b.kind || a.result != b.result || a.sfen != b.sfen ||
        a.plies.size() != b.plies.size())
        return false;
    for (std::size_t i = 0; i < a.plies.size(); i++)
        if (a.plies[i].move != b.plies[i].move || a.plies[i].score != b.plies[i].score)
            return false;
    return true;
}

TEST(GameFile, MoveWordsMatchTheLayout)
{
    const struct {
        const char *usi;
        std::uint16_t word;
    } cases[] = {
        {"7g7f", (6 * 9 + 5) | (6 * 9 + 6) << 7},
        {"1a9i+", 80 | 0 << 7 | 0x4000},
        {"P*5e", (4 * 9 + 4) | 81 << 7},
        {"R*1i", 8 | 87 << 7},
        {"8h2b+", (1 * 9 + 1) | (7 * 9 + 7) << 7 | 0x4000},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(usi_move16(c.usi), c.word) << c.usi;
        EXPECT_EQ(move16_usi(c.word), c.usi);
    }
    EXPECT_EQ(usi_move16("K*5e"), 0);
    EXPECT_EQ(move16_usi(81 | 0 << 7), "");
    EXPECT_EQ(move16_usi(0 | 81 << 7 | 0x4000), "");
}

TEST_F(InTempDir, GamesRoundTripThroughFiles)
{
    const std::vector<GameData> games = sample_games(40);
    ASSERT_GE(games.size(), 30u);
    ASSERT_TRUE(write_games("a.qgm", std::vector<GameData>(games.begin(), games.begin() + 20), false));
    ASSERT_TRUE(write_games("b.qgm", std::vector<GameData>(games.begin() + 20, games.end()), false));
    ASSERT_EQ(std::system("cat a.qgm b.qgm > all.qgm && gzip -c all.qgm > all.qgm.gz"), 0);
    for (const char *name : {"all.qgm", "all.qgm.gz"}) {
        std::string error = "unset";
        const std::vector<GameData> back = read_games(name, &error);
        EXPECT_EQ(error, "") << name;
        ASSERT_EQ(back.size(), games.size()) << name;
        for (std::size_t i = 0; i < games.size(); i++)
            EXPECT_TRUE(same_game(back[i], games[i])) << name << " game " << i;
    }

    // A file cut anywhere inside its last record yields the games before it.
    std::vector<std::uint8_t> bytes, first;
    for (const GameData &g : games)
        ASSERT_TRUE(encode_game(g, &bytes));
    ASSERT_TRUE(encode_game(games.back(), &first));
    const std::size_t last = bytes.size() - first.size();
    for (std::size_t cut : {last + 1, last + 2, last + 8, last + 10, last + 13, bytes.size() - 3, bytes.size() - 1}) {
        std::ofstream("cut.qgm", std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(cut));
        GameReader reader("cut.qgm");
        GameData g;
        std::size_t n = 0;
        while (reader.next(&g))
            n++;
        EXPECT_EQ(n, games.size() - 1) << cut;
        EXPECT_TRUE(reader.truncated()) << cut;
        EXPECT_EQ(reader.error(), "") << cut;
    }
    std::ofstream("bad.qgm", std::ios::binary).write("\x51\x47\x00\x00\x00\x00\x00\x00\x00\x00\x00\x99\x99", 13);
    std::string error;
    EXPECT_EQ(read_games("bad.qgm", &error).size(), 1u);
    EXPECT_NE(error, "");
}

// Each replayed position equals the engine's own set-up of the game up to there (turned the
// same way when the second player is to move), and the labels follow the record.
TEST(GameFile, ReplayMatchesThePositionCommand)
{
    const std::vector<GameData> games = sample_games(60);
    long checked = 0, captures = 0, checks = 0, second = 0, from_sfen = 0;
    for (const GameData &g : games) {
        from_sfen += !g.sfen.empty();
        std::vector<ReplayedPosition> seen;
        std::string error;
        ASSERT_TRUE(replay_game(g, [&](const ReplayedPosition &r) { seen.push_back(r); }, &error)) << error;
        ASSERT_EQ(seen.size(), g.plies.size());
        std::string text = g.sfen.empty() ? "startpos moves" : "sfen " + g.sfen + " moves";
        for (std::size_t i = 0; i < seen.size(); i++) {
            const ReplayedPosition &r = seen[i];
            if (i % 3 == 0) {
                ASSERT_GT(set_position(text), 0);
                const Position &p = Trunk[0];
                EXPECT_TRUE(std::equal(p.board, p.board + BOARD_SIZE, r.pos.board)) << g.id << " ply " << i;
                EXPECT_TRUE(std::equal(&p.hand[0][0], &p.hand[0][0] + 16, &r.pos.hand[0][0])) << g.id << " ply " << i;
                EXPECT_EQ(p.key, r.pos.key);
                EXPECT_EQ(r.second_to_move, Reverse != 0);
                EXPECT_EQ(r.in_check, in_check(1, &p));
                EXPECT_EQ(r.capture, p.board[move_to(r.move)] != 0);
                EXPECT_TRUE(matches_rebuild(r.pos));
                EXPECT_TRUE(std::equal(&p.pin[0][0], &p.pin[0][0] + 2 * BOARD_SIZE, &r.pos.pin[0][0]));
                checked++;
            }
            EXPECT_EQ(r.ply, static_cast<int>(i));
            EXPECT_EQ(r.score, g.plies[i].score);
            EXPECT_EQ(r.result, r.second_to_move ? -g.result : g.result);
            // The move in the position's own view reads back as the game's move.
            char usi[8];
            move2usi(r.second_to_move ? move_reverse(r.move) : r.move, usi);
            EXPECT_EQ(usi, move16_usi(g.plies[i].move));
            text += " " + move16_usi(g.plies[i].move);
            captures += r.capture, checks += r.in_check, second += r.second_to_move;
        }
    }
    EXPECT_GT(checked, 1500);
    EXPECT_GT(captures, 500);
    EXPECT_GT(checks, 100);
    EXPECT_GT(second, 2000);
    EXPECT_GE(from_sfen, 4);
}

}  // namespace
