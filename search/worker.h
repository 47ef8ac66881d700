// A search worker: everything one search thread writes. What stays shared between
// threads is the transposition table, the clock and stop flags, the options, the game
// history and the read-only tables.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "eval/network.h"
#include "movegen/make_legal.h"
#include "search/pv.h"

// The deepest ply of the main and the quiescence search: a node there is evaluated, so
// its children at MAX_SEARCH_PLY + 1 make none, and the records end there.
constexpr int MAX_SEARCH_PLY = 127;
constexpr int TRUNK_SIZE = MAX_SEARCH_PLY + 2;
// The deepest iteration: its depth in half plies, with the root's check extension, stays
// below the table's never-replaced depth (100).
constexpr int MAX_ITERATION = 48;
constexpr int NO_EVAL = -32000;

// Killer moves by ply, and history counters by (moving type << 8 | destination).
constexpr int KILLER_SIZE = MAX_SEARCH_PLY + 2;
constexpr int HISTORY_SIZE = 3994;
constexpr int history_index(int move) { return (move >> 8) & 0xFFF; }

// A worker's node count: written by its own thread only and read by the main thread (reports,
// the node limit of every thread together), so plain relaxed loads and stores do.
class NodeCounter {
  public:
    operator std::int64_t() const { return n_.load(std::memory_order_relaxed); }
    NodeCounter &operator=(std::int64_t n)
    {
        n_.store(n, std::memory_order_relaxed);
        return *this;
    }

  private:
    std::atomic<std::int64_t> n_{0};
};

struct SearchWorker {
    int id = 0;  // 0: the main thread's worker; 1, 2, ...: the helpers
    // ---- the position records and the root ----
    Position trunk[TRUNK_SIZE];
    int root_n_move = 0;
    int root_move[MOVE_LIST_SIZE];
    RootRecord root_list[MAX_MOVE];
    int Iterate = 0;                       // the current iteration depth in plies
    int iterate_value[MAX_ITERATION + 1];  // accepted result of each iteration

    // ---- what the moves learn ----
    int KillerMove1[KILLER_SIZE];
    int KillerMove2[KILLER_SIZE];
    int KillerMate[KILLER_SIZE];
    unsigned HistoryCut[HISTORY_SIZE];    // depth² summed over quiet moves that cut
    unsigned HistoryTride[HISTORY_SIZE];  // depth² summed over quiet moves tried at a cut node

    // ---- counters ----
    NodeCounter nodes;       // main and quiescence nodes since the root search started
    int MaxPly = 0;          // deepest ply reached since the root search reset it
    int MaxQuiPly = 0;       // deepest quiescence ply, likewise
    int sel_depth = 0;       // deepest ply of any node in this iteration ("seldepth")
    // The static evaluation of each ply's node from its side to move, NO_EVAL in check:
    // whether the position improves on the one two plies up.
    int static_eval[TRUNK_SIZE];
    // The network's sums of each ply's position, made from the parent's by each move of the
    // main search; acc_key[ply] is the key of the position acc[ply] belongs to.
    NetAccumulator acc[TRUNK_SIZE];
    std::uint64_t acc_key[TRUNK_SIZE];
    // The network's part of a quiescence node's carried evaluation (side 1's view).
    int net_part[TRUNK_SIZE];
    // The move a singular test leaves out of trunk[ply]'s search (0: none), and whether such
    // a search runs: it starts no other, so only one ply's entry is ever set.
    int excluded[TRUNK_SIZE] = {};
    bool verifying = false;

    // Searches trunk[0] (side 1 to move) by iterative deepening up to max_depth plies;
    // best[0] gets the move, best[1] the expected reply. Returns the score, -30000 with no
    // legal move.
    int IterativeDeep(int *best, int max_depth);
    // Principal-variation node with the open window (alpha, beta); fail-soft. pv receives
    // the node's principal variation.
    int SearchPv(int side, int alpha, int beta, int ply, int depth, int *pv);
    // Every other node, with the null window (beta - 1, beta); null_ok allows a null move.
    int SearchNonPv(int side, int beta, int ply, int depth, int null_ok, int *pv);
    // The singular test of trunk[ply]'s table move: searched without it at half the depth,
    // does every other move stay below beta?
    bool is_singular(int side, int ply, int depth, int move, int beta);
    // Captures (and quiet checks at its first ply, evasions when in check) from trunk[ply]
    // for side; fail-soft score from side's view.
    int Quiescence(int side, int alpha, int beta, int ply, int qply);
    // The moves of side at trunk[ply], annotated and sorted best first; trunk[ply + 1] is
    // scratch.
    int GenerateOrder(int side, int ply, int *list);
    // The network's sums of trunk[ply], made afresh when they belong to another position.
    const NetAccumulator &sums(int ply);
    // The sums of trunk[ply + 1], made by side's move from trunk[ply]'s (which must be valid).
    void make_sums(int side, int ply, int move);
    // The static evaluation of trunk[ply] with side to move, from side 1's view.
    int evaluate(int side, int ply);
    // trunk[ply + 1] is a copy of trunk[ply] (a null move): so are its network sums.
    void copy_accumulator(int ply);
    // The network's output for trunk[ply] with side to move, from side 1's view.
    int network_part(int side, int ply);
    // Moves the quiescence child's carried evaluation by what the network sees change.
    void carry_network(int side, int ply, int move);
    // Clears the killers, history and statistics of a new search.
    void clear_search_tables();
    // Starts a search of the game's root: copies Trunk[0] into trunk[0].
    void set_root();
};

// The worker of the thread that decides the move (and of the tools, which search on it).
SearchWorker &main_worker();
