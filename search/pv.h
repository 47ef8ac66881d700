// Principal variations and the search statistics with their log blocks.
#pragma once

#include <cstdint>

#include "log/profile.h"

constexpr int PV_END = -1;     // ends a principal variation
constexpr int PV_SIZE = 36;    // a node's child buffer; a root record keeps 33 words

// pv = move followed by child, up to and including its terminator.
void PvAdd(int *pv, const int *child, int move);
// Logs a principal variation on one line (at most 32 moves).
void PvPrint(const int *pv);

// One root move's record: its sort key, last score, depth reached and principal variation.
struct RootRecord {
    std::int16_t key;
    std::int16_t value;
    std::uint8_t max_ply;
    std::uint8_t max_qui_ply;
    int nodes;
    int pv[33];
};

// The log blocks of the root search: the best root moves of an iteration, the
// iteration's statistics, and the beta-cut and ordering tables at the end.
void log_root_table(const RootRecord *records, int n);
void log_iteration_statistics(int elapsed, int it_time);
void log_final_tables(int max_ply);
