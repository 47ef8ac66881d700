// Helpers of the move generator tests: positions from pieces or SFEN, moves as USI text.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "board/position.h"

// A position with these (square, board word) pieces, empty hands, attack tables built,
// every piece unpinned, keys computed.
Position board_from(const std::vector<std::pair<int, int>> &pieces);
inline Position board_with(std::initializer_list<std::pair<int, int>> pieces)
{
    return board_from(std::vector<std::pair<int, int>>(pieces));
}
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
