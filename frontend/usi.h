// The USI front end: start-up, the input thread and the main loop that serves "go".
#pragma once

#include <atomic>
#include <cstdio>

#include "search/report.h"

// Flags shared by the input thread and the searching main thread.
extern std::atomic<int> go;        // a "go" was accepted and is being served
extern std::atomic<int> complete;  // the last search has finished
extern std::atomic<int> ponder;    // the running (or finished) search's result is held back
constexpr int GO_LINE_SIZE = 80;
extern char go_line[GO_LINE_SIZE];
extern int bestmove[2];            // the chosen move and the expected reply
extern int ret_val;                // what Think returned for the last search
extern int games;                  // "usinewgame" commands seen
extern std::FILE *fp_usi_log;      // protocol dump, or none
extern const char *version;

// Settings from "qvn.conf" (the search's own are in search/qvn.h).
extern int log_enable, usi_dump, pondering;

// Everything the engine says on the protocol goes through here (and into the dump).
int usi_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// One "info" line of the search (the front end fills the search's reports, search/report.h,
// with these): time, nodes (every thread) and speed counted from the "go", the table's fill,
// depth, deepest ply, multipv (0: left out), the score from the engine's view ("mate N" in
// plies once a mate is proved, negative when the engine is mated) and a principal variation
// ended by 0 or -1.
void usi_search_info(int depth, int seldepth, int multipv, int value, ScoreBound bound, const int *pv);
// The "info" line of a book move: its weight and the move.
void usi_book_info(int weight, const int *pv);
// The "bestmove" line of the last search.
void send_move();

// Opens or closes the protocol dump ("usi_dump" option).
void set_usi_dump(bool on);

// Start-up and the main loop; never returns.
int engine_main();
