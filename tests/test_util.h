// Shared helpers of the unit tests: game records, built positions, from-scratch rebuilds.
#pragma once

#include <climits>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "board/position.h"

constexpr int S = 16, G = 32;  // colour bits: sente (side 1), gote (side 0)

struct GameRecord {
    std::string header;               // the "# game ..." line
    std::vector<std::string> moves;   // USI moves
};

// Every game of the test data (both files).
const std::vector<GameRecord> &test_games();

// "startpos moves m1 ... mk" for the first k moves of a game.
std::string position_text(const GameRecord &g, std::size_t k);

// Sets up Trunk[0] through the engine's own position command; returns its result.
int set_position(const std::string &text);

// True when p's attack tables, keys and king squares equal a rebuild from its board.
::testing::AssertionResult matches_rebuild(const Position &p);

// A position with these (square, board word) pieces and these hands ([side][type]),
// with kings, keys, attack tables and pins computed.
Position board_from(const std::vector<std::pair<int, int>> &pieces);
inline Position board_with(std::initializer_list<std::pair<int, int>> pieces)
{
    return board_from(std::vector<std::pair<int, int>>(pieces));
}
// Kings, keys, attack tables and pins of p computed again from its board and hands.
void finish(Position &p);

// The same position turned 180 degrees with the sides exchanged.
Position mirrored(const Position &p);

// A move in USI notation, as it stands (not turned).
std::string usi(int move);

std::string read_file(const std::string &name);

// Raw bytes of the thinking log written while fn runs (in the working directory, which
// should be the test's own: the log file is removed).
std::string log_of(const std::function<void()> &fn);

// Fills every evaluation weight with a different-looking random number, so that reading
// the wrong element shows in the result.
void random_weights(unsigned seed);

// A test that runs in a fresh directory of its own, removed afterwards.
class InTempDir : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
        char tmpl[] = "/tmp/qvn_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(old_dir), 0);
        std::filesystem::remove_all(dir);
    }
    char old_dir[PATH_MAX];
    std::string dir;
};
