// Self-play training positions: qvn plays itself from varied openings at a fixed depth
// (or a fixed number of nodes a move, which bounds the cost of positions with full hands) and records every position it searched, with its score and, once the game is over,
// the result.
//
//   qvn-selfplay --out FILE --games N [--depth D | --nodes N] [--jobs J] [--seed S] [--weights FILE]
//                [--max-plies P] [--opening-plies K] [--random-moves M] games.usi...
//
// Run where "hash_key.dat" (and "book.dat": book positions are left out) are. Game g of
// seed S always plays the same way, so a run can be stopped and started again: the games
// already done are listed in FILE.done and skipped, new positions are appended to FILE,
// and positions already in FILE are not written twice.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "board/new_board.h"
#include "board/notation.h"
#include "book/book_probe.h"
#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "search/quiescence.h"
#include "search/qvn.h"
#include "search/root_search.h"
#include "search/search.h"
#include "tools/learn/record.h"
#include "tools/perft_core.h"

namespace {

struct Options {
    std::string out;
    long games = 1000;
    int depth = 4;
    long nodes = 0;  // when set, each move gets this many nodes instead of a fixed depth
    int jobs = 1;
    unsigned long long seed = 1;
    std::string weights = "weight.dat";
    int max_plies = 300;
    int opening_plies = 30;  // taken from a game record: 0 .. this many
    int random_moves = 3;    // then 1 .. this many random legal moves
    std::vector<std::string> game_files;
};

// An adjudicated win: this many plies in a row with the score beyond the bound.
constexpr int RESIGN_SCORE = 2000, RESIGN_PLIES = 4;

std::vector<std::vector<std::string>> read_openings(const std::vector<std::string> &files)
{
    std::vector<std::vector<std::string>> lines;
    for (const std::string &f : files) {
        std::ifstream in(f);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("startpos moves", 0) != 0)
                continue;
            std::vector<std::string> moves;
            std::size_t at = 14;
            while (at < line.size()) {
                const std::size_t next = line.find(' ', at + 1);
                const std::string m = line.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
                if (!m.empty() && m != "\r")
                    moves.push_back(m);
                if (next == std::string::npos)
                    break;
                at = next;
            }
            lines.push_back(moves);
        }
    }
    return lines;
}

std::string position_command(const std::vector<std::string> &moves)
{
    std::string s = "startpos moves";
    for (const std::string &m : moves)
        s += " " + m;
    return s;
}

std::string usi_text(int move)
{
    char buf[8];
    move2usi(Reverse ? move_reverse(move) : move, buf);
    return buf;
}

int repetitions()
{
    int n = 0;
    for (int k = 1; k <= nMoves && k < GAME_RECORD_SIZE; k++)
        n += HashRecord[k] == Trunk[0].key;
    return n;
}

// A random legal move of Trunk[0] among those that lose little by the quiescence search,
// so that the openings vary without giving material away; 0 when there is none.
int random_sound_move(std::mt19937_64 &rng)
{
    constexpr int SOUND_MARGIN = 150;
    int list[MOVE_LIST_SIZE], value[MOVE_LIST_SIZE];
    const int n = legal_moves(0, 1, list);
    int best = -MATE;
    EvaluteHashClear();
    SearchWorker &w = main_worker();
    for (int i = 0; i < n; i++) {
        w.trunk[1] = Trunk[0];
        w.trunk[1].last_move = list[i];
        NewBoard(1, list[i], &w.trunk[1]);
        AbortSearch = 0;
        value[i] = -w.Quiescence(0, -MATE, MATE, 1, 0);
        best = std::max(best, value[i]);
    }
    int sound[MOVE_LIST_SIZE], k = 0;
    for (int i = 0; i < n; i++)
        if (value[i] >= best - SOUND_MARGIN)
            sound[k++] = list[i];
    return k ? sound[rng() % k] : 0;
}

