#include "eval/evalute.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "eval/get_grade.h"
#include "eval/network.h"
#include "eval/weight_layout.h"
#include "log/profile.h"

namespace {

// One cache entry, shared by every search thread: the high half of the key as a check word
// (bits 32-63) and the score (bits 0-31) in one word, read and written whole, so that a
// reader never pairs one position's check with another's score.
constexpr int EHASH_SIZE = 1 << 21;
constexpr std::uint32_t EHASH_MASK = EHASH_SIZE - 1;
std::atomic<std::uint64_t> ehash_tbl[EHASH_SIZE];  // 16 MiB

// 81-square index of each board square (file-major, as position_tbl lists them).
constexpr std::array<int, BOARD_SIZE> square_index = [] {
    std::array<int, BOARD_SIZE> a{};
    for (int i = 0; i < 81; i++)
        a[position_tbl[i]] = i;
    return a;
}();

// Used in place of the king-relative tables of a side that has no king.
constexpr int no_king_table[9][81] = {};

constexpr int absolute(int x) { return x < 0 ? -x : x; }

constexpr int distance(int a, int b)
{
    return std::max(absolute((a >> 4) - (b >> 4)), absolute((a & 15) - (b & 15)));
}

constexpr int cap8(int n) { return n < 8 ? n : 8; }

// The last element: a dragon pinned at distance 7 would read one past the table.
constexpr int PIN_LAST = 111;

// Counts of the sliding and jumping attack bits (8..17) of a mask by direction class,
// packed in 12-bit fields so that one addition per square counts all five classes:
// forward, backward, sideways, diagonal, knight jumps.
constexpr int CLASS_BITS = 12;
constexpr std::array<std::uint64_t, 1024> class_counts = [] {
    std::array<std::uint64_t, 1024> a{};
    for (int m = 0; m < 1024; m++) {
        const std::uint64_t forward = m & 1, backward = m >> 1 & 1, sideways = (m >> 2 & 1) + (m >> 3 & 1);
        const std::uint64_t diagonal = (m >> 4 & 1) + (m >> 5 & 1) + (m >> 6 & 1) + (m >> 7 & 1);
        const std::uint64_t jumps = (m >> 8 & 1) + (m >> 9 & 1);
        a[m] = forward | backward << CLASS_BITS | sideways << 2 * CLASS_BITS | diagonal << 3 * CLASS_BITS |
               jumps << 4 * CLASS_BITS;
    }
    return a;
}();
constexpr int class_count(std::uint64_t packed, int cls)
{
    return static_cast<int>(packed >> (cls * CLASS_BITS) & ((1 << CLASS_BITS) - 1));
}

// What one side has on the board, gathered in the pass over the squares.
struct Tally {
    int lances = 0, knights = 0, silvers = 0, bishops = 0, rooks = 0;  // bishops, rooks: promoted too
    int guards = 0;
    int knight_head = 1, bishop_head = 1;
    std::uint64_t reach = 0;  // class_counts summed over the squares not held by the side
    int silver_steps = 0;
    int zone[14] = {};
    int pin_balance[4] = {};
};

// Square index as side S sees the board.
template <int S>
constexpr int owner_index(int i)
{
    return S ? i : 80 - i;
}

// Score of everything on square sq for side S (positive: good for S), counting into t.
// Every weight read goes through list.take (a no-op for the engine's own evaluation).
template <int S, class L>
inline int square_terms(const Position *p, int sq, int i, const int (*offense)[81], const int (*defense)[81],
                        Tally &t, L &list)
{
    constexpr int sign = S ? 1 : -1;
    constexpr int own = S ? 16 : 32;
    const int word = p->board[sq];
    const int *own_attack = p->attack[S];
    const int *enemy_attack = p->attack[S ^ 1];
    const int king = p->king[S];
    int score = 0;

    if (word & own) {
        const int type = word & 15;
        const int kind = piece_kind[type];
        if (kind >= 0) {
            const int oi = owner_index<S>(i);
            score += PieceValue[type] + list.take(offense[kind][oi], sign) + list.take(defense[kind][oi], sign);
            const int front = sq + delta[S][0];
            switch (type) {
            case KY: t.lances++; break;
            case KE:
                t.knights++;
                if (own_attack[front] == 0)
                    t.knight_head = 0;
                break;
            case GI: t.silvers++; break;
            case KA:
                t.bishops++;
                if (own_attack[front] == 0)
                    t.bishop_head = 0;
                break;
            case UM: t.bishops++; break;
            case HI:
            case RY: t.rooks++; break;
            default: break;
            }
            if ((type == GI || type == KI) && king && absolute((sq & 15) - (king & 15)) <= 1 &&
                absolute((sq >> 4) - (king >> 4)) <= 3)
                t.guards++;
        }
    } else {
        // Squares the side's pieces reach, by direction class.
        const int a = own_attack[sq];
        t.reach += class_counts[(a >> 8) & 0x3FF];
        if ((a & 0x40) && p->board[sq - delta[S][6]] == (own | GI))
            t.silver_steps++;
        if ((a & 0x80) && p->board[sq - delta[S][7]] == (own | GI))
            t.silver_steps++;
    }

    if (!king)
        return score;
    const int d = distance(sq, king);
    const bool pinned = p->pin[S][sq] != 255;
    if (d > 2 && !pinned)
        return score;
    const int balance = get_ncnt(own_attack[sq]) - get_ncnt(enemy_attack[sq]);
    if (d == 1 || d == 2) {
        const int band = balance < 0 ? 0 : balance == 0 ? 1 : 2;
        const int cls = 6 * (d - 1) + 2 * band;
        if (word & own)
            t.zone[cls]++;
        else if (word == 0) {
            t.zone[cls + 1]++;
            if (enemy_attack[sq] == 0)
                t.zone[d == 1 ? 13 : 12]++;
        }
    }
    if (pinned) {
        score += list.take(PinPieceValue[std::min((word & 15) * 7 + d, PIN_LAST)], sign);
        t.pin_balance[balance < 0 ? 0 : balance == 0 ? 1 : balance == 1 ? 2 : 3]++;
    }
    return score;
}

// The terms of side S that follow from its tally, its hand and its king.
template <int S, class L>
int side_terms(const Position *p, Tally &t, L &list)
{
    constexpr int sign = S ? 1 : -1;
    const auto w = [&list](const int &weight) { return list.take(weight, sign); };
    int score = 0;
    const int sliders = t.lances + t.rooks;
    if (sliders > 0)
        score += w(Mobility[0][cap8(class_count(t.reach, 0) / sliders)]);
    if (t.rooks > 0) {
        score += w(Mobility[1][cap8(class_count(t.reach, 1) / t.rooks)]);
        score += w(Mobility[2][cap8(class_count(t.reach, 2) / t.rooks)]);
    }
    if (t.bishops > 0)
        score += w(Mobility[3][cap8(class_count(t.reach, 3) / t.bishops)]);
    if (t.knights > 0)
        score += w(Mobility[4][cap8(class_count(t.reach, 4) / t.knights)]);
    if (t.silvers > 0)
        score += w(Mobility[5][cap8(t.silver_steps / t.silvers)]);

    for (int type = FU; type <= HI; type++) {
        const int n = p->hand[S][type];
        score += PieceValue[type] * n + w(HandValue[type][std::clamp(n, 0, 7)]);
    }
    if (t.knight_head)
        score += w(AttackKei);
    if (t.bishop_head)
        score += w(AttackKaku);

    const int king = p->king[S];
    if (!king)
        return score;  // the king-zone terms need a king
    score += w(KingGuard[cap8(t.guards)]);
    for (int k = 6; k < 14; k++)
        t.zone[k] = cap8(t.zone[k]);
    for (int k = 0; k < 12; k++)
        score += w(KingAttacks[k][t.zone[k]]);
    for (int c = 0; c < 4; c++)
        if (t.pin_balance[c] > 0)
            score += w(PinAttacks[c][std::min(t.pin_balance[c] - 1, 2)]);
    if (Grade == 2) {
        score += w(KingSpace[t.zone[13]]) + w(KingSpace2[t.zone[12]]);
        score += w(KingAttacks[12][cap8(get_ncnt(p->attack[S][king]))]);
    }
    return score;
}

// The engine's own evaluation lists nothing.
struct NoList {
    static int take(const int &weight, int) { return weight; }
};

template <class L>
int evaluate(const Position *p, L &list)
{
    const int k1 = p->king[1], k0 = p->king[0];
    // Tables of each side's pieces, chosen once by the two king squares.
    const int(*offense1)[81] = k0 ? OffensePos[square_index[k0]] : no_king_table;
    const int(*defense1)[81] = k1 ? DefensePos[square_index[k1]] : no_king_table;
    const int(*offense0)[81] = k1 ? OffensePos[80 - square_index[k1]] : no_king_table;
    const int(*defense0)[81] = k0 ? DefensePos[80 - square_index[k0]] : no_king_table;

    Tally t1, t0;
    int score = 0;
    for (int i = 0; i < 81; i++) {
        const int sq = position_tbl[i];
        score += square_terms<1>(p, sq, i, offense1, defense1, t1, list);
        score -= square_terms<0>(p, sq, i, offense0, defense0, t0, list);
    }
    score += side_terms<1>(p, t1, list);
    score -= side_terms<0>(p, t0, list);
    return score;
}

}  // namespace

