#include "tools/weight_text.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

namespace {

constexpr const char *kind_names[PIECE_KINDS] = {"pawn",   "lance",  "knight", "silver", "gold",
                                                 "bishop", "rook",   "horse",  "dragon"};
constexpr const char *type_names[16] = {"-",      "pawn",   "lance",  "knight", "silver", "gold",
                                        "bishop", "rook",   "king",   "tokin",  "prom. lance",
                                        "prom. knight", "prom. silver", "(none)", "horse", "dragon"};
constexpr int OFFENSE = 0, DEFENSE = 1;

// ---- dates (proleptic Gregorian, UTC) -------------------------------------------------

long days_from_civil(long y, int m, int d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(long z, long &y, int &m, int &d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

// ---- the token stream of a description --------------------------------------------------

struct Token {
    std::string text;
    int line;
};

std::vector<Token> tokenize(std::istream &in)
{
    std::vector<Token> tokens;
    std::string line;
    for (int n = 1; std::getline(in, line); n++) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.resize(hash);
        std::istringstream words(line);
        std::string w;
        while (words >> w)
            tokens.push_back({w, n});
    }
    return tokens;
}

bool to_number(const std::string &s, double &v)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return *end == 0 && std::isfinite(v);
}

// "DR:" with DR a whole number.
bool to_row_label(const std::string &s, int &row)
{
    if (s.size() < 2 || s.back() != ':')
        return false;
    const std::string body = s.substr(0, s.size() - 1);
    char *end = nullptr;
    const long v = std::strtol(body.c_str(), &end, 10);
    if (*end != 0)
        return false;
    row = static_cast<int>(std::clamp(v, -99L, 99L));
    return true;
}

int table_named(const std::string &name)
{
    for (int t = 0; t < WEIGHT_TABLES; t++)
        if (name == weight_tables[t].name)
            return t;
    return -1;
}

int kind_named(const std::string &name)
{
    for (int k = 0; k < PIECE_KINDS; k++)
        if (name == kind_names[k])
            return k;
    return -1;
}

bool is_square_table(int t) { return weight_tables[t].dims[2] == 81; }

// Flat square index (file-major) of the j-th value of a board block (rank rows, files 9..1).
int board_order_square(int j)
{
    const int rank = j / 9 + 1, file = 9 - j % 9;
    return 9 * (file - 1) + (rank - 1);
}

class Parser {
public:
    Parser(std::vector<Token> tokens, WeightSet &w) : tokens_(std::move(tokens)), w_(w) {}

    bool run(std::string &error)
    {
        bool given[WEIGHT_TABLES] = {};
        while (pos_ < tokens_.size()) {
            const Token &word = tokens_[pos_++];
            bool ok;
            if (word.text == "stamp")
                ok = stamp();
            else if (word.text == "table")
                ok = table(given);
            else if (word.text == "offense" || word.text == "defense")
                ok = king_relative(word.text == "offense" ? OFFENSE : DEFENSE);
            else if (word.text == "rank")
                ok = by_rank();
            else
                ok = fail(word.line, "unknown word '" + word.text + "'");
            if (!ok) {
                error = error_;
                return false;
            }
        }
        return true;
    }

private:
    bool fail(int line, const std::string &what)
    {
        error_ = "line " + std::to_string(line) + ": " + what;
        return false;
    }
    int line_here() const { return pos_ < tokens_.size() ? tokens_[pos_].line : (tokens_.empty() ? 0 : tokens_.back().line); }
    bool next_number(double &v)
    {
        if (pos_ < tokens_.size() && to_number(tokens_[pos_].text, v)) {
            pos_++;
            return true;
        }
        return false;
    }
    bool next_word(std::string &s)
    {
        if (pos_ >= tokens_.size())
            return false;
        s = tokens_[pos_++].text;
        return true;
    }

