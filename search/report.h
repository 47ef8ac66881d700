// What the search says while it thinks: the lines a GUI shows. The front end fills these in
// at start-up; a tool that drives the search fills in its own or none, and a report nobody
// filled in is dropped. This is the search's only way out, so it includes nothing above it.
#pragma once

struct MateResult;

// What a reported score is: the exact value, or a bound after a fail high or low.
enum class ScoreBound { Exact, Lower, Upper };

struct SearchReport {
    // One line of an iteration: depth, deepest ply, multipv (0: left out), the score from the
    // engine's view (a mate as MATE - plies) and a principal variation ended by 0 or -1.
    void (*iteration)(int depth, int seldepth, int multipv, int value, ScoreBound bound, const int *pv) = nullptr;
    // The line of a book move: its weight and the move.
    void (*book_move)(int weight, const int *pv) = nullptr;
    // A mate the solver proved before the search, played at once.
    void (*mate)(const MateResult &mate) = nullptr;
};

// Set before any search starts; only the main search thread reports.
void set_search_report(const SearchReport &report);

void report_search_info(int depth, int seldepth, int multipv, int value, ScoreBound bound, const int *pv);
void report_book_move(int weight, const int *pv);
void report_mate(const MateResult &mate);
