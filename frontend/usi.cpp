#include "frontend/usi.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "board/board_print.h"
#include "board/notation.h"
#include "eval/evalute.h"
#include "eval/network.h"
#include "frontend/go_command.h"
#include "frontend/helper.h"
#include "frontend/usi_mate.h"
#include "frontend/usi_option.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "log/log.h"
#include "platform/platform.h"
#include "eval/get_grade.h"
#include "search/mate_search.h"
#include "search/params.h"
#include "search/pv.h"
#include "search/qvn.h"
#include "search/root_search.h"
#include "search/search.h"
#include "search/threads.h"
#include "search/time_budget.h"
#include "search/worker.h"

std::atomic<int> go;
std::atomic<int> complete;
std::atomic<int> ponder;
char go_line[GO_LINE_SIZE];
int bestmove[2];
int ret_val;
int games;
std::FILE *fp_usi_log;
const char *version = "1.14";
int log_enable, usi_dump, pondering;

namespace {

constexpr int LINE_SIZE = 9999;
constexpr const char *CONF_NAME = "qvn.conf";
constexpr int MAX_DEPTH = MAX_ITERATION;  // iterations of a search without "go depth"

// Guards the hand-over between the threads: accepting a "go", the end of a search and
// who sends its "bestmove", "position", and a deferred "isready".
std::mutex state_mutex;
std::mutex output_mutex;
bool search_accepted;     // some "go" has been accepted since start-up
bool go_is_ponder;        // the accepted "go" asked to ponder
bool isready_pending;     // "isready" arrived during a search: answer when it ends
bool result_dropped;      // "gameover" ended the game during a ponder search: never send its move
int go_depth = MAX_DEPTH; // deepest iteration of the accepted "go"
bool go_is_mate;          // the accepted "go" asks for a mate ("go mate")
int go_mate_time;         // its time in ms, -1 for none
bool report_nodes;        // a "go nodes" or "go depth": report the search's node count at its end

// ---- output -----------------------------------------------------------------------

int write_protocol(const char *text, int len)
{
    std::lock_guard<std::mutex> lock(output_mutex);
    const int n = static_cast<int>(std::fwrite(text, 1, len, stdout));
    std::fflush(stdout);
    if (fp_usi_log)
        std::fwrite(text, 1, len, fp_usi_log);
    return n;
}

void print_move(int move, char *buf)
{
    move2usi(Reverse ? move_reverse(move) : move, buf);
}

// ---- commands of the input thread -------------------------------------------------

// Reads one line into line (newline included, '\r' removed) and copies it to the dump.
// Byte by byte, so that no byte inside a line can hide its end: a NUL counts as a blank.
// Lines too long for the buffer are dropped whole, so their tail is never taken for a command.
bool usi_gets(char *line)
{
    for (;;) {
        int len = 0, c = 0;
        bool too_long = false;
        while ((c = std::getc(stdin)) != EOF && c != '\n') {
            if (len < LINE_SIZE - 2)
                line[len++] = c ? static_cast<char>(c) : ' ';
            else
                too_long = true;
        }
        if (c == EOF && len == 0 && !too_long)
            return false;
        if (too_long) {
            std::fprintf(stderr, "input line longer than %d characters ignored\n", LINE_SIZE - 2);
            if (c == EOF)
                return false;
            continue;
        }
        if (len > 0 && line[len - 1] == '\r')
            len--;
        line[len++] = '\n';
        line[len] = 0;
        if (fp_usi_log) {
            std::lock_guard<std::mutex> lock(output_mutex);
            std::fprintf(fp_usi_log, "> %s", line);
        }
        return true;
    }
}

void on_usi()
{
    usi_printf("id name qvn v.%s\nid author r.tolvane\n", version);
    print_options();
    usi_printf("usiok\n");
}

// The table is cleared, and given the size USI_Hash asks for, only here (no search runs).
void prepare_table()
{
    static int table_mib = HASH_DEFAULT_MIB;
    if (requested_hash_mib != table_mib) {
        table_mib = HashResize(requested_hash_mib);
        lprintf("USI_Hash=%d: the table has %d MiB\n", requested_hash_mib, table_mib);
    } else {
        HashClear();
    }
    if (requested_mate_mib != mate_table_mib() && !mate_table_resize(requested_mate_mib))
        std::fputs("mate_hash: not enough memory; the mate solver's table keeps its size\n", stderr);
    // Every search clears the evaluation cache on its own clock; its first touch (page faults on
    // 16 MiB) took up to 250 ms on a busy machine, past a short byoyomi: it is had here.
    EvaluteHashClear();
    // Likewise the main worker's gravity histories (22 MiB in static storage); the helpers'
    // were touched when they were made.
    if (params.history_gravity)
        main_worker().clear_gravity_tables();
}

void on_setoption(const char *line)
{
    std::lock_guard<std::mutex> lock(state_mutex);
    if (go) {
        std::fputs("setoption ignored: a search is running\n", stderr);
        return;
    }
    set_option(line);
}

// "isready" that arrived during a search, answered once it has ended (state_mutex held).
void answer_pending_isready()
{
    if (isready_pending) {
        isready_pending = false;
        prepare_table();
        usi_printf("readyok\n");
    }
}

void on_isready()
{
    std::lock_guard<std::mutex> lock(state_mutex);
    if (go) {
        isready_pending = true;  // never clear the table under a running search
        return;
    }
    prepare_table();
    usi_printf("readyok\n");
}

void on_usinewgame()
{
    // The phase only moves forward within a game; a new one starts from the opening.
    Grade = GRADE_OPENING;
    if (games != 0 && log_enable)
        open_log();
    games++;
}

void on_gameover(const char *line)
{
    {
        std::lock_guard<std::mutex> lock(state_mutex);
        AbortSearch = 1;
        // A held ponder result belongs to a game that is over; a later "stop" or
        // "ponderhit" must not send it. A timed search's move is still sent.
        if (ponder)
            result_dropped = true;
    }
    const char *result = line + 9;
    if (std::strncmp(result, "win", 3) == 0)
        lputs("win!");
    else if (std::strncmp(result, "lose", 4) == 0)
        lputs("lose");
    else if (std::strncmp(result, "draw", 4) == 0)
        lputs("draw");
}

void on_stop()
{
    bool running;
    {
        std::lock_guard<std::mutex> lock(state_mutex);
        AbortSearch = 1;
        AnalyzeMode = 0;
        running = go != 0;
        if (result_dropped) {
            // nothing is owed: the game ended during the ponder search
        } else if (running) {
            ponder = 0;  // the main thread sends the move when the search has ended
        } else if (search_accepted && ponder) {
            ponder = 0;  // a ponder search ended on its own: its move is still owed
            send_move();
        }
    }
    lputs(">>> 探索中断(stop受信)");
    // Read nothing more until the search no longer uses the root.
    while (running && !complete)
        sleep_ms(10);
}

void on_position(const char *line)
{
    std::lock_guard<std::mutex> lock(state_mutex);
    if (go) {
        std::fputs("position ignored: a search is running\n", stderr);
        lputs("position ignored: a search is running");
        return;
    }
    const int n = read_position(std::strlen(line) > 9 ? line + 9 : "");
    if (n > 0)
        nMoves = n;
}

void on_go(const char *line)
{
    std::lock_guard<std::mutex> lock(state_mutex);
    if (go) {
        std::fputs("go ignored: a search is running\n", stderr);
        lputs("go ignored: a search is running");
        return;
    }
    const std::size_t kept = std::min(std::strlen(line), sizeof go_line - 1);
    std::memcpy(go_line, line, kept);
    go_line[kept] = 0;
    // The whole line is read here, so a long line cannot hide its time values.
    const GoCommand command = parse_go(line);
    const SearchLimits limits = search_limits(command, Reverse != 0, Countdown, MAX_DEPTH);
    RemainTime = limits.remain;
    Increment = limits.increment;
    Countdown = limits.countdown;
    NodeLimit = limits.nodes;
    go_depth = limits.depth;
    go_is_mate = command.mate;
    go_mate_time = command.mate_time;
    report_nodes = limits.nodes || command.depth > 0;

    go_is_ponder = command.ponder && !command.mate;
    ponder = go_is_ponder;
    result_dropped = false;
    AnalyzeMode = limits.analyze;
    AbortSearch = 0;
    ClockStartsAt(search_clock());
    complete = 0;
    search_accepted = true;
    go = 1;
}

void on_ponderhit()
{
    {
        std::lock_guard<std::mutex> lock(state_mutex);
        if (!ponder || result_dropped)
            return;  // no ponder search is waiting for this
        AnalyzeMode = 0;
        ResetClock();
        ponder = 0;
        if (!go)
            send_move();  // the ponder search has already ended
    }
    lputs("ponderhit");
}

[[noreturn]] void on_quit()
{
    if (log_enable)
        close_log();
    {
        std::lock_guard<std::mutex> lock(output_mutex);
        std::fflush(stdout);
        if (fp_usi_log)
            std::fclose(fp_usi_log);
        fp_usi_log = nullptr;
    }
    // End at once, even with a search running on the main thread.
    std::_Exit(0);
}

void usi_get()
{
    static char line[LINE_SIZE + 1];
    while (usi_gets(line)) {
        if (std::strncmp(line, "usi\n", 4) == 0)
            on_usi();
        else if (std::strncmp(line, "isready\n", 8) == 0)
            on_isready();
        else if (std::strncmp(line, "setoption ", 10) == 0)
            on_setoption(line);
        else if (std::strncmp(line, "usinewgame\n", 11) == 0)
            on_usinewgame();
        else if (std::strncmp(line, "gameover", 8) == 0)
            on_gameover(line);
        else if (std::strncmp(line, "stop\n", 5) == 0)
            on_stop();
        else if (std::strncmp(line, "position", 8) == 0)
            on_position(line);
        else if (std::strncmp(line, "go", 2) == 0)
            on_go(line);
        else if (std::strncmp(line, "ponderhit\n", 10) == 0)
            on_ponderhit();
        else if (std::strncmp(line, "quit\n", 5) == 0)
            on_quit();
    }
    // A front end that goes away must not leave the engine running.
    on_quit();
}

void open_usi_dump()
{
    std::FILE *fp = open_dated_file("_usi.log");
    if (!fp)
        return;
    std::lock_guard<std::mutex> lock(output_mutex);
    fp_usi_log = fp;
}

// Serves one accepted "go mate": its answer is the "checkmate" line, never a "bestmove".
void serve_mate()
{
    solve_go_mate(go_mate_time);
    std::lock_guard<std::mutex> lock(state_mutex);
    complete = 1;
    go = 0;
    // Only now: a front end may send the next "position" as soon as it reads the answer.
    send_checkmate();
    answer_pending_isready();
}

// Serves one accepted "go" on the main thread.
void serve_go()
{
    if (go_is_mate)
        return serve_mate();
    if (go_is_ponder) {
        char line[75];
        std::memset(line, '-', 74);
        line[74] = 0;
        lputs(line);
        lprintf("予測読み開始 予測手%s ", Reverse ? "▲" : "△");
        MovePrint(&bestmove[1], 1, nullptr);
    }
    bestmove[0] = bestmove[1] = 0;
    reset_node_counts();
    const int started = tick_count();
    const int result = Think(bestmove, go_depth);
    if (report_nodes)
        usi_printf("info nodes %lld time %d\n", static_cast<long long>(searched_nodes()), tick_count() - started);

    std::lock_guard<std::mutex> lock(state_mutex);
    ret_val = result;
    complete = 1;
    go = 0;
    if (!ponder)
        send_move();
    answer_pending_isready();
}

}  // namespace

