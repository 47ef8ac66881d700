// Principal variations and the search statistics.
#pragma once

constexpr int PROFILE_SIZE = 120;
// Counters of everything the search does (nodes, table use, pruning, ordering).
extern int profile[PROFILE_SIZE];
