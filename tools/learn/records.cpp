// Training records as text and back, for people and for other engines' scripts:
//
//   qvn-records dump FILE          one line a record:
//                                  sfen <sfen>\t<score>\t<move>\t<ply>\t<result>\t<grade>\t<teacher>
//   qvn-records pack FILE          reads such lines from standard input, appends records
//                                  (grade "auto": the phase the engine gives the position)
//   qvn-records stats FILE         counts, results, score and ply histograms
//
// The move is in USI notation as the stored position shows it (first player to move).
// Run where "hash_key.dat" is (pack sets positions up through the position command).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/notation.h"
#include "eval/get_grade.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "tools/learn/record.h"

namespace {

int dump(const char *path)
{
    for (const TrainingRecord &r : read_records(path)) {
        char move[8];
        move2usi(smove2move(r.move), move);
        std::printf("sfen %s\t%d\t%s\t%d\t%d\t%d\t%d\n", record_sfen(r).c_str(), r.score, move, r.ply, r.result,
                    r.grade, r.teacher);
    }
    return 0;
}

int pack(const char *path)
{
    HashInit();
    std::vector<TrainingRecord> out;
    char line[4096];
    long bad = 0;
    while (std::fgets(line, sizeof line, stdin)) {
        std::vector<std::string> col;
        for (char *tok = std::strtok(line, "\t\r\n"); tok; tok = std::strtok(nullptr, "\t\r\n"))
            col.emplace_back(tok);
        if (col.size() < 7 || read_position(col[0].c_str()) < 0 || Reverse) {
            bad++;
            continue;
        }
        TrainingRecord r;
        if (!pack_position(Trunk[0], &r)) {
            bad++;
            continue;
        }
        r.score = static_cast<std::int16_t>(std::clamp(std::atoi(col[1].c_str()), -32000, 32000));
        r.move = static_cast<std::uint16_t>(move2smove(usi2move(col[2].c_str())));
        r.ply = static_cast<std::uint16_t>(std::atoi(col[3].c_str()));
        r.result = static_cast<std::int8_t>(std::atoi(col[4].c_str()));
        if (col[5] == "auto") {
            // The phase the engine would give the position in a game of that length.
            nMoves = r.ply + 1;
            Grade = r.ply < 15 ? GRADE_OPENING : GRADE_MIDDLE;
            GetGrade(&Trunk[0]);
            r.grade = static_cast<std::uint8_t>(Grade);
        } else {
            r.grade = static_cast<std::uint8_t>(std::atoi(col[5].c_str()));
        }
        r.teacher = static_cast<std::uint8_t>(std::atoi(col[6].c_str()));
        out.push_back(r);
    }
    if (bad)
        std::fprintf(stderr, "%ld lines were not records with the first player to move\n", bad);
    if (!append_records(path, out)) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    std::fprintf(stderr, "%zu records appended to %s\n", out.size(), path);
    return 0;
}

int stats(const char *path)
{
    const std::vector<TrainingRecord> records = read_records(path);
    long results[3] = {}, grades[3] = {}, scores[9] = {}, plies[8] = {};
    for (const TrainingRecord &r : records) {
        results[std::clamp(r.result + 1, 0, 2)]++;
        grades[std::min<int>(r.grade, 2)]++;
        const int s = std::abs(r.score);
        scores[s < 100 ? 0 : s < 200 ? 1 : s < 400 ? 2 : s < 800 ? 3 : s < 1600 ? 4 : s < 3200 ? 5 : s < 29000 ? 6 : 7]++;
        plies[std::min(r.ply / 40, 7)]++;
    }
    std::printf("%zu records\nresult  loss %ld  draw %ld  win %ld\ngrade   opening %ld  middle %ld  endgame %ld\n",
                records.size(), results[0], results[2 - 1], results[2], grades[0], grades[1], grades[2]);
    const char *bands[] = {"<100", "<200", "<400", "<800", "<1600", "<3200", "<29000", "mate"};
    std::printf("|score|");
    for (int i = 0; i < 8; i++)
        std::printf("  %s %ld", bands[i], scores[i]);
    std::printf("\nply    ");
    for (int i = 0; i < 8; i++)
        std::printf("  %d+ %ld", 40 * i, plies[i]);
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && !std::strcmp(argv[1], "dump"))
        return dump(argv[2]);
    if (argc == 3 && !std::strcmp(argv[1], "pack"))
        return pack(argv[2]);
    if (argc == 3 && !std::strcmp(argv[1], "stats"))
        return stats(argv[2]);
    std::fprintf(stderr, "usage: qvn-records dump|pack|stats FILE\n");
    return 2;
}