void set_usi_dump(bool on)
{
    if (on && !fp_usi_log) {
        open_usi_dump();
    } else if (!on && fp_usi_log) {
        std::lock_guard<std::mutex> lock(output_mutex);
        std::fclose(fp_usi_log);
        fp_usi_log = nullptr;
    }
}

int usi_printf(const char *fmt, ...)
{
    char small[1024];
    va_list ap;
    va_start(ap, fmt);
    const int len = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (len < 0)
        return len;
    if (len < static_cast<int>(sizeof small))
        return write_protocol(small, len);
    std::vector<char> large(len + 1);
    va_start(ap, fmt);
    std::vsnprintf(large.data(), large.size(), fmt, ap);
    va_end(ap);
    return write_protocol(large.data(), len);
}

namespace {

// The moves of pv in USI notation after line's first len characters.
int append_pv(char *line, int size, int len, const int *pv)
{
    for (int i = 0; i < 32 && pv[i] != 0 && pv[i] != -1 && len < size; i++) {
        char m[8];
        print_move(pv[i], m);
        len += std::snprintf(line + len, size - len, "%s ", m);
    }
    return len;
}

}  // namespace

void usi_search_info(int depth, int seldepth, int multipv, int value, ScoreBound bound, const int *pv)
{
    const int time = std::max(ms_since_go(), 0);
    const long long nodes = searched_nodes();
    const long long nps = nodes * 1000 / std::max(time, 1);
    char score[48];
    int len = value > MATE_BOUND    ? std::snprintf(score, sizeof score, "mate %d", MATE - value)
              : value < -MATE_BOUND ? std::snprintf(score, sizeof score, "mate -%d", MATE + value)
                                    : std::snprintf(score, sizeof score, "cp %d", value);
    if (bound != ScoreBound::Exact)
        std::snprintf(score + len, sizeof score - len, bound == ScoreBound::Lower ? " lowerbound" : " upperbound");
    char multi[24] = "";
    if (multipv > 0)
        std::snprintf(multi, sizeof multi, " multipv %d", multipv);
    char line[640];
    len = std::snprintf(line, sizeof line, "info time %d depth %d seldepth %d%s nodes %lld score %s hashfull %d nps %lld pv ",
                        time, depth, std::max(seldepth, depth), multi, nodes, score, HashFull(), nps);
    append_pv(line, sizeof line, len, pv);
    usi_printf("%s\n", line);
}

