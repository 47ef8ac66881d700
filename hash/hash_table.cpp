// The transposition table: 2^21 buckets of four entries, aged by search, shared by every
// search thread without locks (see HashSlot).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hash/hash.h"
#include "log/profile.h"
#include "platform/platform.h"

HashSlot (*hash_tbl)[HASH_WAYS];
std::uint32_t hash_buckets;
std::uint8_t SearchAge;

namespace {

// Sizes in std::size_t: long has 32 bits on Windows, too few for a table of 2 GiB or more.
constexpr std::size_t BUCKET_BYTES = sizeof(HashSlot) * HASH_WAYS;  // 64: one cache line
constexpr auto RELAXED = std::memory_order_relaxed;

// Statistics words of profile.
constexpr int PROBES = 7, HITS = 8, USE0 = 9, USE1 = 10, USE2 = 11, COLLISION = 12;

int current_age() { return SearchAge & 15; }
int entry_age(const HashEntry &e) { return e.flags >> 4; }

// The key as stored: complemented when side 0 is to move.
std::uint64_t stored_key(int side, const Position *p) { return side ? p->key : ~p->key; }

// The bucket depends on the uncomplemented key, so both sides to move share it.
HashSlot *bucket_of(const Position *p) { return hash_tbl[static_cast<std::uint32_t>(p->key) & (hash_buckets - 1)]; }

std::uint64_t pack(int move, std::uint16_t value, std::uint8_t depth, std::uint8_t flags)
{
    return static_cast<std::uint32_t>(move) | static_cast<std::uint64_t>(value) << 32 |
           static_cast<std::uint64_t>(depth) << 48 | static_cast<std::uint64_t>(flags) << 56;
}

HashEntry read(HashSlot &slot)
{
    const std::uint64_t check = slot.check.load(RELAXED), data = slot.data.load(RELAXED);
    HashEntry e;
    e.key = check ^ data;
    e.move = static_cast<int>(static_cast<std::uint32_t>(data));
    e.value = static_cast<std::int16_t>(data >> 32);
    e.depth = static_cast<std::int8_t>(data >> 48);
    e.flags = static_cast<std::uint8_t>(data >> 56);
    e.slot = &slot;
    return e;
}

void write(HashSlot &slot, std::uint64_t key, std::uint64_t data)
{
    slot.check.store(key ^ data, RELAXED);
    slot.data.store(data, RELAXED);
}

// Shallowest entry that may be replaced, preferring entries of earlier searches.
int victim(const HashEntry *bucket)
{
    int best = -1;
    for (int i = 0; i < HASH_WAYS; i++) {
        const HashEntry &e = bucket[i];
        if (entry_age(e) != current_age() && e.depth < HASH_KEEP_DEPTH && (best < 0 || e.depth < bucket[best].depth))
            best = i;
    }
    if (best >= 0)
        return best;
    for (int i = 0; i < HASH_WAYS; i++) {
        const HashEntry &e = bucket[i];
        if (e.depth < HASH_KEEP_DEPTH && (best < 0 || e.depth < bucket[best].depth))
            best = i;
    }
    return best;
}

// The probe's result: each thread has its own.
thread_local HashEntry probed;

}  // namespace

long hash_entry_count() { return static_cast<long>(hash_buckets) * HASH_WAYS; }

int HashResize(int mib)
{
    mib = std::clamp(mib, 1, HASH_MAX_MIB);
    std::uint32_t buckets = 1;
    while (buckets * 2 * BUCKET_BYTES <= (static_cast<std::size_t>(mib) << 20))
        buckets *= 2;
    if (buckets != hash_buckets) {
        void *table = large_allocate(buckets * BUCKET_BYTES);
        if (table) {
            large_release(hash_tbl, hash_buckets * BUCKET_BYTES);
            hash_tbl = static_cast<HashSlot(*)[HASH_WAYS]>(table);
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
    // No search thread runs here: the words are cleared as plain memory.
    std::memset(static_cast<void *>(hash_tbl), 0, hash_buckets * BUCKET_BYTES);
    for (int w = PROBES; w <= COLLISION; w++)
        profile[w] = 0;
    SearchAge = 0;
}

void HashPrefetch(std::uint64_t key) { prefetch(hash_tbl[static_cast<std::uint32_t>(key) & (hash_buckets - 1)]); }

HashEntry *HashProbe(int side, Position *p)
{
    profile[PROBES]++;
    const std::uint64_t key = stored_key(side, p);
    HashSlot *bucket = bucket_of(p);
    for (int i = 0; i < HASH_WAYS; i++) {
        const HashEntry e = read(bucket[i]);
        if (e.key == key) {
            profile[HITS]++;
            p->hash_move = e.move;
            probed = e;
            return &probed;
        }
    }
    return nullptr;
}

void HashStore(int side, const Position *p, std::uint8_t flags, std::uint8_t depth, std::uint16_t value,
               int move)
{
    const std::uint64_t key = stored_key(side, p);
    HashSlot *bucket = bucket_of(p);
    HashEntry seen[HASH_WAYS];
    for (int i = 0; i < HASH_WAYS; i++)
        seen[i] = read(bucket[i]);
    int at = -1;
    bool same_key = false;
    for (int i = 0; i < HASH_WAYS && at < 0; i++) {
        if (seen[i].key == 0) {
            profile[USE0]++;
            at = i;
        } else if (seen[i].key == key) {
            profile[USE1]++;
            at = i;
            same_key = true;
        }
    }
    if (at < 0) {
        profile[USE2]++;
        at = victim(seen);
        if (at < 0) {
            profile[COLLISION]++;
            return;
        }
    }
    if (move == 0 && same_key)
        move = seen[at].move;  // a fail-low store never erases the best move found before
    write(bucket[at], key, pack(move, value, depth, static_cast<std::uint8_t>(current_age() << 4 | (flags & 3))));
}

void HashRefresh(const HashEntry *entry)
{
    if (!entry)
        return;
    const HashEntry now = read(*entry->slot);
    if (now.key != entry->key)
        return;  // another thread has replaced it meanwhile
    write(*entry->slot, now.key,
          pack(now.move, static_cast<std::uint16_t>(now.value), static_cast<std::uint8_t>(now.depth),
               static_cast<std::uint8_t>(current_age() << 4 | (now.flags & 3))));
}

HashEntry hash_entry_at(std::uint32_t bucket, int way) { return read(hash_tbl[bucket & (hash_buckets - 1)][way]); }

int HashFull()
{
    const int buckets = static_cast<int>(std::min<std::uint32_t>(hash_buckets, 1000 / HASH_WAYS));
    int used = 0;
    for (int b = 0; b < buckets; b++)
        for (int i = 0; i < HASH_WAYS; i++) {
            const HashEntry e = read(hash_tbl[b][i]);
            used += e.key != 0 && entry_age(e) == current_age();
        }
    return used * 1000 / (buckets * HASH_WAYS);
}