// Plays game number g; returns its positions with their results filled in.
std::vector<TrainingRecord> play_game(const Options &o, const std::vector<std::vector<std::string>> &openings,
                                      long g)
{
    std::mt19937_64 rng(o.seed * 0x9E3779B97F4A7C15ull + static_cast<unsigned long long>(g));
    std::vector<std::string> moves;
    if (!openings.empty()) {
        const auto &line = openings[rng() % openings.size()];
        const std::size_t k = std::min<std::size_t>(line.size(), rng() % (o.opening_plies + 1));
        moves.assign(line.begin(), line.begin() + static_cast<long>(k));
    }
    const int random_moves = 1 + static_cast<int>(rng() % o.random_moves);
    for (int i = 0; i < random_moves; i++) {
        if (read_position(position_command(moves).c_str()) < 0)
            return {};
        const int m = random_sound_move(rng);
        if (m == 0)
            return {};
        moves.push_back(usi_text(m));
    }

    HashClear();
    Grade = GRADE_OPENING;
    std::vector<TrainingRecord> records;
    std::vector<int> side_of;  // 1: the first player was to move
    int winner = -1;           // 1 first player, 0 second, -1 draw
    int streak = 0, streak_side = -1;
    while (static_cast<int>(moves.size()) < o.max_plies) {
        nMoves = read_position(position_command(moves).c_str());
        if (nMoves < 0)
            break;
        const int mover = Reverse ? 0 : 1;
        if (repetitions() >= 4)
            break;  // a draw by repetition
        int list[MOVE_LIST_SIZE];
        if (legal_moves(0, 1, list) == 0) {
            winner = mover ^ 1;
            break;
        }
        AbortSearch = 0;
        AnalyzeMode = 1;
        GetGrade(&Trunk[0]);
        const int grade = Grade;
        int best[2] = {0, 0};
        unsigned book_moves[BOOK_MAX_CANDIDATES], book_weights[BOOK_MAX_CANDIDATES];
        const bool in_book = moves.size() < 24 && BookProbe(book_moves, book_weights) > 0;
        NodeLimit = o.nodes;
        const int value = IterativeDeep(best, o.nodes ? 32 : o.depth);
        if (value == ENTERING_KING_WIN && entering_king_declaration(&Trunk[0], Reverse ? 27 : 28)) {
            winner = mover;
            break;
        }
        if (best[0] == 0 || value <= -MATE + 100) {
            winner = mover ^ 1;
            break;
        }
        const bool special = value == REPETITION_CHOSEN || value == ENTERING_KING_WIN;
        if (!special && !in_book && !in_check(1, &Trunk[0])) {
            TrainingRecord r;
            if (pack_position(Trunk[0], &r)) {
                r.score = static_cast<std::int16_t>(std::clamp(value, -32000, 32000));
                r.move = static_cast<std::uint16_t>(move2smove(best[0]));
                r.ply = static_cast<std::uint16_t>(moves.size());
                r.grade = static_cast<std::uint8_t>(grade);
                r.teacher = TEACHER_SELF_PLAY;
                records.push_back(r);
                side_of.push_back(mover);
            }
        }
        if (value >= MATE - 100) {
            winner = mover;
            break;
        }
        const int leader = value >= RESIGN_SCORE ? mover : value <= -RESIGN_SCORE ? mover ^ 1 : -1;
        streak = leader >= 0 && leader == streak_side ? streak + 1 : leader >= 0 ? 1 : 0;
        streak_side = leader;
        if (streak >= RESIGN_PLIES) {
            winner = leader;
            break;
        }
        moves.push_back(usi_text(best[0]));
    }
    for (std::size_t i = 0; i < records.size(); i++)
        records[i].result = static_cast<std::int8_t>(winner < 0 ? 0 : winner == side_of[i] ? 1 : -1);
    return records;
}

