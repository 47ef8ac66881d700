// Move lists of the search: the root list, and the ordered list of an inner node.
#pragma once

#include "board/position.h"

// The legal moves of side 1 at the root (pawn-drop mates not yet removed), unordered;
// at most MAX_MOVE - 1.
int GenerateRoot(Position *root, int *list);
// The ordered list of an inner node is SearchWorker::GenerateOrder.
