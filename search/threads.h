// The search threads. The main thread searches on main_worker() and decides the move; each
// helper thread searches the same root on a worker of its own (lazy SMP), starting its
// iterations at other depths, so that the threads share what they find only through the
// transposition table and the evaluation cache.
#pragma once

#include <cstdint>

struct SearchWorker;

constexpr int MAX_THREADS = 256;

// Gives the search n threads (1 to MAX_THREADS) in all: allocates the helpers' workers and
// starts their threads, or ends the surplus ones. Only while no search runs. Returns the
// number it has: fewer when memory or threads cannot be had (reported on standard error).
int set_search_threads(int n);
// The threads the search has (main thread included).
int search_threads();
// Helper threads taking part in the running search (0 when none runs).
int search_helpers();

// Starts every helper on the root search of trunk[0] of the game (Trunk[0]) up to max_depth
// plies; called by the main worker's root search once it has prepared the shared state.
void start_helpers(int max_depth);
// Stops the helpers (through AbortSearch) and waits until all are idle. AbortSearch is left
// as it was before: raised only if "stop", the clock or the node limit raised it.
void stop_helpers();

// Nodes of every worker since its search started, main thread included.
std::int64_t searched_nodes();
// Sets every worker's node count to 0 (before a search, no thread running).
void reset_node_counts();
