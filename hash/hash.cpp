#include "hash/hash.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log/log.h"
#include "platform/platform.h"

std::uint64_t hash_seed[HASH_SEED_ROWS][HASH_SEED_COLS];
std::uint64_t hand_hash_seed[HAND_SEED_ROWS][HAND_SEED_COLS];

void HashInit()
{
    char name[4096];
    find_data_file("hash_key.dat", name, sizeof name);
    lprintf("hash_key.dat: %s\n", name);
    std::FILE *fp = std::fopen(name, "rb");
    if (!fp) {
        std::fputs("no hash_key.dat", stderr);
        std::exit(0);
    }
    const long size = file_size(name);
    if (size != HASH_KEY_FILE_SIZE)
        std::fprintf(stderr, "hash_key.dat: %ld bytes, expected %ld; missing keys are zero\n", size,
                     HASH_KEY_FILE_SIZE);
    // A short file leaves the entries it does not reach at zero; extra bytes are ignored.
    std::size_t n = std::fread(hash_seed, 1, sizeof hash_seed, fp);
    if (n == sizeof hash_seed)
        n = std::fread(hand_hash_seed, 1, sizeof hand_hash_seed, fp);
    (void)n;
    std::fclose(fp);
    if (!hash_tbl)
        HashClear();  // the table exists from start-up on, at its default size
}

std::uint64_t board_key_of(const Position *p)
{
    std::uint64_t k = 0;
    for (int sq : position_tbl)
        k ^= hash_seed[p->board[sq] & 31][sq];
    return k;
}

std::uint64_t hand_key_of(const Position *p)
{
    std::uint64_t k = 0;
    for (int t = 1; t <= 7; t++) {
        k ^= hand_hash_seed[t][p->hand[0][t]];
        k ^= hand_hash_seed[8 + t][p->hand[1][t]];
    }
    return k;
}

void set_keys(Position *p)
{
    p->board_key = board_key_of(p);
    p->hand_key = hand_key_of(p);
    p->key = p->board_key ^ p->hand_key;
}

void RootHash()
{
    set_keys(&Trunk[0]);
}

void hash_test(const Position *p)
{
    const std::uint64_t b = board_key_of(p);
    if (b != p->board_key) {
        lprintf("盤ハッシュエラー 計算値 %016llx 表 %016llx\n", static_cast<unsigned long long>(b),
                static_cast<unsigned long long>(p->board_key));
        return;
    }
    const std::uint64_t h = hand_key_of(p);
    if (h != p->hand_key)
        lprintf("手駒ハッシュエラー 計算値 %016llx 表 %016llx\n", static_cast<unsigned long long>(h),
                static_cast<unsigned long long>(p->hand_key));
}


std::uint64_t key_after(int side, const Position *p, int move)
{
    const int from = move_from(move), to = move_to(move);
    const int piece = move_piece(move), captured = move_cap(move);
    const int placed = move_is_promote(move) ? piece | PROMOTE : piece;
    std::uint64_t key = p->key ^ hash_seed[side * 16 + placed][to];
    if (from) {
        key ^= hash_seed[side * 16 + piece][from];
        if (captured) {
            const int t = captured & 7, n = p->hand[side][t];
            key ^= hand_hash_seed[side * 8 + t][n] ^ hand_hash_seed[side * 8 + t][n + 1] ^
                   hash_seed[(side ^ 1) * 16 + captured][to];
        }
    } else {
        const int n = p->hand[side][piece];
        key ^= hand_hash_seed[side * 8 + piece][n] ^ hand_hash_seed[side * 8 + piece][n - 1];
    }
    return key;
}
