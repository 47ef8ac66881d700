#include "movegen/make_check_nocap.h"

#include "movegen/gen_util.h"
#include "movegen/make_legal.h"

using namespace gen;

const int check_tbl[87][5] = {
    {GI, -32, -15, 1, 0x80}, {GI, -31, -16, 1, 0x20},
    {KE, -30, -16, 1, 0x20000}, {GI, -30, -15, 1, 0x20},
    {KE, -29, -15, 1, 0x20000}, {GI, -34, -17, 0, 0x80},
    {GI, -33, -16, 1, 0x80}, {GI, -32, -17, 0, 0x20},
    {GI, -32, -15, 0, 0x80}, {KI, -32, -16, 0, 0x08},
    {KI, -31, -15, 0, 0x08}, {KI, -31, -16, 0, 0x20},
    {GI, -30, -15, 0, 0x20}, {KI, -30, -15, 0, 0x20},
    {KE, -28, -14, 0, 0x20000}, {GI, -16, 1, 1, 0x80},
    {FU, -15, -16, 1, 0x01}, {FU, -14, -15, 1, 0x01},
    {GI, -14, -15, 1, 0x01}, {GI, -14, 1, 1, 0x20},
    {KE, -13, 1, 1, 0x20000}, {GI, -18, -1, 1, 0x80},
    {KI, -17, -16, 0, 0x02}, {KI, -17, -1, 0, 0x08},
    {GI, -16, -17, 0, 0x01}, {GI, -16, -1, 1, 0x20},
    {GI, -16, 1, 0, 0x80}, {KE, -15, -1, 1, 0x20000},
    {GI, -14, -15, 0, 0x01}, {GI, -14, 1, 0, 0x20},
    {KI, -14, -15, 0, 0x01}, {KI, -14, 1, 0, 0x20},
    {FU, 2, 1, 1, 0x01}, {KE, 2, -16, 1, 0x10000},
    {KE, 2, 16, 1, 0x20000}, {GI, 2, 1, 1, 0x01},
    {GI, 2, -15, 1, 0x10}, {GI, 2, 17, 1, 0x20},
    {KE, 3, -15, 1, 0x10000}, {KE, 3, 17, 1, 0x20000},
    {GI, -2, -17, 0, 0x40}, {GI, -2, 15, 0, 0x80},
    {KI, -2, -1, 0, 0x02}, {GI, -1, -16, 1, 0x40},
    {GI, -1, 16, 1, 0x80}, {FU, 2, 1, 0, 0x01},
    {GI, 2, 1, 0, 0x01}, {GI, 2, -15, 0, 0x10},
    {GI, 2, 17, 0, 0x20}, {KI, 2, 1, 0, 0x01},
    {KI, 2, -15, 0, 0x10}, {KI, 2, 17, 0, 0x20},
    {KE, 4, -14, 0, 0x10000}, {KE, 4, 18, 0, 0x20000},
    {GI, 16, 1, 1, 0x40}, {FU, 17, 16, 1, 0x01},
    {FU, 18, 17, 1, 0x01}, {GI, 18, 17, 1, 0x01},
    {GI, 18, 1, 1, 0x10}, {KE, 19, 1, 1, 0x10000},
    {GI, 14, -1, 1, 0x40}, {KI, 15, 16, 0, 0x02},
    {KI, 15, -1, 0, 0x04}, {GI, 16, 15, 0, 0x01},
    {GI, 16, -1, 1, 0x10}, {GI, 16, 1, 0, 0x40},
    {KE, 17, -1, 1, 0x10000}, {GI, 18, 17, 0, 0x01},
    {GI, 18, 1, 0, 0x10}, {KI, 18, 17, 0, 0x01},
    {KI, 18, 1, 0, 0x10}, {GI, 32, 17, 1, 0x40},
    {GI, 33, 16, 1, 0x10}, {KE, 34, 16, 1, 0x10000},
    {GI, 34, 17, 1, 0x10}, {KE, 35, 17, 1, 0x10000},
    {GI, 30, 15, 0, 0x40}, {GI, 31, 16, 1, 0x40},
    {GI, 32, 15, 0, 0x10}, {GI, 32, 17, 0, 0x40},
    {KI, 32, 16, 0, 0x04}, {KI, 33, 17, 0, 0x04},
    {KI, 33, 16, 0, 0x10}, {GI, 34, 17, 0, 0x10},
    {KI, 34, 17, 0, 0x10}, {KE, 36, 18, 0, 0x10000},
    {0, 0, 0, 0, 0},
};

