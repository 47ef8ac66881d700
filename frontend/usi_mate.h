// "go mate": where the front end hands a mate question to the mate solver.
#pragma once

// Answers one "go mate" for the root position on the main thread: exactly one "checkmate"
// line ("checkmate <moves>", "checkmate nomate", "checkmate timeout" or
// "checkmate notimplemented"). time_ms is the time allowed, -1 for none; AbortSearch
// is raised by "stop" meanwhile.
void answer_go_mate(int time_ms);