    bool stamp()
    {
        const int line = line_here();
        std::string first;
        if (!next_word(first))
            return fail(line, "stamp without a value");
        if (first.find('-') != std::string::npos) {
            std::string time;
            if (!next_word(time) || !parse_stamp_text(first, time, w_.stamp))
                return fail(line, "stamp: expected YYYY-MM-DD hh:mm:ss");
            return true;
        }
        char *end = nullptr;
        const unsigned long long v = std::strtoull(first.c_str(), &end, 10);
        if (*end != 0 || first[0] == '-' || v > 0xFFFFFFFFULL)
            return fail(line, "stamp: expected seconds since 1970 or YYYY-MM-DD hh:mm:ss");
        w_.stamp = static_cast<std::uint32_t>(v);
        return true;
    }

    bool table(bool *given)
    {
        const int line = line_here();
        std::string name;
        if (!next_word(name))
            return fail(line, "table without a name");
        const int t = table_named(name);
        if (t < 0)
            return fail(line, "no table named '" + name + "'");
        if (given[t])
            return fail(line, "table " + name + " is given twice");
        given[t] = true;
        double *out = w_.table(t);
        const int count = weight_tables[t].count;
        for (int i = 0; i < count; i++) {
            double v;
            if (!next_number(v))
                return fail(line_here(), "table " + name + ": " + std::to_string(count) + " values expected, " +
                                             std::to_string(i) + " found");
            const int at = is_square_table(t) ? i / 81 * 81 + board_order_square(i % 81) : i;
            out[at] = v;
        }
        return true;
    }

    bool king_relative(int which)
    {
        const int line = line_here();
        std::string name;
        if (!next_word(name) || kind_named(name) < 0)
            return fail(line, "expected a piece kind after offense/defense");
        const int kind = kind_named(name);
        double *table = w_.table(which == OFFENSE ? 0 : 1);
        int row;
        while (pos_ < tokens_.size() && to_row_label(tokens_[pos_].text, row)) {
            const int row_line = tokens_[pos_++].line;
            if (row < -8 || row > 8)
                return fail(row_line, "row " + std::to_string(row) + " is off the board (-8..8)");
            double v;
            for (int df = 0; next_number(v); df++) {
                if (df > 8)
                    return fail(row_line, "more than 9 file distances in a row");
                add_relative(table, kind, row, df, v);
            }
        }
        return true;
    }

    // Adds v for every king square and every square at rank distance dr, file distance df.
    static void add_relative(double *table, int kind, int dr, int df, double v)
    {
        for (int k = 0; k < 81; k++)
            for (int s = 0; s < 81; s++) {
                if (s == k)
                    continue;  // the king's own square never holds another piece
                const int kf = k / 9, kr = k % 9, sf = s / 9, sr = s % 9;
                if (sr - kr == dr && std::abs(sf - kf) == df)
                    table[(k * 9 + kind) * 81 + s] += v;
            }
    }