namespace {

// Marks of a square around the enemy king: bit d (0-7) the empty contact square d, bit
// 8 + d a square of line d (the empty squares from the king outward against direction d).
constexpr int ORTH_CONTACT = 0x000F, DIAG_CONTACT = 0x00F0, GOLD_CONTACT_NOT_BEHIND = 0x003D;
constexpr int ORTH_LINE = 0x0F00, DIAG_LINE = 0xF000;

template <int S>
int make_checks(const Position *p, int *list)
{
    const int k = p->king[S ^ 1];
    if (k == 0)
        return 0;
    const int *b = p->board;
    const int *pin = p->pin[S];
    int *out = list;

    unsigned short mark[BOARD_SIZE] = {};
    int contact[8], line[8][8], line_len[8], blocker[8];
    for (int d = 0; d < 8; d++) {
        const int st = step<S>(d);
        int sq = k - st;
        contact[d] = b[sq] == 0 ? sq : 0;
        if (contact[d])
            mark[sq] |= 1 << d;
        int n = 0;
        for (; b[sq] == 0; sq -= st) {
            line[d][n++] = sq;
            mark[sq] |= 0x100 << d;
        }
        line_len[d] = n;
        blocker[d] = sq;
    }

    // 1. One-step checks from the table.
    for (int i = 0; check_tbl[i][0]; i++) {
        const int *row = check_tbl[i];
        const int from = S ? k + row[1] : k - row[1];
        const int to = S ? k + row[2] : k - row[2];
        if (!on_board(from) || !on_board(to))
            continue;
        const int w = b[from];
        if ((w & 0x30) != OWN<S>)
            continue;
        const int type = w & 15;
        if (type != row[0] && !(row[0] == KI && type >= TO && type <= NG))
            continue;
        if (pin[from] != 255 && !(pin[from] & row[4]))
            continue;
        if (b[to] != 0)
            continue;
        if (row[3]) {
            if (in_zone<S>(to) || in_zone<S>(from))
                *out++ = word(from, to, type, 0) | MOVE_PROMOTE;
        } else {
            *out++ = word(from, to, type, 0);
        }
    }

    // The long-range pieces, in square order.
    int lances[4], bishops[2], horses[2], rooks[2], dragons[2];
    int nl = 0, nb = 0, nh = 0, nr = 0, nd = 0;
    for (int sq : position_tbl) {
        const int w = b[sq];
        if ((w & 0x30) != OWN<S>)
            continue;
        switch (w & 15) {
        case KY: if (nl < 4) lances[nl++] = sq; break;
        case KA: if (nb < 2) bishops[nb++] = sq; break;
        case UM: if (nh < 2) horses[nh++] = sq; break;
        case HI: if (nr < 2) rooks[nr++] = sq; break;
        case RY: if (nd < 2) dragons[nd++] = sq; break;
        default: break;
        }
    }

    // 2. Lances: promotions onto a square beside or in front of the king.
    for (int i = 0; i < nl; i++) {
        const int from = lances[i];
        if (!(pin[from] & 0x01))
            continue;
        for (int t = from + step<S>(0); b[t] == 0; t += step<S>(0))
            if ((mark[t] & GOLD_CONTACT_NOT_BEHIND) && in_zone<S>(t))
                *out++ = word(from, t, KY, 0) | MOVE_PROMOTE;
    }
    // 3. Bishops: onto a diagonal line, or promoting next to the king orthogonally.
    for (int i = 0; i < nb; i++) {
        const int from = bishops[i];
        const bool oz = in_zone<S>(from);
        for (int d = 4; d < 8; d++) {
            if (!(pin[from] & (1 << d)))
                continue;
            for (int t = from + step<S>(d); b[t] == 0; t += step<S>(d)) {
                const bool promote = oz || in_zone<S>(t);
                if (mark[t] & DIAG_LINE)
                    *out++ = word(from, t, KA, 0) | (promote ? MOVE_PROMOTE : 0);
                else if ((mark[t] & ORTH_CONTACT) && promote)
                    *out++ = word(from, t, KA, 0) | MOVE_PROMOTE;
            }
        }
    }
    // 4. Horses: the forward step, then the diagonal slides.
    for (int i = 0; i < nh; i++) {
        const int from = horses[i];
        if (pin[from] & 0x01) {
            const int t = from + step<S>(0);
            if (b[t] == 0 && (mark[t] & (DIAG_LINE | ORTH_CONTACT)))
                *out++ = word(from, t, UM, 0);
        }
        for (int d = 4; d < 8; d++) {
            if (!(pin[from] & (1 << d)))
                continue;
            for (int t = from + step<S>(d); b[t] == 0; t += step<S>(d))
                if (mark[t] & (DIAG_LINE | ORTH_CONTACT))
                    *out++ = word(from, t, UM, 0);
        }
    }
    // 5. Rooks: onto an orthogonal line, or promoting next to the king diagonally.
    for (int i = 0; i < nr; i++) {
        const int from = rooks[i];
        const bool oz = in_zone<S>(from);
        for (int d = 0; d < 4; d++) {
            if (!(pin[from] & (1 << d)))
                continue;
            for (int t = from + step<S>(d); b[t] == 0; t += step<S>(d)) {
                const bool promote = oz || in_zone<S>(t);
                if (mark[t] & ORTH_LINE)
                    *out++ = word(from, t, HI, 0) | (promote ? MOVE_PROMOTE : 0);
                else if ((mark[t] & DIAG_CONTACT) && promote)
                    *out++ = word(from, t, HI, 0) | MOVE_PROMOTE;
            }
        }
    }
    // 6. Dragons: the diagonal steps, then the orthogonal slides.
    for (int i = 0; i < nd; i++) {
        const int from = dragons[i];
        for (int d = 4; d < 8; d++) {
            const int t = from + step<S>(d);
            if ((pin[from] & (1 << d)) && b[t] == 0 && (mark[t] & (ORTH_LINE | DIAG_CONTACT)))
                *out++ = word(from, t, RY, 0);
        }
        for (int d = 0; d < 4; d++) {
            if (!(pin[from] & (1 << d)))
                continue;
            for (int t = from + step<S>(d); b[t] == 0; t += step<S>(d))
                if (mark[t] & (ORTH_LINE | DIAG_CONTACT))
                    *out++ = word(from, t, RY, 0);
        }
    }

    // 7. Discovered checks: an own piece between an own slider and the king leaves the line.
    for (int d = 0; d < 8; d++) {
        const int x = blocker[d];
        const int w = b[x];
        if ((w & 0x30) != OWN<S> || !((p->attack[S][x] >> 8) & pin_dirs[S][d]))
            continue;
        const int dirs = (w & 15) == KE ? pin[x] : pin[x] & ~pin_dirs[S][d];
        out += move_sub_quiet(S, x, dirs, p, out);
    }

    // 8. Checking drops.
    const int *hand = p->hand[S];
    if (hand[FU] && contact[0]) {
        const int file = k & 0xF0;
        bool pawn_on_file = false;
        for (int r = S ? 2 : 1; r <= (S ? 9 : 8); r++)
            pawn_on_file |= b[file + r] == (OWN<S> | FU);
        if (!pawn_on_file)
            *out++ = drop_word(contact[0], FU);
    }
    if (hand[KY])
        for (int i = 0; i < line_len[0]; i++)
            *out++ = drop_word(line[0][i], KY);
    if (hand[KE]) {
        for (int j = 16; j <= 17; j++) {
            const int sq = k - step<S>(j);
            if (on_board(sq) && b[sq] == 0)
                *out++ = drop_word(sq, KE);
        }
    }
    if (hand[GI]) {
        static constexpr int silver_contacts[5] = {0, 4, 5, 6, 7};
        for (int d : silver_contacts)
            if (contact[d])
                *out++ = drop_word(contact[d], GI);
    }
    if (hand[KI])
        for (int d = 0; d < 6; d++)
            if (contact[d])
                *out++ = drop_word(contact[d], KI);
    if (hand[KA])
        for (int d = 4; d < 8; d++)
            for (int i = 0; i < line_len[d]; i++)
                *out++ = drop_word(line[d][i], KA);
    if (hand[HI])
        for (int d = 0; d < 4; d++)
            for (int i = 0; i < line_len[d]; i++)
                *out++ = drop_word(line[d][i], HI);

    // 9. A move found twice keeps its last copy.
    const int n = static_cast<int>(out - list);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
            if (list[i] == list[j]) {
                list[i] = 0;
                break;
            }
    return n;
}

}  // namespace

int MakeChecksNoncap(int side, const Position *p, int *list)
{
    return side ? make_checks<1>(p, list) : make_checks<0>(p, list);
}
