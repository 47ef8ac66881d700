#include "search/mate_table.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "search/mate_search.h"

namespace mate {

std::uint32_t pack_hand(const int *hand)
{
    std::uint32_t h = 0;
    for (int t = FU; t <= HI; t++)
        h |= static_cast<std::uint32_t>(hand[t]) << hand_shift[t];
    return h;
}

std::uint32_t hand_max(std::uint32_t a, std::uint32_t b)
{
    for (int t = FU; t <= HI; t++)
        if (hand_get(b, t) > hand_get(a, t))
            a = hand_set(a, t, hand_get(b, t));
    return a;
}

std::uint32_t hand_min(std::uint32_t a, std::uint32_t b)
{
    for (int t = FU; t <= HI; t++)
        if (hand_get(b, t) < hand_get(a, t))
            a = hand_set(a, t, hand_get(b, t));
    return a;
}

namespace {

// ---- the table -----------------------------------------------------------------------
// pn 0: proved for every attacker's hand that holds at least `hand`; dn 0: disproved
// for every hand that holds at most `hand`; otherwise the numbers of exactly `hand`.
struct Entry {
    std::uint64_t key;  // board key, marked at defender nodes; 0: empty
    std::uint32_t hand;
    std::uint32_t pn, dn;
    std::uint32_t work;  // nodes spent below it: the cheapest entry is replaced first
    int move;            // the proving move of an attacker node
    std::uint16_t len;   // proved: plies to mate; disproved: the depth it holds for
    std::uint8_t rep;    // the disproof rests on a repetition met on some path
    std::uint8_t solve;  // the solve that wrote it: older entries count as empty
};
constexpr int WAYS = 8;
struct Cluster {
    Entry e[WAYS];
};
static_assert(sizeof(Cluster) == 256);

// calloc: a fresh large block comes zeroed from the system, untouched until used.
struct FreeTable {
    void operator()(Cluster *c) const { std::free(c); }
};
std::unique_ptr<Cluster[], FreeTable> table;
std::uint64_t table_mask = 0;
int table_size_mib = 0;
std::uint8_t solve_number = 0;  // of the current solve, 1..255; the table is cleared on wrapping

}  // namespace

Value probe(std::uint64_t key, std::uint32_t hand, int remaining)
{
    Cluster &c = table[key & table_mask];
    Value v;
    v.hand = hand;
    for (Entry &e : c.e) {
        if (e.key != key || e.solve != solve_number)
            continue;
        if (e.pn == 0) {
            // A mate longer than the plies left is no mate under the length limit.
            if (e.len <= remaining && hand_le(e.hand, hand))
                return Value{0, INF, e.hand, e.len, false, true};
            continue;
        }
        if (e.dn == 0) {
            if (e.len >= remaining && hand_le(hand, e.hand))
                return Value{INF, 0, e.hand, 0, e.rep != 0, true, e.len};
            continue;
        }
        if (e.hand == hand)
            v = Value{e.pn, e.dn, hand, 0, false, true};
    }
    return v;
}

void store(std::uint64_t key, std::uint32_t node_hand, const Value &v, int move, std::uint64_t work)
{
    Cluster &c = table[key & table_mask];
    Entry *slot = nullptr;
    for (Entry &e : c.e)
        if (e.key == key && e.solve == solve_number && (e.hand == node_hand || e.hand == v.hand)) {
            slot = &e;
            break;
        }
    if (!slot)
        for (Entry &e : c.e)
            if (e.solve != solve_number) {
                slot = &e;
                break;
            }
    if (!slot) {
        // Solved entries are worth keeping: they end whole subtrees.
        std::uint64_t least = ~0ull;
        for (Entry &e : c.e) {
            const std::uint64_t worth = e.work + ((e.pn == 0 || e.dn == 0) ? (1ull << 32) : 0);
            if (worth < least) {
                least = worth;
                slot = &e;
            }
        }
    }
    slot->key = key;
    slot->hand = (v.pn == 0 || v.dn == 0) ? v.hand : node_hand;
    slot->pn = v.pn;
    slot->dn = v.dn;
    slot->work = work > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(work);
    slot->move = move;
    slot->len = static_cast<std::uint16_t>(v.pn == 0 ? v.len : v.dn == 0 ? v.depth : 0);
    slot->rep = v.rep ? 1 : 0;
    slot->solve = solve_number;
}

void prefetch(std::uint64_t key)
{
    const char *cluster = reinterpret_cast<const char *>(&table[key & table_mask]);
    __builtin_prefetch(cluster);
    __builtin_prefetch(cluster + 128);
}

bool new_generation()
{
    if (!table)
        return false;
    if (++solve_number == 0) {
        std::memset(static_cast<void *>(table.get()), 0, (table_mask + 1) * sizeof(Cluster));
        solve_number = 1;
    }
    return true;
}

}  // namespace mate

bool mate_table_resize(int mib)
{
    if (mib < 1)
        mib = 1;
    std::uint64_t clusters = 1;
    while ((clusters * 2) * sizeof(mate::Cluster) <= static_cast<std::uint64_t>(mib) << 20)
        clusters *= 2;
    if (mate::table && clusters == mate::table_mask + 1)
        return true;
    mate::table.reset();  // the old table goes first: two need not fit at once
    mate::Cluster *fresh = static_cast<mate::Cluster *>(std::calloc(clusters, sizeof(mate::Cluster)));
    if (!fresh)
        return false;
    mate::table.reset(fresh);
    mate::table_mask = clusters - 1;
    mate::table_size_mib = mib;
    return true;
}

int mate_table_mib() { return mate::table_size_mib; }