int EvaluteNoHash(const Position *p)
{
    NoList none;
    return evaluate(p, none);
}

int EvaluteFeatures(const Position *p, EvalFeatures *out)
{
    out->n = 0;
    return evaluate(p, *out);
}

int EvalFeatures::take(const int &weight, int coefficient)
{
    const int index = weight_index(&weight);
    if (index >= 0 && n < MAX_EVAL_FEATURES)
        feature[n++] = {index, coefficient};
    return weight;
}

namespace {

// The network's output from side 1's view; values stay clear of the mate scores.
constexpr int EVAL_LIMIT = 20000;
// Keeps the cache's values of a position apart by the side to move, which the network sees.
constexpr std::uint64_t SIDE0_KEY = 0x9E3779B97F4A7C15ULL;

int network_value(const Position *p, int side, const NetAccumulator *acc)
{
    NetAccumulator fresh;
    if (!acc) {
        net_refresh(Net, p, &fresh);
        acc = &fresh;
    }
    const int v = net_evaluate(Net, *acc, side);
    return side ? v : -v;
}

}  // namespace

int Evalute(const Position *p, int side, const NetAccumulator *acc)
{
    const std::uint64_t key = NetActive && side == 0 ? p->key ^ SIDE0_KEY : p->key;
    const auto low = static_cast<std::uint32_t>(key);
    const auto high = static_cast<std::uint32_t>(key >> 32);
    std::atomic<std::uint64_t> &e = ehash_tbl[low & EHASH_MASK];
    const std::uint64_t word = e.load(std::memory_order_relaxed);
    if (static_cast<std::uint32_t>(word >> 32) == high) {
        profile[14]++;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(word));
    }
    int score = EvaluteNoHash(p);
    if (NetActive)
        score = std::clamp(score + network_value(p, side, acc), -EVAL_LIMIT, EVAL_LIMIT);
    e.store(static_cast<std::uint64_t>(high) << 32 | static_cast<std::uint32_t>(score), std::memory_order_relaxed);
    profile[13]++;
    return score;
}

void EvaluteHashClear()
{
    // Only while no search thread runs: the words are cleared as plain memory.
    std::memset(static_cast<void *>(ehash_tbl), 0, sizeof ehash_tbl);
    profile[13] = 0;
    profile[14] = 0;
}
