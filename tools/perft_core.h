// Legal move lists and perft counts over the engine's own generators and do-move.
#pragma once

#include <cstdint>

// The legal moves of side in Trunk[ply]: MakeEvasion when side is in check, else MakeMove
// then MakeDrop; a checking pawn drop is removed when DropFuMate says it mates (tested on
// Trunk[ply + 1], so ply must be below 32). Returns the count.
int legal_moves(int ply, int side, int *list);

// The number of leaf nodes depth plies below Trunk[ply] with side to move (depth >= 1;
// ply + depth at most 32). Children are made by copy-make into Trunk[ply + 1].
std::uint64_t perft(int ply, int side, int depth);
