// The transposition table against a plain model of its rules, over random probes and stores.
#include <atomic>
#include <random>
#include <thread>
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

class HashTable : public ::testing::Test {
  protected:
    void SetUp() override { HashClear(); }
    void TearDown() override { HashClear(); }
};

// A plain model of the rules: an empty entry first, else the same key (a fail-low store
// keeps the move there), else the shallowest entry below depth 100 of an earlier search,
// else of any search, else the store is dropped.

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
            int expected_move = -1;
            for (const ModelEntry &m : model.bucket[b])
                if (m.used && m.key == key)
                    expected_move = m.move;
            p.hash_move = -1;
            HashEntry *e = HashProbe(side, &p);
            ASSERT_EQ(e != nullptr, expected_move != -1) << step;
            ASSERT_EQ(p.hash_move, expected_move) << step;  // a miss leaves it alone
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
            const HashEntry h = hash_entry_at(buckets[b], i);
            const ModelEntry &m = model.bucket[b][i];
            ASSERT_EQ(h.key, m.used ? m.key : 0) << step;
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
    HashClear();
    for (int b = 0; b < 4; b++)
        for (int k = 0; k < 6; k++) {
            Position p = keyed(keys[b][k]);
            EXPECT_EQ(HashProbe(1, &p), nullptr);
        }
    EXPECT_EQ(SearchAge, 0);
}

// Threads storing, probing and refreshing the same two buckets at once, each entry's data a
// function of its key: every hit carries its own key's data, never a mix of two stores.
TEST_F(HashTable, ThreadsNeverReadAMixOfTwoStores)
{
    const auto move_of = [](std::uint64_t key) { return static_cast<int>((key * 0x9E3779B97F4A7C15ull) >> 40) | 1; };
    const auto value_of = [](std::uint64_t key) { return static_cast<int>(key >> 32) * 37 % 20000 - 10000; };
    const auto depth_of = [](std::uint64_t key) { return static_cast<int>(key >> 32) % 90; };
    std::atomic<int> hits{0}, wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            std::mt19937 rng(t);
            for (int step = 0; step < 200000; step++) {
                const std::uint64_t key = in_bucket(rng() % 2, rng() % 12);
                Position p = keyed(key);
                if (rng() % 2) {
                    HashStore(1, &p, HASH_EXACT, static_cast<std::uint8_t>(depth_of(key)),
                              static_cast<std::uint16_t>(value_of(key)), move_of(key));
                } else if (const HashEntry *e = HashProbe(1, &p)) {
                    hits++;
                    if (e->move != move_of(key) || p.hash_move != move_of(key) || e->value != value_of(key) ||
                        e->depth != depth_of(key) || (e->flags & 3) != HASH_EXACT)
                        wrong++;
                    HashRefresh(e);
                }
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_GT(hits, 10000);
    EXPECT_EQ(wrong, 0);
}

}  // namespace
