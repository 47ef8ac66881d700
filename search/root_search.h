// Root search and iterative deepening.
#pragma once

#include "movegen/make_legal.h"
#include "search/pv.h"
#include "search/worker.h"

// Result of a root move that repeats the position by choice (evaluation bad enough).
constexpr int REPETITION_CHOSEN = 29001;
// Result of a position after which the engine can declare an entering-king win.
constexpr int ENTERING_KING_WIN = 29000;

// MultiPV: the number of best root moves the search scores exactly and reports (1 to
// MAX_MULTI_PV); the first is played.
constexpr int MAX_MULTI_PV = 64;
extern int MultiPV;

// Searches the game's root Trunk[0] (side 1 to move) on the main worker by iterative
// deepening up to max_depth plies; best[0] gets the move, best[1] the expected reply.
// Returns the score, -30000 with no legal move.
int IterativeDeep(int *best, int max_depth);

// True when side 1 may declare an entering-king win in p: its king in the zone and not
// in check, ten more pieces there, and enough points counting the zone and the hand.
bool entering_king_declaration(const Position *p, int points_needed);
