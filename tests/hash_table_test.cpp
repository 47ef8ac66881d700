// The transposition table: buckets, probes, stores with their replacement rules, ageing.
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "hash/hash.h"
#include "search/pv.h"

namespace {

// A record that only carries a key: all the table looks at.
Position keyed(std::uint64_t key)
{
    Position p{};
    p.key = key;
    return p;
}

// Keys in one bucket: the same low 21 bits, different elsewhere.
std::uint64_t in_bucket(std::uint32_t bucket, std::uint64_t n) { return (n + 1) << 32 | (n << 21) | bucket; }

int stored_depth(int i, std::uint32_t bucket) { return hash_tbl[bucket][i].depth; }

class HashTable : public ::testing::Test {
  protected:
    void SetUp() override { HashClear(); }
    void TearDown() override { HashClear(); }
};

TEST_F(HashTable, BothSidesToMoveShareABucketButNotAnEntry)
{
    Position p = keyed(0x123456789ABCDEF0ULL);
    const std::uint32_t bucket = 0x9ABCDEF0u & (HASH_BUCKETS - 1);
    HashStore(1, &p, HASH_EXACT, 10, 111, 0x1234);
    HashStore(0, &p, HASH_LOWER, 12, 222, 0x5678);
    EXPECT_EQ(profile[9], 2);  // two new entries, not one overwritten
    EXPECT_EQ(hash_tbl[bucket][0].key_low, 0x9ABCDEF0u);
    EXPECT_EQ(hash_tbl[bucket][0].key_high, 0x12345678u);
    EXPECT_EQ(hash_tbl[bucket][1].key_low, ~0x9ABCDEF0u);
    EXPECT_EQ(hash_tbl[bucket][1].key_high, ~0x12345678u);

    HashEntry *e1 = HashProbe(1, &p);
    ASSERT_NE(e1, nullptr);
    EXPECT_EQ(e1->value, 111);
    EXPECT_EQ(p.hash_move, 0x1234);
    HashEntry *e0 = HashProbe(0, &p);
    ASSERT_NE(e0, nullptr);
    EXPECT_EQ(e0->value, 222);
    EXPECT_EQ(p.hash_move, 0x5678);
    EXPECT_NE(e0, e1);
    EXPECT_EQ(profile[7], 2);
    EXPECT_EQ(profile[8], 2);
}

TEST_F(HashTable, MissLeavesTheHashMoveAndEverythingIsEmptyAfterAClear)
{
    Position p = keyed(in_bucket(77, 1));
    p.hash_move = 99;
    EXPECT_EQ(HashProbe(1, &p), nullptr);
    EXPECT_EQ(p.hash_move, 99);
    HashStore(1, &p, HASH_UPPER, 4, 5, 0);
    SearchAge = 9;
    ASSERT_NE(HashProbe(1, &p), nullptr);
    HashClear();
    EXPECT_EQ(HashProbe(1, &p), nullptr);
    EXPECT_EQ(SearchAge, 0);
    for (int w = 8; w <= 12; w++)
        EXPECT_EQ(profile[w], 0) << w;
    EXPECT_EQ(profile[7], 1);  // the probe just made
}

TEST_F(HashTable, SameKeyIsOverwrittenInPlaceAndKeepsItsMoveOnMoveZero)
{
    Position p = keyed(in_bucket(5, 3));
    HashStore(1, &p, HASH_LOWER, 6, 40, 0x777);
    SearchAge = 3;
    HashStore(1, &p, HASH_UPPER, 8, static_cast<std::uint16_t>(-50), 0);
    EXPECT_EQ(profile[9], 1);
    EXPECT_EQ(profile[10], 1);
    const HashEntry &e = hash_tbl[5][0];
    EXPECT_EQ(e.move, 0x777);  // a fail-low store does not erase the best move
    EXPECT_EQ(e.value, -50);
    EXPECT_EQ(e.depth, 8);
    EXPECT_EQ(e.flags, 3 << 4 | HASH_UPPER);
    HashStore(1, &p, HASH_EXACT, 9, 1, 0x888);
    EXPECT_EQ(e.move, 0x888);
    EXPECT_EQ(hash_tbl[5][1].key_low, 0u);  // nothing spilled into the next entry
}

TEST_F(HashTable, StaleShallowEntriesGoFirst)
{
    const std::uint32_t b = 1000;
    // Entries 0 and 1 from search 0 (depths 9, 7), 2 and 3 from search 1 (depths 2, 3).
    const int depths[4] = {9, 7, 2, 3};
    for (int i = 0; i < 4; i++) {
        SearchAge = i < 2 ? 0 : 1;
        Position p = keyed(in_bucket(b, i));
        HashStore(1, &p, HASH_EXACT, depths[i], i, 0);
    }
    Position fifth = keyed(in_bucket(b, 10));
    HashStore(1, &fifth, HASH_EXACT, 20, 0, 0);
    EXPECT_EQ(profile[11], 1);
    EXPECT_EQ(hash_tbl[b][1].key_high, static_cast<std::uint32_t>(in_bucket(b, 10) >> 32));  // stale, depth 7
    // Entry 0 is used again in this search: now all four are current and the
    // shallowest of all goes, entry 2.
    Position first = keyed(in_bucket(b, 0));
    HashRefresh(HashProbe(1, &first));
    Position sixth = keyed(in_bucket(b, 11));
    HashStore(1, &sixth, HASH_EXACT, 1, 0, 0);
    EXPECT_EQ(hash_tbl[b][2].key_high, static_cast<std::uint32_t>(in_bucket(b, 11) >> 32));
    EXPECT_EQ(stored_depth(0, b), 9);
    EXPECT_EQ(stored_depth(1, b), 20);
}

TEST_F(HashTable, TiesGoToTheLowestEntry)
{
    const std::uint32_t b = 77777;
    for (int i = 0; i < 4; i++) {
        Position p = keyed(in_bucket(b, i));
        HashStore(1, &p, HASH_EXACT, i == 0 ? 8 : 4, 0, 0);
    }
    Position p = keyed(in_bucket(b, 9));
    HashStore(1, &p, HASH_EXACT, 6, 0, 0);
    EXPECT_EQ(hash_tbl[b][1].key_high, static_cast<std::uint32_t>(in_bucket(b, 9) >> 32));
}

TEST_F(HashTable, DeepEntriesAreNeverVictims)
{
    const std::uint32_t b = 4242;
    for (int i = 0; i < 4; i++) {
        Position p = keyed(in_bucket(b, i));
        HashStore(1, &p, HASH_EXACT, i == 2 ? 30 : 100 + i, 0, 0);
    }
    SearchAge = 1;
    Position p = keyed(in_bucket(b, 20));
    HashStore(1, &p, HASH_EXACT, 120, 0, 0);
    EXPECT_EQ(hash_tbl[b][2].depth, 120);  // the only entry below 100
    Position q = keyed(in_bucket(b, 21));
    HashStore(1, &q, HASH_EXACT, 1, 0, 0);
    EXPECT_EQ(profile[12], 1);  // dropped
    EXPECT_EQ(HashProbe(1, &q), nullptr);
    // A deep entry is still overwritten by its own key.
    Position own = keyed(in_bucket(b, 0));
    HashStore(1, &own, HASH_LOWER, 3, 7, 0);
    EXPECT_EQ(hash_tbl[b][0].depth, 3);
    // A depth passed as 200 is stored as -56, below 100, and can be replaced.
    Position d = keyed(in_bucket(b, 0));
    HashStore(1, &d, HASH_LOWER, 200, 7, 0);
    EXPECT_EQ(hash_tbl[b][0].depth, -56);
}

TEST_F(HashTable, RefreshAndAgesModuloSixteen)
{
    Position p = keyed(in_bucket(3, 1));
    HashStore(1, &p, HASH_EXACT, 5, 0, 0x42);
    SearchAge = 7;
    HashEntry *e = HashProbe(1, &p);
    ASSERT_NE(e, nullptr);
    HashRefresh(e);
    EXPECT_EQ(e->flags, 7 << 4 | HASH_EXACT);
    HashRefresh(nullptr);

    // In the 17th search after a clear, entries of the first search count as current.
    const std::uint32_t b = 9;
    for (int i = 0; i < 4; i++) {
        SearchAge = i == 0 ? 0 : 16;
        Position q = keyed(in_bucket(b, i));
        HashStore(1, &q, HASH_EXACT, i == 0 ? 1 : 5, 0, 0);
    }
    Position r = keyed(in_bucket(b, 30));
    HashStore(1, &r, HASH_EXACT, 9, 0, 0);
    EXPECT_EQ(hash_tbl[b][0].key_high, static_cast<std::uint32_t>(in_bucket(b, 30) >> 32));
    EXPECT_EQ(SearchAge & 15, 0);
}

// ---- against a plain model of the rules, over random operations ------------------------

struct ModelEntry {
    std::uint64_t key = 0;
    int move = 0, value = 0, depth = 0, bound = 0, age = 0;
    bool used = false;
};

struct Model {
    std::vector<ModelEntry> bucket[4] = {std::vector<ModelEntry>(4), std::vector<ModelEntry>(4),
                                         std::vector<ModelEntry>(4), std::vector<ModelEntry>(4)};
    int use[4] = {};  // Use0, Use1, Use2, Collision

