// "go mate": where the front end hands a mate question to the mate solver.
#pragma once

// Solves one "go mate" for the root position on the main thread with the mate solver,
// sending "info" lines with nodes and speed about once a second. time_ms is the time
// allowed, -1 for none; a "stop" raises AbortSearch meanwhile.
void solve_go_mate(int time_ms);
// Its answer, exactly one line: "checkmate <moves>" (the attacker's moves and the
// defender's replies), "checkmate nomate" when no mate exists, "checkmate timeout" when
// the time or a "stop" ended it first.
void send_checkmate();

struct MateResult;
// The "info" line of a proved mate played in a game: time, nodes, "score mate N" and the line.
void usi_mate_info(const MateResult &mate);
