// Move lists of the search: the root list, and the ordered list of an inner node.
#pragma once

#include "board/position.h"

// Killer moves by ply, and history counters by (moving type << 8 | destination).
constexpr int KILLER_SIZE = 34;
constexpr int HISTORY_SIZE = 3994;
extern int KillerMove1[KILLER_SIZE];
extern int KillerMove2[KILLER_SIZE];
extern int KillerMate[KILLER_SIZE];
extern unsigned HistoryCut[HISTORY_SIZE];    // depth² summed over quiet moves that cut
extern unsigned HistoryTride[HISTORY_SIZE];  // depth² summed over quiet moves tried at a cut node

constexpr int history_index(int move) { return (move >> 8) & 0xFFF; }

// The legal moves of side 1 at the root Trunk[0] (pawn-drop mates not yet removed),
// unordered; at most MAX_MOVE - 1.
int GenerateRoot(int *list);
// The moves of side at Trunk[ply], annotated and sorted best first.
int GenerateOrder(int side, int ply, int *list);
