#include "frontend/usi_option.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "book/book_probe.h"
#include "eval/evalute.h"
#include "eval/network.h"
#include "frontend/usi.h"
#include "hash/hash.h"
#include "log/log.h"
#include "platform/platform.h"
#include "search/mate_search.h"
#include "search/params.h"
#include "search/qvn.h"
#include "search/root_search.h"
#include "search/threads.h"
#include "search/time_budget.h"

int requested_hash_mib = HASH_DEFAULT_MIB;
int requested_mate_mib = MATE_TABLE_DEFAULT_MIB;
int requested_threads = 1;

void load_network();

namespace {

enum class Kind { Check, Spin, String };

struct Option {
    const char *name;
    Kind kind;
    int *number;  // check and spin
    int min, max;
    void (*changed)();  // what a new value sets going, or null
    char *text = nullptr;  // string
    int text_size = 0;
};

void log_changed()
{
    if (log_enable && !fp_log)
        open_log();
    else if (!log_enable && fp_log)
        close_log();
}

void dump_changed() { set_usi_dump(usi_dump != 0); }

// The helpers' workers are had here, never during a search ("setoption" waits for its end).
void threads_changed() { requested_threads = set_search_threads(requested_threads); }


const Option options[] = {
    {"no_book", Kind::Check, &no_book, 0, 1, nullptr},
    {"book_file", Kind::String, nullptr, 0, 0, nullptr, BookFile, sizeof BookFile},
    {"random_book", Kind::Check, &random_book, 0, 1, nullptr},
    {"log_enable", Kind::Check, &log_enable, 0, 1, log_changed},
    {"usi_dump", Kind::Check, &usi_dump, 0, 1, dump_changed},
    {"pondering", Kind::Check, &pondering, 0, 1, nullptr},
    {"time_margin", Kind::Spin, &TimeMargin, -1, 60000, nullptr},
    {"USI_Hash", Kind::Spin, &requested_hash_mib, 1, HASH_MAX_MIB, nullptr},
    {"mate_hash", Kind::Spin, &requested_mate_mib, 1, 4096, nullptr},
    {"mate_probe", Kind::Spin, &mate_probe, 0, 60000, nullptr},
    {"Threads", Kind::Spin, &requested_threads, 1, MAX_THREADS, threads_changed},
    {"MultiPV", Kind::Spin, &MultiPV, 1, MAX_MULTI_PV, nullptr},
    {"EvalFile", Kind::String, nullptr, 0, 0, load_network, EvalFile, sizeof EvalFile},
};
// GUIs send USI_Ponder on their own: it sets the same flag as "pondering".
const Option usi_ponder = {"USI_Ponder", Kind::Check, &pondering, 0, 1, nullptr};

// A tuning build's search constants, as spin options.
const Option *find_param(const char *name)
{
    static Option found;
    for (int i = 0; tuning_build && i < param_count(); i++) {
        const ParamInfo &p = param_table()[i];
        if (strcasecmp(p.name, name) == 0) {
            found = {p.name, Kind::Spin, p.value, p.min, p.max, nullptr};
            return &found;
        }
    }
    return nullptr;
}

const Option *find_option(const char *name)
{
    for (const Option &o : options)
        if (strcasecmp(o.name, name) == 0)
            return &o;
    return strcasecmp(usi_ponder.name, name) == 0 ? &usi_ponder : find_param(name);
}

// A whole-line integer; false when the text is none.
bool read_int(const char *text, int *out)
{
    errno = 0;
    char *end;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || errno || v < -0x3FFFFFFF || v > 0x3FFFFFFF)
        return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

void load_network()
{
    // Cached values may be of the evaluation before.
    EvaluteHashClear();
    if (!EvalFile[0]) {
        NetActive = false;
        lputs("EvalFile: none, the linear evaluation alone");
        return;
    }
    char path[EVAL_FILE_SIZE];
    find_data_file(EvalFile, path, sizeof path);
    std::string error;
    if (NetLoad(path, &error)) {
        lprintf("EvalFile: %s (%d hidden)\n", path, Net.hidden);
        return;
    }
    std::fprintf(stderr, "EvalFile: %s; the engine plays on the linear evaluation alone\n", error.c_str());
    lprintf("EvalFile: %s; the engine plays on the linear evaluation alone\n", error.c_str());
}

void print_options()
{
    for (const Option &o : options) {
        switch (o.kind) {
        case Kind::Check:
            usi_printf("option name %s type check default %s\n", o.name, *o.number ? "true" : "false");
            break;
        case Kind::Spin:
            usi_printf("option name %s type spin default %d min %d max %d\n", o.name, *o.number, o.min, o.max);
            break;
        case Kind::String:
            usi_printf("option name %s type string default %s\n", o.name, o.text[0] ? o.text : "<empty>");
            break;
        }
    }
    for (int i = 0; tuning_build && i < param_count(); i++) {
        const ParamInfo &p = param_table()[i];
        usi_printf("option name %s type spin default %d min %d max %d\n", p.name, *p.value, p.min, p.max);
    }
}

void set_option(const char *line)
{
    // "setoption name <id> value <x>": the id is one word; the value is the rest of the line.
    char text[1024];
    std::snprintf(text, sizeof text, "%s", line);
    text[std::strcspn(text, "\r\n")] = 0;
    char *name = std::strstr(text, " name ");
    if (!name) {
        std::fprintf(stderr, "setoption without a name ignored\n");
        return;
    }
    name += 6;
    while (*name == ' ')
        name++;
    char *value = std::strstr(name, " value ");
    if (value) {
        *value = 0;
        value += 7;
        while (*value == ' ')
            value++;
    }
    for (char *end = name + std::strlen(name); end > name && end[-1] == ' ';)
        *--end = 0;
    const Option *o = find_option(name);
    if (!o) {
        std::fprintf(stderr, "unknown option %s ignored\n", name);
        return;
    }
    const char *v = value ? value : "";
    int number = 0;
    if (o->kind == Kind::String) {
        if (std::strlen(v) >= static_cast<std::size_t>(o->text_size)) {
            std::fprintf(stderr, "option %s: value longer than %d characters ignored\n", o->name, o->text_size - 1);
            return;
        }
        std::snprintf(o->text, o->text_size, "%s", std::strcmp(v, "<empty>") == 0 ? "" : v);
        lprintf("%s=%s\n", o->name, o->text);
        if (o->changed)
            o->changed();
        return;
    }
    if (o->kind == Kind::Check) {
        if (strcasecmp(v, "true") == 0)
            number = 1;
        else if (strcasecmp(v, "false") != 0) {
            std::fprintf(stderr, "option %s: value '%s' is not true or false, ignored\n", o->name, v);
            return;
        }
    } else if (!read_int(v, &number) || number < o->min || number > o->max) {
        std::fprintf(stderr, "option %s: value '%s' is not a number from %d to %d, ignored\n", o->name, v,
                     o->min, o->max);
        return;
    }
    *o->number = number;
    lprintf("%s=%d\n", o->name, number);
    if (o->changed)
        o->changed();

}
