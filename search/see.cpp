#include "search/see.h"

#include "eval/evalute.h"

namespace {

// Attacker entries: bits 0-3 the type (promoted when the capture is taken to promote),
// bits 4-6 the depth on its ray (0 adjacent or knight), bit 7 the capture can promote.
constexpr int MARK = 0x80;
constexpr int MAX_ATTACKERS = 20;

// Order in which a side spends its attackers, cheapest first; pieces further down a
// ray come after every adjacent one, the king last of the adjacent ones.
constexpr auto piece_order = [] {
    struct Table {
        int v[128];
    } t{};
    constexpr int by_type[16] = {0, 1, 2, 3, 7, 9, 10, 11, 99, 4, 5, 6, 8, 9, 12, 13};
    for (int type = 0; type < 16; type++)
        t.v[type] = by_type[type];
    for (int k = 1; k <= 7; k++)
        for (int type = 0; type < 16; type++)
            t.v[16 * k + type] = 13 + k;
    return t;
}();

bool in_zone(int side, int sq) { return pro[side][sq & 15] != 0; }

struct AttackerList {
    int entry[MAX_ATTACKERS + 1];
    int n;
    void add(int e)
    {
        if (n < MAX_ATTACKERS)
            entry[n++] = e;
    }
};

int make_entry(const Position *p, int side, int from, int target, int depth)
{
    const bool mark = in_zone(side, from) || in_zone(side, target);
    return (p->board[from] & 15) | (depth << 4) | (mark ? MARK : 0);
}

// Pieces of side behind from on the ray that runs backward along direction d.
void add_ray(const Position *p, int side, int from, int target, int d, int depth, AttackerList *list)
{
    const int step = delta[side][d];
    const int *a = p->attack[side];
    int sq = from;
    while (a[sq] & (0x100 << d)) {
        do
            sq -= step;
        while (p->board[sq] == 0);
        list->add(make_entry(p, side, sq, target, depth++));
    }
}

void gather(const Position *p, int side, int target, AttackerList *list)
{
    const int word = p->attack[side][target];
    const int other = p->attack[side ^ 1][target];
    list->n = 0;
    for (int d = 0; d < 8; d++) {
        if (!(word & (1 << d)))
            continue;
        const int from = target - delta[side][d];
        // The king joins only where the other side cannot take it back.
        if (p->board[from] != (colour(side) | OU) || (other >> d) == 0)
            list->add(make_entry(p, side, from, target, 0));
        add_ray(p, side, from, target, d, 1, list);
    }
    for (int d = 0; d < 8; d++)
        if (word & (0x100 << d))
            add_ray(p, side, target, target, d, 1, list);
    for (int d = 16; d <= 17; d++)
        if (word & (0x10000 << (d - 16))) {
            const int from = target - delta[side][d];
            list->add((p->board[from] & 15) | (in_zone(side, target) ? MARK : 0));
        }

    for (int i = 0; i < list->n; i++) {
        int &e = list->entry[i];
        if (!(e & MARK))
            continue;
        if ((e & 8) || (e & 0x7F) == KI)
            e &= ~MARK;  // promoted pieces, the king and a gold cannot promote
        else
            e |= PROMOTE;
    }
    // Stable bubble sort, cheapest first.
    for (int i = 0; i < list->n - 1; i++)
        for (int j = 0; j < list->n - 1 - i; j++)
            if (piece_order.v[list->entry[j] & 127] > piece_order.v[list->entry[j + 1] & 127]) {
                const int t = list->entry[j];
                list->entry[j] = list->entry[j + 1];
                list->entry[j + 1] = t;
            }
    list->entry[list->n] = 0;
}

bool is_king(int e) { return (e & 0x7F) == OU; }

}  // namespace

int See(int sq, const Position *p)
{
    const int owner = (p->board[sq] & 16) ? 1 : 0;
    AttackerList attackers, defenders;
    gather(p, owner ^ 1, sq, &attackers);
    gather(p, owner, sq, &defenders);
    const int *A = attackers.entry, *D = defenders.entry;
    int occupant = p->board[sq] & 15;
    int score = 0, alpha = -30000, beta = 30000;
    for (;;) {
        if (is_king(*A) && *D)
            return beta == 30000 ? 100 : beta;
        if (occupant) {
            if (!*A) {
                if (occupant & MARK)
                    score += promote_value[occupant & 7];
                occupant = 0;
            } else {
                score -= piece_value[occupant & 15];
                occupant = *A++;
            }
        }
        if (score >= beta)
            return beta;
        if (score > alpha) {
            if (score > 0)
                return score;
            alpha = score;
        }
        if (is_king(*D) && *A)
            return alpha;
        if (occupant) {
            if (!*D) {
                if (occupant & MARK)
                    score -= promote_value[occupant & 7];
                occupant = 0;
            } else {
                score += piece_value[occupant & 15];
                occupant = *D++;
            }
        }
        if (score <= alpha)
            return alpha;
        if (score < beta)
            beta = score;
        if (beta < 0)
            return beta;
    }
}