void usi_book_info(int weight, const int *pv)
{
    char line[512];
    const int len = std::snprintf(line, sizeof line, "info nodes %d pv ", weight);
    append_pv(line, sizeof line, len, pv);
    usi_printf("%s\n", line);
}

void send_move()
{
    if (ret_val == THINK_RESIGN) {
        usi_printf("bestmove resign\n");
        return;
    }
    if (ret_val == THINK_WIN) {
        usi_printf("bestmove win\n");
        return;
    }
    char move[8], reply[8];
    print_move(bestmove[0], move);
    if (bestmove[1] != -1 && bestmove[1] != 0 && pondering) {
        print_move(bestmove[1], reply);
        usi_printf("bestmove %s ponder %s\n", move, reply);
    } else {
        usi_printf("bestmove %s\n", move);
    }
}

int engine_main()
{
    SearchReport report;
    report.iteration = usi_search_info;
    report.book_move = usi_book_info;
    report.mate = usi_mate_info;
    set_search_report(report);
    binary_standard_io();
    std::setbuf(stdin, nullptr);
    std::setbuf(stdout, nullptr);
    char conf_file[4096];
    const char *CONF_FILE = find_data_file(CONF_NAME, conf_file, sizeof conf_file);
    log_enable = GetConfInt("log_enable", 0, CONF_FILE);
    usi_dump = GetConfInt("usi_dump", 0, CONF_FILE);
    no_book = GetConfInt("no_book", 0, CONF_FILE);
    random_book = GetConfInt("random_book", 0, CONF_FILE);
    pondering = GetConfInt("pondering", 0, CONF_FILE);
    mate_probe = GetConfInt("mate_probe", 0, CONF_FILE);
    TimeMargin = GetConfInt("time_margin", -1, CONF_FILE);
    requested_hash_mib = GetConfInt("usi_hash", HASH_DEFAULT_MIB, CONF_FILE);
    MultiPV = std::clamp(GetConfInt("multipv", 1, CONF_FILE), 1, MAX_MULTI_PV);
    requested_threads = set_search_threads(GetConfInt("threads", 1, CONF_FILE));
    if (log_enable)
        open_log();
    if (usi_dump)
        open_usi_dump();
    lprintf("<<< Quorvin v.%s Velmora >>>\n", version);
    lputs("*** options");
    lprintf("no_book=%d\n", no_book);
    lprintf("random_book=%d\n", random_book);
    lprintf("pondering=%d\n", pondering);
    if (mate_probe)
        lprintf("mate_probe=%d\n", mate_probe);  // the default log keeps its five lines
    lputs("");
    lprintf("qvn.conf: %s\n", file_exists(CONF_FILE) ? CONF_FILE : "none");
    HashInit();
    char weight_file[4096];
    find_data_file("weight.dat", weight_file, sizeof weight_file);
    lprintf("weight.dat: %s\n", weight_file);
    InitEvalute(1, weight_file);
    GetConfString("EvalFile", EvalFile, sizeof EvalFile, CONF_FILE);
    if (std::strcmp(EvalFile, "<empty>") == 0)
        EvalFile[0] = 0;
    load_network();
    // The mate solver's table is had here, before any search ("mate_hash" in MiB).
    requested_mate_mib = GetConfInt("mate_hash", MATE_TABLE_DEFAULT_MIB, CONF_FILE);
    if (!mate_table_resize(requested_mate_mib))
        std::fputs("mate_hash: not enough memory; the mate solver's table is made at its first use\n", stderr);
    // A "go" before any "position" searches the initial position.
    nMoves = read_position("startpos");
    start_thread(usi_get);
    for (;;) {
        while (!go)
            sleep_ms(10);
        serve_go();
    }
}
