// Searches the root position to a fixed depth with the main search alone (no iterative
// deepening, no clock): for tests, the bench and profiling.
#pragma once

#include "search/pv.h"

struct FixedDepthResult {
    int value;           // from the side to move's view (side 1, the engine)
    int pv[PV_SIZE];
    long long nodes;     // main search plus quiescence nodes
    long long quiescence_nodes;
};

// Searches Trunk[0] to depth plies. The transposition table keeps its entries unless
// clear_table is set.
FixedDepthResult search_fixed_depth(int depth, bool clear_table);
