// The USI front end: start-up, the input thread and the main loop that serves "go".
#pragma once

#include <atomic>
#include <cstdio>

// Flags shared by the input thread and the searching main thread.
extern std::atomic<int> go;        // a "go" was accepted and is being served
extern std::atomic<int> complete;  // the last search has finished
extern std::atomic<int> ponder;    // the running (or finished) search's result is held back
constexpr int GO_LINE_SIZE = 80;
extern char go_line[GO_LINE_SIZE];
extern int bestmove[2];            // the chosen move and the expected reply
extern int ret_val;                // what Think returned for the last search
extern int games;                  // "usinewgame" commands seen
extern int nMoves;                 // move number of the root position
extern std::FILE *fp_usi_log;      // protocol dump, or none
extern const char *version;

// Settings from "qvn.conf".
extern int log_enable, usi_dump, no_book, random_book, pondering;
extern int mate_probe;  // ms of the mate probe before each search; 0: none

// Everything the engine says on the protocol goes through here (and into the dump).
int usi_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// One "info" line: elapsed ms, depth, deepest ply, score and a principal variation ended
// by 0 or -1.
void usi_info(int time, int depth, int seldepth, int value, const int *pv);
// The "bestmove" line of the last search.
void send_move();

// Opens or closes the protocol dump ("usi_dump" option).
void set_usi_dump(bool on);

// Start-up and the main loop; never returns.
int engine_main();