    bool by_rank()
    {
        const int line = line_here();
        std::string name;
        if (!next_word(name) || kind_named(name) < 0)
            return fail(line, "expected a piece kind after rank");
        const int kind = kind_named(name);
        double v[9];
        for (double &x : v)
            if (!next_number(x))
                return fail(line, "rank " + name + ": 9 values expected");
        double *table = w_.table(1);
        for (int k = 0; k < 81; k++)
            for (int s = 0; s < 81; s++)
                if (s != k)
                    table[(k * 9 + kind) * 81 + s] += v[s % 9];
        return true;
    }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    WeightSet &w_;
    std::string error_;
};

std::string number_text(double v)
{
    char buf[40];
    if (v == std::trunc(v) && std::fabs(v) < 1e15)
        std::snprintf(buf, sizeof buf, "%.0f", v == 0 ? 0.0 : v);
    else
        std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string square_name(int index)
{
    std::string s;
    s += static_cast<char>('1' + index / 9);
    s += static_cast<char>('a' + index % 9);
    return s;
}

void print_values(std::ostream &out, const double *v, int n)
{
    for (int i = 0; i < n; i++) {
        const std::string text = number_text(v[i]);
        out << (i ? " " : "  ") << std::string(text.size() < 5 ? 5 - text.size() : 0, ' ') << text;
    }
    out << '\n';
}

// The row labels of the small tables, as comments after each row.
std::string row_label(int t, int row)
{
    static const char *mobility[6] = {"forward slides (lances, rooks)", "backward slides (rooks)",
                                      "sideways slides (rooks)", "diagonal slides (bishops, horses)",
                                      "knight jumps", "silver backward steps"};
    static const char *pin_balance[4] = {"own attacks < enemy", "own = enemy", "own = enemy + 1",
                                         "own >= enemy + 2"};
    static const char *zone[13] = {"next, enemy ahead, own piece",     "next, enemy ahead, empty",
                                   "next, balanced, own piece",        "next, balanced, empty",
                                   "next, own ahead, own piece",       "next, own ahead, empty",
                                   "distance 2, enemy ahead, own piece", "distance 2, enemy ahead, empty",
                                   "distance 2, balanced, own piece",  "distance 2, balanced, empty",
                                   "distance 2, own ahead, own piece", "distance 2, own ahead, empty",
                                   "own attacks on the king's square (endgame)"};
    const std::string name = weight_tables[t].name;
    if (name == "Mobility")
        return mobility[row];
    if (name == "PinPieceValue")
        return std::string(type_names[row]) + ", distance 0..6";
    if (name == "PinAttacks")
        return pin_balance[row];
    if (name == "KingAttacks")
        return zone[row];
    if (name == "HandValue")
        return std::string(type_names[row]) + " in hand, count 0..7";
    return "";
}

struct TableStats {
    int nonzero = 0;
    double min = 0, max = 0, mean = 0;
};

TableStats stats_of(const double *v, int n)
{
    TableStats s;
    s.min = s.max = v[0];
    double sum = 0;
    for (int i = 0; i < n; i++) {
        s.nonzero += v[i] != 0;
        s.min = std::min(s.min, v[i]);
        s.max = std::max(s.max, v[i]);
        sum += v[i];
    }
    s.mean = sum / n;
    return s;
}

}  // namespace

bool parse_weight_text(std::istream &in, WeightSet &w, std::string &error)
{
    return Parser(tokenize(in), w).run(error);
}

void print_weight_summary(std::ostream &out, const WeightSet &w)
{
    char line[160];
    std::snprintf(line, sizeof line, "time stamp %u = %s UTC\n", w.stamp, stamp_text(w.stamp).c_str());
    out << line;
    std::snprintf(line, sizeof line, "%-14s %7s %7s %12s %12s %12s\n", "table", "values", "nonzero", "min", "max",
                  "mean");
    out << line;
    for (int t = 0; t < WEIGHT_TABLES; t++) {
        const TableStats s = stats_of(w.table(t), weight_tables[t].count);
        std::snprintf(line, sizeof line, "%-14s %7d %7d %12.2f %12.2f %12.3f\n", weight_tables[t].name,
                      weight_tables[t].count, s.nonzero, s.min, s.max, s.mean);
        out << line;
    }
}

void print_weight_text(std::ostream &out, const WeightSet &w)
{
    out << "# qvn evaluation weights: every table in full. Edit and write back with make_weight.\n";
    std::ostringstream summary;
    print_weight_summary(summary, w);
    std::istringstream lines(summary.str());
    for (std::string l; std::getline(lines, l);)
        out << "# " << l << '\n';
    out << "\nstamp " << stamp_text(w.stamp) << "\n";
    for (int t = 0; t < WEIGHT_TABLES; t++) {
        const WeightTable &wt = weight_tables[t];
        const double *v = w.table(t);
        out << "\ntable " << wt.name << "\n";
        if (is_square_table(t)) {
            out << "# [" << (t == 0 ? "enemy" : "own") << " king square][kind][square], as the piece's owner sees"
                << " the board:\n# each block is a board, ranks 1..9 downward, files 9..1 across\n";
            for (int k = 0; k < 81; k++)
                for (int kind = 0; kind < PIECE_KINDS; kind++) {
                    out << "# " << (t == 0 ? "enemy" : "own") << " king " << square_name(k) << ", "
                        << kind_names[kind] << '\n';
                    const double *block = v + (k * 9 + kind) * 81;
                    for (int r = 0; r < 9; r++) {
                        double row[9];
                        for (int c = 0; c < 9; c++)
                            row[c] = block[board_order_square(r * 9 + c)];
                        print_values(out, row, 9);
                    }
                }
            continue;
        }
        const int rows = wt.dims[1] == 1 ? 1 : wt.dims[0];
        const int cols = wt.count / rows;
        if (std::string(wt.name) == "PinPieceValue") {
            out << "# [type * 7 + distance to the own king]; rows of 7 by type (distance 7 is the next row's"
                << " first value)\n";
            for (int r = 0; r < 16; r++) {
                print_values(out, v + r * 7, 7);
                out << "#   ^ " << row_label(t, r) << '\n';
            }
            continue;
        }
        for (int r = 0; r < rows; r++) {
            print_values(out, v + r * cols, cols);
            const std::string label = rows > 1 ? row_label(t, r) : "";
            if (!label.empty())
                out << "#   ^ " << label << '\n';
        }
    }
}

bool write_weight_file(const std::string &name, const WeightSet &w)
{
    std::vector<unsigned char> bytes(WEIGHT_FILE_SIZE);
    for (int i = 0; i < WEIGHT_COUNT; i++) {
        const auto bits = std::bit_cast<std::uint64_t>(w.values[i]);
        for (int b = 0; b < 8; b++)
            bytes[8 * i + b] = static_cast<unsigned char>(bits >> (8 * b));
    }
    for (int b = 0; b < 4; b++)
        bytes[8 * WEIGHT_COUNT + b] = static_cast<unsigned char>(w.stamp >> (8 * b));
    std::FILE *fp = std::fopen(name.c_str(), "wb");
    if (!fp)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
    return std::fclose(fp) == 0 && ok;
}

bool read_weight_file(const std::string &name, WeightSet &w, std::string &warning)
{
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return false;
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    w = WeightSet{};
    if (static_cast<long>(bytes.size()) != WEIGHT_FILE_SIZE)
        warning = name + ": " + std::to_string(bytes.size()) + " bytes, expected " +
                  std::to_string(WEIGHT_FILE_SIZE) + "; values beyond its end read as 0";
    const std::size_t n = std::min<std::size_t>(bytes.size() / 8, WEIGHT_COUNT);
    for (std::size_t i = 0; i < n; i++) {
        std::uint64_t bits = 0;
        for (int b = 7; b >= 0; b--)
            bits = bits << 8 | bytes[8 * i + b];
        w.values[i] = std::bit_cast<double>(bits);
    }
    if (bytes.size() >= 8) {
        const unsigned char *s = bytes.data() + bytes.size() - 8;
        w.stamp = s[0] | s[1] << 8 | s[2] << 16 | static_cast<std::uint32_t>(s[3]) << 24;
    }
    return true;
}

std::string stamp_text(std::uint32_t stamp)
{
    long y;
    int m, d;
    civil_from_days(static_cast<long>(stamp / 86400), y, m, d);
    const std::uint32_t s = stamp % 86400;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04ld-%02d-%02d %02u:%02u:%02u", y, m, d, s / 3600, s / 60 % 60, s % 60);
    return buf;
}

bool parse_stamp_text(const std::string &date, const std::string &time, std::uint32_t &stamp)
{
    int y, m, d, hh, mm, ss;
    char tail;
    if (std::sscanf(date.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3 ||
        std::sscanf(time.c_str(), "%d:%d:%d%c", &hh, &mm, &ss, &tail) != 3)
        return false;
    if (m < 1 || m > 12 || d < 1 || d > 31 || hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59)
        return false;
    const long long seconds = days_from_civil(y, m, d) * 86400LL + hh * 3600 + mm * 60 + ss;
    if (seconds < 0 || seconds > 0xFFFFFFFFLL)
        return false;
    stamp = static_cast<std::uint32_t>(seconds);
    return true;
}
