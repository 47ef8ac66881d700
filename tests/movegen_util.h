// Helpers of the move generator tests: positions from SFEN or turned, moves as USI text.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "board/position.h"
#include "test_util.h"

// The root position of "position sfen <sfen>" (sente to move keeps the real squares).
Position sfen_position(const std::string &sfen);
// The same position turned 180 degrees with the sides exchanged.
Position mirrored(const Position &p);

// A move in USI notation, as it stands (not turned).
std::string usi(int move);
// MakeMove's moves of the piece on from, in order.
std::vector<std::string> moves_from(int side, Position p, int from);
std::multiset<std::string> king_moves(int side, const Position &p);
std::vector<std::string> drops(int side, const Position &p);
