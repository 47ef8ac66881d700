// The transposition table: 2^21 buckets of four entries, aged by search.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hash/hash.h"
#include "platform/platform.h"
#include "search/pv.h"

HashEntry (*hash_tbl)[HASH_WAYS];
std::uint32_t hash_buckets;
std::uint8_t SearchAge;

namespace {

// Sizes in std::size_t: long has 32 bits on Windows, too few for a table of 2 GiB or more.
constexpr std::size_t BUCKET_BYTES = sizeof(HashEntry) * HASH_WAYS;  // 64: one cache line

// Statistics words of profile.
constexpr int PROBES = 7, HITS = 8, USE0 = 9, USE1 = 10, USE2 = 11, COLLISION = 12;

int current_age() { return SearchAge & 15; }
int entry_age(const HashEntry &e) { return e.flags >> 4; }

// The key as stored: complemented when side 0 is to move.
std::uint64_t stored_key(int side, const Position *p) { return side ? p->key : ~p->key; }

// The bucket depends on the uncomplemented key, so both sides to move share it.
HashEntry *bucket_of(const Position *p) { return hash_tbl[static_cast<std::uint32_t>(p->key) & (hash_buckets - 1)]; }

bool holds(const HashEntry &e, std::uint64_t key)
{
    return e.key_low == static_cast<std::uint32_t>(key) && e.key_high == static_cast<std::uint32_t>(key >> 32);
}

bool is_empty(const HashEntry &e) { return e.key_low == 0 && e.key_high == 0; }

// Shallowest entry that may be replaced, preferring entries of earlier searches.
HashEntry *victim(HashEntry *bucket)
{
    HashEntry *best = nullptr;
    for (int i = 0; i < HASH_WAYS; i++) {
        HashEntry &e = bucket[i];
        if (entry_age(e) != current_age() && e.depth < HASH_KEEP_DEPTH && (!best || e.depth < best->depth))
            best = &e;
    }
    if (best)
        return best;
    for (int i = 0; i < HASH_WAYS; i++) {
        HashEntry &e = bucket[i];
        if (e.depth < HASH_KEEP_DEPTH && (!best || e.depth < best->depth))
            best = &e;
    }
    return best;
}

}  // namespace

long hash_entry_count() { return static_cast<long>(hash_buckets) * HASH_WAYS; }

int HashResize(int mib)
{
    mib = std::clamp(mib, 1, HASH_MAX_MIB);
    std::uint32_t buckets = 1;
    while (buckets * 2 * BUCKET_BYTES <= (static_cast<std::size_t>(mib) << 20))
        buckets *= 2;
    if (buckets != hash_buckets) {
        void *table = aligned_allocate(64, buckets * BUCKET_BYTES);
        if (table) {
            aligned_release(hash_tbl);
            hash_tbl = static_cast<HashEntry(*)[HASH_WAYS]>(table);
            hash_buckets = buckets;
        } else {
            std::fprintf(stderr, "USI_Hash %d: not enough memory, the table keeps %d MiB\n", mib,
                         static_cast<int>(hash_buckets * BUCKET_BYTES >> 20));
        }
    }
    HashClear();
    return static_cast<int>(hash_buckets * BUCKET_BYTES >> 20);
}

void HashClear()
{
    if (!hash_tbl)
        HashResize(HASH_DEFAULT_MIB);  // the first clear allocates the table (and clears it)
    std::memset(hash_tbl, 0, hash_buckets * BUCKET_BYTES);
    for (int w = PROBES; w <= COLLISION; w++)
        profile[w] = 0;
    SearchAge = 0;
}

HashEntry *HashProbe(int side, Position *p)
{
    profile[PROBES]++;
    const std::uint64_t key = stored_key(side, p);
    HashEntry *bucket = bucket_of(p);
    for (int i = 0; i < HASH_WAYS; i++)
        if (holds(bucket[i], key)) {
            profile[HITS]++;
            p->hash_move = bucket[i].move;
            return &bucket[i];
        }
    return nullptr;
}

void HashStore(int side, const Position *p, std::uint8_t flags, std::uint8_t depth, std::uint16_t value,
               int move)
{
    const std::uint64_t key = stored_key(side, p);
    HashEntry *bucket = bucket_of(p);
    HashEntry *e = nullptr;
    bool same_key = false;
    for (int i = 0; i < HASH_WAYS && !e; i++) {
        if (is_empty(bucket[i])) {
            profile[USE0]++;
            e = &bucket[i];
        } else if (holds(bucket[i], key)) {
            profile[USE1]++;
            e = &bucket[i];
            same_key = true;
        }
    }
    if (!e) {
        profile[USE2]++;
        e = victim(bucket);
        if (!e) {
            profile[COLLISION]++;
            return;
        }
    }
    e->key_low = static_cast<std::uint32_t>(key);
    e->key_high = static_cast<std::uint32_t>(key >> 32);
    if (move != 0 || !same_key)
        e->move = move;  // a fail-low store never erases the best move found before
    e->value = static_cast<std::int16_t>(value);
    e->depth = static_cast<std::int8_t>(depth);
    e->flags = static_cast<std::uint8_t>(current_age() << 4 | (flags & 3));
}

void HashRefresh(HashEntry *entry)
{
    if (entry)
        entry->flags = static_cast<std::uint8_t>(current_age() << 4 | (entry->flags & 3));
}
