// Labels training records again with a deeper search of qvn's own:
//
//   qvn-relabel --in FILE --out FILE [--depth D] [--weights FILE] [--part K/N]
//
// Each position is searched to depth D with an empty history; the record gets the new
// score and move and teacher 1. --part K/N takes every N-th record from the K-th (0-based),
// so that N processes share a file. Records already in --out (from an earlier run of the
// same part) are skipped, so a run can be stopped and started again. Run where
// "hash_key.dat" is.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/notation.h"
#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "search/root_search.h"
#include "search/search.h"
#include "tools/learn/record.h"

int main(int argc, char **argv)
{
    std::string in, out, weights = "weight.dat";
    int depth = 4, part = 0, parts = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--in") in = argv[i + 1];
        else if (a == "--out") out = argv[i + 1];
        else if (a == "--depth") depth = std::atoi(argv[i + 1]);
        else if (a == "--weights") weights = argv[i + 1];
        else if (a == "--part" && std::sscanf(argv[i + 1], "%d/%d", &part, &parts) == 2 && parts > 0) {}
        else {
            std::fprintf(stderr, "usage: qvn-relabel --in FILE --out FILE [--depth D] [--weights FILE] [--part K/N]\n");
            return 2;
        }
    }
    if (in.empty() || out.empty())
        return 2;
    HashInit();
    InitEvalute(1, weights.c_str());
    const std::vector<TrainingRecord> records = read_records(in.c_str());
    const std::size_t done = read_records(out.c_str()).size();
    std::vector<TrainingRecord> batch;
    const auto start = std::chrono::steady_clock::now();
    std::size_t mine = 0, labelled = 0;
    for (std::size_t i = static_cast<std::size_t>(part); i < records.size(); i += static_cast<std::size_t>(parts)) {
        if (mine++ < done)
            continue;
        TrainingRecord r = records[i];
        const std::string text = "sfen " + record_sfen(r);
        nMoves = read_position(text.c_str());
        if (nMoves < 0)
            continue;
        HashClear();
        Grade = r.grade <= GRADE_ENDGAME ? r.grade : GRADE_MIDDLE;
        AbortSearch = 0;
        AnalyzeMode = 1;
        int best[2] = {0, 0};
        const int value = IterativeDeep(best, depth);
        r.score = static_cast<std::int16_t>(std::clamp(value, -32000, 32000));
        if (best[0])
            r.move = static_cast<std::uint16_t>(move2smove(best[0]));
        r.teacher = TEACHER_QVN;
        batch.push_back(r);
        labelled++;
        if (batch.size() == 1000 || i + static_cast<std::size_t>(parts) >= records.size()) {
            if (!append_records(out.c_str(), batch))
                return 1;
            batch.clear();
            const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const double left = (static_cast<double>(records.size()) / parts - static_cast<double>(mine)) *
                                secs / static_cast<double>(labelled);
            std::fprintf(stderr, "%zu labelled  %.1f positions/s  left %.0f min\n", done + labelled,
                         labelled / secs, left / 60);
        }
    }
    if (!append_records(out.c_str(), batch))
        return 1;
    return 0;
}
