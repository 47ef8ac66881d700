// "go mate": where the front end hands a mate question to the mate solver.
#pragma once

// Answers one "go mate" for the root position on the main thread with the mate solver:
// "info" lines with nodes and speed about once a second, then exactly one "checkmate"
// line ("checkmate <moves>": the attacker's moves and the defender's replies;
// "checkmate nomate" when no mate exists; "checkmate timeout" when time_ms or a "stop",
// which raises AbortSearch, ends it first). time_ms is the time allowed, -1 for none.
void answer_go_mate(int time_ms);

struct MateResult;
// The "info" line of a proved mate played in a game: time, nodes, "score mate N" and the line.
void usi_mate_info(const MateResult &result);
