// Speed of the static evaluation without its cache, over positions of real games.
//   qvn-eval-bench [benchmark options]
// Reports evaluations per second ("items_per_second").
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"

namespace {

// Every tenth ply of every game in the test data, in the engine's own view (2,705
// records, about 9 MiB: more than the caches hold, as in a search).
const std::vector<Position> &positions()
{
    static const std::vector<Position> all = [] {
        std::vector<Position> out;
        for (const char *file : {"/games/gpsusi-selfplay.usi", "/games/fsf-vs-gpsusi.usi"}) {
            std::ifstream in(std::string(QVN_TEST_DATA) + file);
            std::string line;
            while (std::getline(in, line)) {
                if (line.rfind("startpos", 0) != 0)
                    continue;
                std::istringstream words(line);
                std::string w, text = "startpos moves";
                words >> w >> w;
                for (int ply = 1; words >> w; ply++) {
                    text += " " + w;
                    if (ply % 10 == 0 && read_position(text.c_str()) > 0)
                        out.push_back(Trunk[0]);
                }
            }
        }
        return out;
    }();
    return all;
}

// Evaluates the first state.range(0) positions (all when 0) over and over.
void evaluate_all(benchmark::State &state, int grade)
{
    const std::vector<Position> &all = positions();
    const std::size_t n = state.range(0) > 0 ? std::min<std::size_t>(state.range(0), all.size()) : all.size();
    Grade = grade;
    for (auto _ : state)
        for (std::size_t i = 0; i < n; i++)
            benchmark::DoNotOptimize(EvaluteNoHash(&all[i]));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
    state.counters["positions"] = static_cast<double>(n);
}

void BM_EvaluteNoHash(benchmark::State &state) { evaluate_all(state, 0); }
void BM_EvaluteNoHashEndgame(benchmark::State &state) { evaluate_all(state, 2); }

// The same positions through the cache: every call after the first round is a hit.
void BM_EvaluteCached(benchmark::State &state)
{
    const std::vector<Position> &ps = positions();
    Grade = 0;
    EvaluteHashClear();
    for (auto _ : state)
        for (const Position &p : ps)
            benchmark::DoNotOptimize(Evalute(&p));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(ps.size()));
}

// All positions (more than the processor's caches hold), and 64 that stay in them.
BENCHMARK(BM_EvaluteNoHash)->Arg(0)->Arg(64);
BENCHMARK(BM_EvaluteNoHashEndgame)->Arg(0)->Arg(64);
BENCHMARK(BM_EvaluteCached);

}  // namespace

int main(int argc, char **argv)
{
    // The data files of the build, where the engine finds them: in its working directory.
    if (chdir(QVN_BUILD_DIR) != 0)
        return 1;
    HashInit();
    InitEvalute(1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