bool write_all(int fd, const void *data, std::size_t n)
{
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// A worker: plays its share of the games and sends each one whole down the pipe as
// (game number, record count, records).
void worker(const Options &o, const std::vector<std::vector<std::string>> &openings, const std::set<long> &done,
            int index, int fd)
{
    for (long g = index; g < o.games; g += o.jobs) {
        if (done.count(g))
            continue;
        const std::vector<TrainingRecord> records = play_game(o, openings, g);
        const long header[2] = {g, static_cast<long>(records.size())};
        std::vector<std::uint8_t> buf(records.size() * RECORD_BYTES);
        for (std::size_t i = 0; i < records.size(); i++)
            encode_record(records[i], buf.data() + i * RECORD_BYTES);
        if (!write_all(fd, header, sizeof header) || !write_all(fd, buf.data(), buf.size()))
            std::exit(1);
    }
    std::exit(0);
}

struct Pipe {
    int fd;
    std::vector<std::uint8_t> pending;
};

int usage()
{
    std::fprintf(stderr, "usage: qvn-selfplay --out FILE --games N [--depth D | --nodes N] [--jobs J] "
                         "[--seed S] [--weights FILE] [--max-plies P] [--opening-plies K] [--random-moves M] games.usi...\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        const bool has = i + 1 < argc;
        if (a == "--out" && has) o.out = argv[++i];
        else if (a == "--games" && has) o.games = std::atol(argv[++i]);
        else if (a == "--depth" && has) o.depth = std::atoi(argv[++i]);
        else if (a == "--nodes" && has) o.nodes = std::atol(argv[++i]);
        else if (a == "--jobs" && has) o.jobs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--seed" && has) o.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--weights" && has) o.weights = argv[++i];
        else if (a == "--max-plies" && has) o.max_plies = std::atoi(argv[++i]);
        else if (a == "--opening-plies" && has) o.opening_plies = std::max(0, std::atoi(argv[++i]));
        else if (a == "--random-moves" && has) o.random_moves = std::max(1, std::atoi(argv[++i]));
        else if (a.rfind("--", 0) == 0) return usage();
        else o.game_files.push_back(a);
    }
    if (o.out.empty())
        return usage();
    HashInit();
    InitEvalute(1, o.weights.c_str());
    const auto openings = read_openings(o.game_files);

    // A run that was cut off may have left half a record: cut the file back to whole ones.
    std::error_code ec;
    const auto size = std::filesystem::file_size(o.out, ec);
    if (!ec && size % RECORD_BYTES)
        std::filesystem::resize_file(o.out, size - size % RECORD_BYTES);
    std::unordered_set<std::uint64_t> seen;
    long written = 0;
    for (const TrainingRecord &r : read_records(o.out.c_str()))
        seen.insert(record_hash(r)), written++;
    std::set<long> done;
    const std::string done_file = o.out + ".done";
    {
        std::ifstream in(done_file);
        long g;
        while (in >> g)
            done.insert(g);
    }
    long todo = 0;
    for (long g = 0; g < o.games; g++)
        todo += !done.count(g);
    std::fprintf(stderr, "%ld positions in %s, %zu games done, %ld to play on %d workers, %s %ld\n", written,
                 o.out.c_str(), done.size(), todo, o.jobs, o.nodes ? "nodes" : "depth", o.nodes ? o.nodes : o.depth);

    std::vector<Pipe> pipes;
    std::vector<pid_t> children;
    for (int j = 0; j < o.jobs; j++) {
        int fds[2];
        if (pipe(fds) != 0)
            return 1;
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            worker(o, openings, done, j, fds[1]);
        }
        close(fds[1]);
        pipes.push_back({fds[0], {}});
        children.push_back(pid);
    }

    std::FILE *done_out = std::fopen(done_file.c_str(), "a");
    const auto start = std::chrono::steady_clock::now();
    long games = 0, fresh = 0, duplicates = 0, wins = 0, draws = 0;
    std::map<long, std::vector<TrainingRecord>> finished;  // played, waiting for a lower number
    long next_game = 0;
    while (done.count(next_game))
        next_game++;
    int open = o.jobs;
    while (open > 0) {
        std::vector<pollfd> fds;
        for (const Pipe &p : pipes)
            fds.push_back({p.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0)
            break;
        for (std::size_t j = 0; j < pipes.size(); j++) {
            if (!(fds[j].revents & (POLLIN | POLLHUP)) || pipes[j].fd < 0)
                continue;
            std::uint8_t buf[65536];
            const ssize_t got = read(pipes[j].fd, buf, sizeof buf);
            if (got <= 0) {
                close(pipes[j].fd);
                pipes[j].fd = -1;
                open--;
                continue;
            }
            auto &pend = pipes[j].pending;
            pend.insert(pend.end(), buf, buf + got);
            // Whole games only.
            while (pend.size() >= 2 * sizeof(long)) {
                long header[2];
                std::memcpy(header, pend.data(), sizeof header);
                const std::size_t need = sizeof header + static_cast<std::size_t>(header[1]) * RECORD_BYTES;
                if (pend.size() < need)
                    break;
                std::vector<TrainingRecord> &game = finished[header[0]];
                for (long i = 0; i < header[1]; i++)
                    game.push_back(decode_record(pend.data() + sizeof header + i * RECORD_BYTES));
                pend.erase(pend.begin(), pend.begin() + static_cast<long>(need));
            }
            // Games enter the file in their numbered order, whichever worker finished first, so
            // the file (and what is learnt from it) is the same on every run, interrupted or not.
            while (!finished.empty() && finished.begin()->first == next_game) {
                std::vector<TrainingRecord> keep;
                for (const TrainingRecord &r : finished.begin()->second) {
                    if (seen.insert(record_hash(r)).second)
                        keep.push_back(r);
                    else
                        duplicates++;
                }
                if (!keep.empty()) {
                    wins += keep[0].result != 0;
                    draws += keep[0].result == 0;
                }
                if (!append_records(o.out.c_str(), keep)) {
                    std::fprintf(stderr, "cannot write %s\n", o.out.c_str());
                    return 1;
                }
                std::fprintf(done_out, "%ld\n", next_game);
                std::fflush(done_out);
                finished.erase(finished.begin());
                do
                    next_game++;
                while (done.count(next_game));
                games++;
                fresh += static_cast<long>(keep.size());
                const double secs =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                if (games % 10 == 0 || games == todo) {
                    const double rate = fresh / secs;
                    const double left = games ? (todo - games) * secs / games : 0;
                    std::fprintf(stderr,
                                 "games %ld/%ld  positions %ld (+%ld, %ld duplicates)  %.0f pos/s  decisive %ld "
                                 "draws %ld  left %.0f min\n",
                                 games, todo, written + fresh, fresh, duplicates, rate, wins, draws, left / 60);
                }
            }
        }
    }
    std::fclose(done_out);
    int status = 0;
    for (pid_t pid : children) {
        int s;
        waitpid(pid, &s, 0);
        status |= !(WIFEXITED(s) && WEXITSTATUS(s) == 0);
    }
    return status;
}