    void store(int b, std::uint64_t key, int bound, int depth, int value, int move, int age)
    {
        std::vector<ModelEntry> &e = bucket[b];
        int at = -1;
        bool same = false;
        for (int i = 0; i < 4 && at < 0; i++)
            if (!e[i].used) {
                at = i;
                use[0]++;
            } else if (e[i].key == key) {
                at = i;
                same = true;
                use[1]++;
            }
        if (at < 0) {
            use[2]++;
            for (int pass = 0; pass < 2 && at < 0; pass++)
                for (int i = 0; i < 4; i++)
                    if ((pass == 1 || e[i].age != age) && e[i].depth < 100 && (at < 0 || e[i].depth < e[at].depth))
                        at = i;
            if (at < 0) {
                use[3]++;
                return;
            }
        }
        ModelEntry &x = e[at];
        x.used = true;
        x.key = key;
        if (!(same && move == 0))
            x.move = move;
        x.value = value;
        x.depth = depth;
        x.bound = bound;
        x.age = age;
    }
};

TEST_F(HashTable, MatchesAPlainModelOfTheRules)
{
    const std::uint32_t buckets[4] = {0, 1, 0x1FFFFF, 0x12345};
    std::uint64_t keys[4][6];
    for (int b = 0; b < 4; b++)
        for (int k = 0; k < 6; k++)
            keys[b][k] = in_bucket(buckets[b], k * 7 + b);
    Model model;
    std::mt19937 rng(7);
    for (int step = 0; step < 20000; step++) {
        if (rng() % 50 == 0)
            SearchAge++;
        const int b = rng() % 4, k = rng() % 6, side = rng() % 2;
        const std::uint64_t key = side ? keys[b][k] : ~keys[b][k];
        Position p = keyed(keys[b][k]);
        if (rng() % 3 == 0) {
            HashEntry *e = HashProbe(side, &p);
            bool expected = false;
            for (const ModelEntry &m : model.bucket[b])
                expected |= m.used && m.key == key;
            ASSERT_EQ(e != nullptr, expected) << step;
            if (e && rng() % 2) {
                HashRefresh(e);
                for (ModelEntry &m : model.bucket[b])
                    if (m.used && m.key == key)
                        m.age = SearchAge & 15;
            }
            continue;
        }
        const int bound = 1 + rng() % 3;
        const int depth = rng() % 25 == 0 ? 100 + rng() % 20 : rng() % 40;
        const int value = static_cast<int>(rng() % 60001) - 30000;
        const int move = bound == HASH_UPPER ? 0 : 1 + static_cast<int>(rng() % 0xFFFFFF);
        HashStore(side, &p, bound, depth, static_cast<std::uint16_t>(value), move);
        model.store(b, key, bound, depth, value, move, SearchAge & 15);
        for (int i = 0; i < 4; i++) {
            const HashEntry &h = hash_tbl[buckets[b]][i];
            const ModelEntry &m = model.bucket[b][i];
            ASSERT_EQ(h.key_low | static_cast<std::uint64_t>(h.key_high) << 32, m.used ? m.key : 0) << step;
            if (!m.used)
                continue;
            ASSERT_EQ(h.move, m.move) << step;
            ASSERT_EQ(h.value, m.value) << step;
            ASSERT_EQ(h.depth, m.depth) << step;
            ASSERT_EQ(h.flags, m.age << 4 | m.bound) << step;
        }
    }
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(profile[9 + i], model.use[i]) << i;
    EXPECT_GT(model.use[2], 1000);  // full buckets were met often
    EXPECT_GT(model.use[3], 0);     // and some stores were dropped
}

}  // namespace
