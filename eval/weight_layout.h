// The layout of "weight.dat": twelve tables of little-endian doubles, back to back,
// then an 8-byte time stamp (seconds since 1970 UTC in the low 32 bits).
// Shared by the engine's loader and the weight tools so the two never disagree.
#pragma once

struct WeightTable {
    const char *name;
    int dims[3];   // unused trailing dimensions are 1
    int count;     // dims[0] * dims[1] * dims[2]
    int offset;    // in doubles from the start of the file
};

constexpr int WEIGHT_TABLES = 12;

inline constexpr WeightTable weight_tables[WEIGHT_TABLES] = {
    {"OffensePos", {81, 9, 81}, 59049, 0},
    {"DefensePos", {81, 9, 81}, 59049, 59049},
    {"Mobility", {6, 9, 1}, 54, 118098},
    {"PinPieceValue", {112, 1, 1}, 112, 118152},
    {"PinAttacks", {4, 3, 1}, 12, 118264},
    {"KingAttacks", {13, 9, 1}, 117, 118276},
    {"KingSpace", {9, 1, 1}, 9, 118393},
    {"KingSpace2", {9, 1, 1}, 9, 118402},
    {"AttackKei", {1, 1, 1}, 1, 118411},
    {"AttackKaku", {1, 1, 1}, 1, 118412},
    {"KingGuard", {9, 1, 1}, 9, 118413},
    {"HandValue", {8, 8, 1}, 64, 118422},
};

constexpr int WEIGHT_COUNT = 118486;                     // doubles in the file
constexpr long WEIGHT_FILE_SIZE = 8L * WEIGHT_COUNT + 8;  // 947,896 bytes with the stamp

constexpr bool layout_is_consistent()
{
    int offset = 0;
    for (const WeightTable &t : weight_tables) {
        if (t.offset != offset || t.count != t.dims[0] * t.dims[1] * t.dims[2])
            return false;
        offset += t.count;
    }
    return offset == WEIGHT_COUNT;
}
static_assert(layout_is_consistent());
static_assert(WEIGHT_FILE_SIZE == 947896);

// Kinds of the king-relative tables, indexed by piece type (-1: no kind).
inline constexpr int piece_kind[16] = {-1, 0, 1, 2, 3, 4, 5, 6, -1, 4, 4, 4, 4, -1, 7, 8};
constexpr int PIECE_KINDS = 9;
