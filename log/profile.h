// The search's statistics counters, printed in the thinking log's blocks (search/pv.cpp).
// They sit down here because the table and the evaluation cache count into them too.
#pragma once

constexpr int PROFILE_SIZE = 128;
// Counters of everything the search does (nodes, table use, pruning, ordering); the
// comments at the log blocks in search/pv.cpp name each word. Each thread counts its own:
// the table and the evaluation cache count into the counters of the thread that uses them.
// Words 44-76 and 77-109 hold the beta-cut averages of PV and non-PV nodes by ply (up to
// ply 32), so counters added later go from 120 on.
extern thread_local int profile[PROFILE_SIZE];
