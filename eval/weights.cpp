#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "eval/evalute.h"
#include "eval/weight_layout.h"
#include "log/log.h"
#include "platform/platform.h"

int OffensePos[81][9][81];
int DefensePos[81][9][81];
int Mobility[6][9];
int PinPieceValue[112];
int PinAttacks[4][3];
int KingAttacks[13][9];
int KingSpace[9];
int KingSpace2[9];
int AttackKei;
int AttackKaku;
int KingGuard[9];
int HandValue[8][8];

int piece_value[16];
int promote_value[8];
int mvv_lva[16][16];

namespace {

// Where each table of the file lands, in file order.
int *const table_data[WEIGHT_TABLES] = {
    &OffensePos[0][0][0], &DefensePos[0][0][0], &Mobility[0][0], PinPieceValue,
    &PinAttacks[0][0],    &KingAttacks[0][0],   KingSpace,       KingSpace2,
    &AttackKei,           &AttackKaku,          KingGuard,       &HandValue[0][0],
};

// A weight beyond this could overflow the sum of an evaluation; trained weights are
// a few thousand at most.
constexpr double WEIGHT_LIMIT = 1000000.0;

void report(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void report(const char *fmt, ...)
{
    char text[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    std::fputs(text, stderr);
    lprintf("%s", text);
}

double read_double(const unsigned char *b)
{
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; i--)
        bits = bits << 8 | b[i];  // little-endian on every host
    return std::bit_cast<double>(bits);
}

// Truncation toward zero; *bad counts values that were not finite or too large.
int to_weight(double d, int *bad)
{
    if (std::isnan(d)) {
        ++*bad;
        return 0;
    }
    if (d > WEIGHT_LIMIT || d < -WEIGHT_LIMIT) {
        ++*bad;
        d = d > 0 ? WEIGHT_LIMIT : -WEIGHT_LIMIT;
    }
    return static_cast<int>(d);
}

void load_weights(const char *file_name)
{
    for (int t = 0; t < WEIGHT_TABLES; t++)
        std::memset(table_data[t], 0, sizeof(int) * weight_tables[t].count);
    std::FILE *fp = std::fopen(file_name, "rb");
    if (!fp) {
        std::fputs("weight.dat read error.", stderr);
        return;
    }
    const long size = file_size(file_name);
    if (size < WEIGHT_FILE_SIZE)
        report("weight.dat: %ld bytes, expected %ld; the weights it does not hold are zero\n", size,
               WEIGHT_FILE_SIZE);
    else if (size > WEIGHT_FILE_SIZE)
        report("weight.dat: %ld bytes, expected %ld; the bytes after the tables are ignored\n", size,
               WEIGHT_FILE_SIZE);

    int bad = 0;
    bool more = true;
    for (int t = 0; t < WEIGHT_TABLES && more; t++) {
        int *out = table_data[t];
        for (int i = 0; i < weight_tables[t].count; i++) {
            unsigned char b[8];
            if (std::fread(b, 1, 8, fp) != 8) {
                more = false;
                break;
            }
            out[i] = to_weight(read_double(b), &bad);
        }
    }
    if (bad)
        report("weight.dat: %d weights were not numbers or beyond %.0f and were cut\n", bad, WEIGHT_LIMIT);

    unsigned char b[8];
    if (std::fseek(fp, -8, SEEK_END) == 0 && std::fread(b, 1, 8, fp) == 8) {
        const std::uint32_t low = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
        const std::time_t stamp = low;
        char text[32];
        time_text(stamp, text, sizeof text);  // ctime's format on every system
        lprintf("weight.dat %s", text);
    }
    std::fclose(fp);
}

void build_derived_tables()
{
    piece_value[0] = 0;
    for (int t = 1; t < 16; t++)
        piece_value[t] = PieceValue[t] + PieceValue[t & 7];
    for (int t = 0; t < 8; t++)
        promote_value[t] = 0;
    for (int t : {FU, KY, KE, GI, KA, HI})
        promote_value[t] = PieceValue[t + PROMOTE] - PieceValue[t];
    for (int v = 0; v < 16; v++)
        for (int a = 0; a < 16; a++)
            mvv_lva[v][a] = v && a ? PieceValue[v] - PieceValue[a] / 16 : 0;
}

}  // namespace

int weight_index(const int *w)
{
    for (int t = 0; t < WEIGHT_TABLES; t++)
        if (w >= table_data[t] && w < table_data[t] + weight_tables[t].count)
            return weight_tables[t].offset + static_cast<int>(w - table_data[t]);
    return -1;
}

int &weight_at(int index)
{
    int t = WEIGHT_TABLES - 1;
    while (t > 0 && index < weight_tables[t].offset)
        t--;
    return table_data[t][index - weight_tables[t].offset];
}

void InitEvalute(int flag, const char *file_name)
{
    // Found where the engine finds it, so that a tool started outside its folder (the bench)
    // reads the same weights rather than none.
    char path[4096];
    if (flag == 1)
        load_weights(find_data_file(file_name, path, sizeof path));
    build_derived_tables();
}
