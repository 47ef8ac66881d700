// Searches a fixed set of positions to a fixed depth and prints nodes, time and speed per
// position and in total. The node count depends only on the build, the weights and the
// network: a change in it shows a change in the search, so it is the search's signature.
//
//   qvn-bench [--depth N] [--net FILE] [--param NAME=VALUE]... [positions file]
//
// (run in build/, next to the data files). --param sets one of the search's constants
// (the names of the tuning build's options), to compare variants on one build.
// --net FILE benches with a network beside the tables (a file that cannot be used is
// reported, and the tables alone are benched).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "eval/evalute.h"
#include "eval/network.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "platform/platform.h"
#include "search/params.h"
#include "tools/fixed_depth.h"

namespace {

// The built-in set: the start position and middle games of strong engines' games.
constexpr const char *builtin_positions[] = {
#include "bench_positions.inc"
};

// NAME=VALUE onto the search's constants; false (with a message) for an unknown name.
bool set_param(const char *text)
{
    const char *eq = std::strchr(text, '=');
    for (int i = 0; eq && i < param_count(); i++) {
        const ParamInfo &p = param_table()[i];
        if (std::strlen(p.name) == static_cast<std::size_t>(eq - text) && !std::strncmp(p.name, text, eq - text)) {
            *p.value = std::clamp(std::atoi(eq + 1), p.min, p.max);
            init_search_params();
            return true;
        }
    }
    std::fprintf(stderr, "--param %s: no such constant (NAME=VALUE)\n", text);
    return false;
}

}  // namespace

int main(int argc, char **argv)
{
    int depth = 6;
    const char *file = nullptr;
    const char *net = "";
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--depth") && i + 1 < argc)
            depth = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--net") && i + 1 < argc)
            net = argv[++i];
        else if (!std::strcmp(argv[i], "--param") && i + 1 < argc) {
            if (!set_param(argv[++i]))
                return 1;
        }
        else if (argv[i][0] == '-') {
            std::fprintf(stderr, "usage: qvn-bench [--depth N] [--net FILE] [--param NAME=VALUE]... [positions file]\n");
            return argv[i][1] == 'h' || !std::strcmp(argv[i], "--help") ? 0 : 1;
        }
        else
            file = argv[i];
    }
    HashInit();
    InitEvalute(1);
    if (net[0]) {
        char path[4096];
        std::string error;
        if (!NetLoad(find_data_file(net, path, sizeof path), &error))
            std::fprintf(stderr, "%s: the linear evaluation alone\n", error.c_str());
    }
    std::printf("evaluation: %s\n", NetActive ? "tables and network" : "tables alone");
    std::FILE *in = file ? std::fopen(file, "r") : nullptr;
    if (file && !in) {
        std::fprintf(stderr, "cannot read %s\n", file);
        return 1;
    }
    long long total_nodes = 0, quiescence_nodes = 0;
    double total_seconds = 0;
    int index = 0;
    char line[10000];
    for (std::size_t b = 0;; b++) {
        const char *text;
        if (in) {
            if (!std::fgets(line, sizeof line, in))
                break;
            text = line;
        } else {
            if (b == sizeof builtin_positions / sizeof *builtin_positions)
                break;
            std::snprintf(line, sizeof line, "%s\n", builtin_positions[b]);
            text = line;
        }
        if (text[0] == '#' || text[0] == '\n' || read_position(text) < 0)
            continue;
        HashClear();  // every position starts from an empty table, outside the timing
        const auto start = std::chrono::steady_clock::now();
        const FixedDepthResult r = search_fixed_depth(depth, false);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        total_nodes += r.nodes;
        quiescence_nodes += r.quiescence_nodes;
        total_seconds += seconds;
        std::printf("position %2d: %10lld nodes %8.3f s %9.0f nps  value %d\n", ++index, r.nodes, seconds,
                    r.nodes / seconds, r.value);
    }
    if (in)
        std::fclose(in);
    const long long nps = total_seconds > 0 ? static_cast<long long>(total_nodes / total_seconds) : 0;
    std::printf("total: %lld nodes %.3f s, %.1f %% of them in the quiescence search\n", total_nodes, total_seconds,
                total_nodes ? 100.0 * quiescence_nodes / total_nodes : 0.0);
    std::printf("bench: %lld nodes %lld nps\n", total_nodes, nps);
    return 0;
}
