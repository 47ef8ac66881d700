// Root search and iterative deepening.
#pragma once

extern int Iterate;  // the current iteration depth in plies
