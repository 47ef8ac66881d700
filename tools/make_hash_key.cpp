// Writes "hash_key.dat": the random numbers of the position keys.
//
// The numbers come from a fixed seed, so every machine writes the same file. Opening
// books store keys made from this file: never change the seed or the generator.
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::uint64_t SEED = 0x71766E2D6B657973ULL;  // "qvn-keys"

// splitmix64: every output is an independent-looking 64-bit number.
std::uint64_t next(std::uint64_t &state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void put64(std::FILE *fp, std::uint64_t v)
{
    unsigned char b[8];
    for (int i = 0; i < 8; i++)
        b[i] = static_cast<unsigned char>(v >> (8 * i));  // little-endian on every host
    std::fwrite(b, 1, 8, fp);
}

}  // namespace

int main(int argc, char **argv)
{
    const char *name = argc > 1 ? argv[1] : "hash_key.dat";
    std::FILE *fp = std::fopen(name, "wb");
    if (!fp) {
        std::fprintf(stderr, "%s open error\n", name);
        return 1;
    }
    std::uint64_t state = SEED;
    // Board keys: 32 rows (side * 16 + type) x 154 squares; row 0, the empty square, is zero.
    for (int row = 0; row < 32; row++)
        for (int sq = 0; sq < 154; sq++) {
            const std::uint64_t v = next(state);
            put64(fp, row == 0 ? 0 : v);
        }
    // Hand keys: 16 rows (side * 8 + type) x counts 0..18.
    for (int row = 0; row < 16; row++)
        for (int n = 0; n < 19; n++)
            put64(fp, next(state));
    const bool ok = std::fclose(fp) == 0;
    return ok ? 0 : 1;
}
