// The position record, the move word and the constant tables of the board.
//
// Squares are file * 16 + rank (file 1..9 = USI digit, rank 1..9 = USI letter a..i),
// surrounded by wall squares holding WALL so that slides stop on a test against 0.
// The engine always searches as side 1 (the first player, moving toward rank 1);
// when it plays second the game is entered turned 180 degrees and Reverse is set.
#pragma once

#include <cstdint>

// ---- sides, colours, square words -------------------------------------------------
constexpr int BOARD_SIZE = 171;
constexpr int WALL = 48;                          // both colour bits
constexpr int colour(int side) { return side ? 16 : 32; }
constexpr int piece_type(int word) { return word & 15; }

// ---- piece types ------------------------------------------------------------------
enum PieceType : int {
    EMPTY = 0, FU = 1, KY = 2, KE = 3, GI = 4, KI = 5, KA = 6, HI = 7, OU = 8,
    TO = 9, NY = 10, NK = 11, NG = 12, UM = 14, RY = 15,
};
constexpr int PROMOTE = 8;                        // type | PROMOTE is the promoted type

// ---- the move word ------------------------------------------------------------------
// bits 0-7 from (0 for a drop), 8-15 to, 16-19 piece (unpromoted), 20-23 captured
// (as on the board), 24 promote, 25-28 annotations of the ordering.
constexpr int FLAG_KILLER = 0x2000000;
constexpr int FLAG_FORCED = 0x4000000;
constexpr int FLAG_CHECK = 0x8000000;
constexpr int FLAG_BADCAP = 0x10000000;
constexpr int MOVE_MASK = 0x1FFFFFF;
constexpr int MOVE_PROMOTE = 0x1000000;
constexpr int MOVE_END = -1;                      // ends a move list or a principal variation

constexpr int move_from(int m) { return m & 0xFF; }
constexpr int move_to(int m) { return (m >> 8) & 0xFF; }
constexpr int move_piece(int m) { return (m >> 16) & 0xF; }
constexpr int move_cap(int m) { return (m >> 20) & 0xF; }
constexpr bool move_is_promote(int m) { return (m & MOVE_PROMOTE) != 0; }
constexpr int make_move(int from, int to, int piece, int cap, bool promote)
{
    return from | (to << 8) | (piece << 16) | (cap << 20) | (promote ? MOVE_PROMOTE : 0);
}

// ---- constant tables --------------------------------------------------------------
// Steps by side and side-relative direction: 0 forward, 1 backward, 2/3 sideways,
// 4/5 forward diagonals, 6/7 backward diagonals, 8-15 the same for slides,
// 16/17 the knight's jumps. Side 1's row is side 0's negated.
inline constexpr int delta[2][18] = {
    {1, -1, 16, -16, 17, -15, 15, -17, 1, -1, 16, -16, 17, -15, 15, -17, 18, -14},
    {-1, 1, -16, 16, -17, 15, -15, 17, -1, 1, -16, 16, -17, 15, -15, 17, -18, 14},
};
// The two directions of the line through direction d.
inline constexpr int pin_dirs[2][8] = {
    {0x03, 0x03, 0x0C, 0x0C, 0x90, 0x60, 0x60, 0x90},
    {0x03, 0x03, 0x0C, 0x0C, 0x90, 0x60, 0x60, 0x90},
};
// pro[s][rank]: rank is in side s's promotion zone; unpro: a playable rank outside it.
inline constexpr int pro[2][11] = {
    {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0},
    {0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
};
inline constexpr int unpro[2][11] = {
    {0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0},
    {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 0},
};
// The 81 playable squares, file 1 rank 1..9, then file 2, ... file 9.
inline constexpr int position_tbl[81] = {
    17,  18,  19,  20,  21,  22,  23,  24,  25,  33,  34,  35,  36,  37,  38,  39,  40,
    41,  49,  50,  51,  52,  53,  54,  55,  56,  57,  65,  66,  67,  68,  69,  70,  71,
    72,  73,  81,  82,  83,  84,  85,  86,  87,  88,  89,  97,  98,  99,  100, 101, 102,
    103, 104, 105, 113, 114, 115, 116, 117, 118, 119, 120, 121, 129, 130, 131, 132, 133,
    134, 135, 136, 137, 145, 146, 147, 148, 149, 150, 151, 152, 153,
};
inline constexpr int PieceValue[16] = {
    0, 128, 473, 552, 690, 765, 920, 1017, 9999, 843, 712, 762, 736, 0, 1161, 1236,
};
// Piece names for the diagnostic printouts (written to the log in Shift_JIS).
inline constexpr const char *koma[16] = {
    "　", "歩", "香", "桂", "銀", "金", "角", "飛", "玉", "と", "杏", "圭", "全", "嘘", "馬", "龍",
};

constexpr bool on_board(int sq) { return sq >= 17 && sq <= 153 && (sq & 15) >= 1 && (sq & 15) <= 9; }
constexpr int mirror_square(int sq) { return 170 - sq; }

// ---- the position record ----------------------------------------------------------
// One record per ply; copied whole to make a move (no undo). 882 32-bit words.
struct Position {
    int board[BOARD_SIZE];
    int hand[2][8];              // hand[side][type 1..7]
    int pin[2][BOARD_SIZE];      // 255 = free, else the mask of the line it is pinned on
    int attack[2][BOARD_SIZE];   // attacker bits by direction, walls included
    int king[2];                 // 0 when the side has no king
    int last_move;
    int hash_move;
    int eval;                    // carried through the quiescence search
    std::uint64_t board_key;
    std::uint64_t hand_key;
    std::uint64_t key;           // board_key ^ hand_key
};
static_assert(sizeof(Position) == 882 * 4, "the record is 882 words");

constexpr int MAX_PLY = 32;
extern Position Trunk[MAX_PLY + 1];
extern int Reverse;              // the engine plays the second player
extern int nMoves;               // move number of the root position Trunk[0]

// True when side's king stands attacked (a side without a king is never in check).
inline bool in_check(int side, const Position *p)
{
    return p->king[side] != 0 && p->attack[side ^ 1][p->king[side]] != 0;
}
// True when, in the position after its move, side attacks the opponent's king.
inline bool gives_check(int side, const Position *child) { return in_check(side ^ 1, child); }
// Pieces in side's hand, all types.
inline int hand_count(const Position *p, int side)
{
    int n = 0;
    for (int t = 1; t <= 7; t++)
        n += p->hand[side][t];
    return n;
}

// Sets up the initial position (walls, pieces, empty hands) in p; keys and attacks untouched.
void set_initial_board(Position *p);
// Clears board and hands and writes the walls.
void clear_board(Position *p);
