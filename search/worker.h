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

// The gravity histories (switch history_gravity) key a move by the piece it leaves on the
// destination and that square: 14 board types, and 7 slots for the drops, for a drop does
// something else than a board move of the same type to the same square.
constexpr int GRAVITY_SLOTS = 21;
constexpr int GRAVITY_KEYS = GRAVITY_SLOTS * 81;
// Rows of a continuation table: an earlier move by its mover's side and key, and one row
// for a line without that move (a null move, or before the root).
constexpr int CONTINUATION_ROWS = 2 * GRAVITY_KEYS + 1;
constexpr int NO_CONTINUATION = CONTINUATION_ROWS - 1;
// Every entry stays within ±GRAVITY_MAX: a bonus b moves it b / GRAVITY_MAX of the way
// to the bound of b's sign.
constexpr int GRAVITY_MAX = 16384;

// Board slots 0..13 by the type on the destination (13 is no type); drops 14..20.
inline constexpr int gravity_board_slot[16] = {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 12, 13};
constexpr int gravity_key(int move)
{
    const int to = move_to(move), piece = move_piece(move);
    const int slot = move_from(move) == 0 ? 13 + piece
                                          : gravity_board_slot[piece | (move_is_promote(move) ? PROMOTE : 0)];
    return slot * 81 + (to >> 4) * 9 + (to & 15) - 10;
}
static_assert(gravity_key(make_move(0, 9 * 16 + 9, HI, 0, false)) == GRAVITY_KEYS - 1);
static_assert(gravity_key(make_move(9 * 16 + 9, 1 * 16 + 1, KA, 0, true)) ==
              gravity_key(make_move(17, 17, UM, 0, false)));

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
    // With history_gravity: quiet moves by side to move and key, and the same by the move
    // one ply ([0]) and two plies ([1]) earlier. 6,804 and 2 x 11,577,006 bytes: the
    // workers live in static storage or on the heap, never on a stack.
    std::int16_t GravityHistory[2][GRAVITY_KEYS];
    std::int16_t Continuation[2][CONTINUATION_ROWS][GRAVITY_KEYS];

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
    // Clears the gravity histories, which clear_search_tables does while history_gravity is on.
    void clear_gravity_tables();
    // The continuation rows of trunk[ply] with side to move: the moves one and two plies up.
    void continuation_rows(int side, int ply, int *rows) const
    {
        const int last = trunk[ply].last_move, before = ply > 0 ? trunk[ply - 1].last_move : 0;
        rows[0] = last ? (side ^ 1) * GRAVITY_KEYS + gravity_key(last) : NO_CONTINUATION;
        rows[1] = before ? side * GRAVITY_KEYS + gravity_key(before) : NO_CONTINUATION;
    }
    // The gravity histories summed for side's quiet move: within ±3 x GRAVITY_MAX.
    int gravity_score(int side, const int *rows, int move) const
    {
        const int k = gravity_key(move);
        return GravityHistory[side][k] + Continuation[0][rows[0]][k] + Continuation[1][rows[1]][k];
    }
    // Starts a search of the game's root: copies Trunk[0] into trunk[0].
    void set_root();
};

// The worker of the thread that decides the move (and of the tools, which search on it).
SearchWorker &main_worker();
