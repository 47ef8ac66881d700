#include "eval/network.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/platform.h"

#ifdef __x86_64__
#include <immintrin.h>
#endif

NetParameters Net;
bool NetActive = false;
// No network is shipped yet: the engine plays on its tables unless EvalFile names one.
char EvalFile[EVAL_FILE_SIZE] = "";

namespace {

bool avx2_on = cpu_has_avx2();

// At most two rows leave and two arrive per view in one move.
struct RowList {
    int n = 0;
    int row[4];
    void push(int f) { row[n++] = f; }
};

// ---- portable kernels ---------------------------------------------------------------------
void add_rows_scalar(std::int16_t *out, const std::int16_t *from, const NetParameters &net, const RowList &add,
                     const RowList &sub)
{
    // Row by row, so that the compiler can work on many hidden values at once.
    const int h = net.hidden;
    std::int16_t v[NET_MAX_HIDDEN];
    std::memcpy(v, from, sizeof(std::int16_t) * static_cast<std::size_t>(h));
    for (int k = 0; k < add.n; k++) {
        const std::int16_t *w = net.input_weights + add.row[k] * h;
        for (int i = 0; i < h; i++)
            v[i] = static_cast<std::int16_t>(v[i] + w[i]);
    }
    for (int k = 0; k < sub.n; k++) {
        const std::int16_t *w = net.input_weights + sub.row[k] * h;
        for (int i = 0; i < h; i++)
            v[i] = static_cast<std::int16_t>(v[i] - w[i]);
    }
    std::memcpy(out, v, sizeof(std::int16_t) * static_cast<std::size_t>(h));
}

void refresh_scalar(std::int16_t *out, const NetParameters &net, const int *features, int n)
{
    const int h = net.hidden;
    std::int16_t v[NET_MAX_HIDDEN];
    std::memcpy(v, net.input_bias, sizeof v);
    for (int k = 0; k < n; k++)
        for (int i = 0; i < h; i++)
            v[i] = static_cast<std::int16_t>(v[i] + net.input_weights[features[k] * h + i]);
    std::memcpy(out, v, sizeof(std::int16_t) * static_cast<std::size_t>(h));
}

// The activation in fixed point (see NET_QB).
inline int activate(int x, int activation)
{
    const int c = std::clamp(x, 0, NET_QACC);
    if (activation != NET_SCRELU)
        return c;
    const int c8 = (c + 2) >> NET_ACC_SHIFT;  // rounded, not cut: cutting twice biases the output
    return (c8 * c8 + 128) >> 8;
}

std::int32_t output_sum_scalar(const NetParameters &net, const std::int16_t *us, const std::int16_t *them)
{
    const int h = net.hidden;
    std::int32_t sum = 0;
    for (int i = 0; i < h; i++) {
        sum += activate(us[i], net.activation) * net.output_weights[i];
        sum += activate(them[i], net.activation) * net.output_weights[h + i];
    }
    return sum;
}

// ---- AVX2 kernels, compiled for it whatever the build's target -----------------------------
#ifdef __x86_64__
__attribute__((target("avx2"))) void add_rows_avx2(std::int16_t *out, const std::int16_t *from,
                                                   const NetParameters &net, const RowList &add, const RowList &sub)
{
    const int h = net.hidden;
    for (int i = 0; i < h; i += 16) {
        __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i *>(from + i));
        for (int k = 0; k < add.n; k++)
            v = _mm256_add_epi16(v, _mm256_load_si256(
                                        reinterpret_cast<const __m256i *>(net.input_weights + add.row[k] * h + i)));
        for (int k = 0; k < sub.n; k++)
            v = _mm256_sub_epi16(v, _mm256_load_si256(
                                        reinterpret_cast<const __m256i *>(net.input_weights + sub.row[k] * h + i)));
        _mm256_store_si256(reinterpret_cast<__m256i *>(out + i), v);
    }
}

__attribute__((target("avx2"))) void refresh_avx2(std::int16_t *out, const NetParameters &net, const int *features,
                                                  int n)
{
    const int h = net.hidden;
    for (int i = 0; i < h; i += 16) {
        __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i *>(net.input_bias + i));
        for (int k = 0; k < n; k++)
            v = _mm256_add_epi16(
                v, _mm256_load_si256(reinterpret_cast<const __m256i *>(net.input_weights + features[k] * h + i)));
        _mm256_store_si256(reinterpret_cast<__m256i *>(out + i), v);
    }
}

__attribute__((target("avx2"))) __m256i activate_avx2(__m256i x, int activation)
{
    const __m256i c = _mm256_min_epi16(_mm256_max_epi16(x, _mm256_setzero_si256()), _mm256_set1_epi16(NET_QACC));
    if (activation != NET_SCRELU)
        return c;
    // c8 * c8 + 128 fits 16 bits unsigned (at most 65,153): the low half, shifted logically.
    const __m256i c8 = _mm256_srli_epi16(_mm256_add_epi16(c, _mm256_set1_epi16(2)), NET_ACC_SHIFT);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(c8, c8), _mm256_set1_epi16(128)), 8);
}

__attribute__((target("avx2"))) std::int32_t output_sum_avx2(const NetParameters &net, const std::int16_t *us,
                                                             const std::int16_t *them)
{
    const int h = net.hidden;
    __m256i sum = _mm256_setzero_si256();
    for (int i = 0; i < h; i += 16) {
        const __m256i a = activate_avx2(_mm256_load_si256(reinterpret_cast<const __m256i *>(us + i)), net.activation);
        const __m256i b =
            activate_avx2(_mm256_load_si256(reinterpret_cast<const __m256i *>(them + i)), net.activation);
        sum = _mm256_add_epi32(
            sum, _mm256_madd_epi16(a, _mm256_load_si256(reinterpret_cast<const __m256i *>(net.output_weights + i))));
        sum = _mm256_add_epi32(
            sum,
            _mm256_madd_epi16(b, _mm256_load_si256(reinterpret_cast<const __m256i *>(net.output_weights + h + i))));
    }
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
}
#endif

void add_rows(std::int16_t *out, const std::int16_t *from, const NetParameters &net, const RowList &add,
              const RowList &sub)
{
#ifdef __x86_64__
    if (avx2_on)
        return add_rows_avx2(out, from, net, add, sub);
#endif
    add_rows_scalar(out, from, net, add, sub);
}

// ---- the file -------------------------------------------------------------------------------
std::uint32_t fnv1a(std::uint32_t h, const unsigned char *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * 16777619u;
    return h;
}
constexpr std::uint32_t FNV_START = 2166136261u;

void put16(std::vector<unsigned char> &b, std::size_t at, unsigned v)
{
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void put32(std::vector<unsigned char> &b, std::size_t at, std::uint32_t v)
{
    for (int k = 0; k < 4; k++)
        b[at + static_cast<std::size_t>(k)] = static_cast<unsigned char>(v >> (8 * k));
}
unsigned get16(const std::vector<unsigned char> &b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t get32(const std::vector<unsigned char> &b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

bool valid_hidden(int h) { return h == 16 || h == 32 || h == 64 || h == 128; }

}  // namespace

int net_features(const Position *p, int perspective, int *out)
{
    int n = 0;
    for (int sq : position_tbl) {
        const int w = p->board[sq];
        if (w && n < NET_MAX_ACTIVE)
            out[n++] = net_board_feature(perspective, (w & 16) ? 1 : 0, w & 15, sq);
    }
    for (int owner = 0; owner < 2; owner++)
        for (int t = FU; t <= HI; t++)
            for (int k = 1; k <= std::min(p->hand[owner][t], net_hand_slots[t]) && n < NET_MAX_ACTIVE; k++)
                out[n++] = net_hand_feature(perspective, owner, t, k);
    return n;
}

void net_set_output_scale(NetParameters *net, int output_scale)
{
    const double unit = NET_QB * net_activation_unit(net->activation);
    net->output_scale = output_scale;
    // 24 bits: the multiplier is then exact to a few parts in 100,000.
    net->output_shift = 24;
    net->output_multiplier = static_cast<std::int32_t>(output_scale * 16777216.0 / unit + 0.5);
}

bool net_write_file(const char *path, const NetParameters &net, std::string *error)
{
    if (!valid_hidden(net.hidden)) {
        *error = "network not written: hidden size must be 16, 32, 64 or 128";
        return false;
    }
    const int h = net.hidden;
    std::vector<unsigned char> b(static_cast<std::size_t>(net_file_bytes(h)));
    put32(b, 0, NET_MAGIC);
    put16(b, 4, NET_VERSION);
    put16(b, 6, static_cast<unsigned>(h));
    put16(b, 8, NET_FEATURE_SET);
    put16(b, 10, 1);
    put16(b, 12, static_cast<unsigned>(net.activation));
    put16(b, 14, NET_QACC);
    put16(b, 16, NET_QB);
    put16(b, 18, static_cast<unsigned>(net.output_scale));
    put32(b, 20, static_cast<std::uint32_t>(net.output_multiplier));
    put32(b, 24, static_cast<std::uint32_t>(net.output_shift));
    put32(b, 28, static_cast<std::uint32_t>(b.size() - NET_HEADER_BYTES));
    put32(b, 36, net.stamp);
    std::size_t at = NET_HEADER_BYTES;
    for (int k = 0; k < NET_FEATURES * h; k++, at += 2)
        put16(b, at, static_cast<std::uint16_t>(net.input_weights[k]));
    for (int i = 0; i < h; i++, at += 2)
        put16(b, at, static_cast<std::uint16_t>(net.input_bias[i]));
    for (int i = 0; i < 2 * h; i++, at += 2)
        put16(b, at, static_cast<std::uint16_t>(net.output_weights[i]));
    put32(b, at, static_cast<std::uint32_t>(net.output_bias));
    const std::uint32_t sum = fnv1a(fnv1a(FNV_START, b.data(), 32), b.data() + NET_HEADER_BYTES,
                                    b.size() - NET_HEADER_BYTES);
    put32(b, 32, sum);

    std::FILE *f = std::fopen(path, "wb");
    if (!f) {
        *error = std::string("cannot write the network file ") + path;
        return false;
    }
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    if (std::fclose(f) != 0 || !ok) {
        *error = std::string("cannot write the network file ") + path;
        return false;
    }
    return true;
}

bool net_read_file(const char *path, NetParameters *net, std::string *error)
{
    const std::string name = std::string("network file ") + path;
    std::FILE *f = std::fopen(path, "rb");
    if (!f) {
        *error = name + " cannot be read";
        return false;
    }
    std::vector<unsigned char> b;
    unsigned char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
        b.insert(b.end(), chunk, chunk + got);
        if (b.size() > static_cast<std::size_t>(net_file_bytes(NET_MAX_HIDDEN)))
            break;  // longer than any network: no need to read on
    }
    std::fclose(f);
    if (b.size() < NET_HEADER_BYTES) {
        *error = name + " is too short for its header (" + std::to_string(b.size()) + " bytes)";
        return false;
    }
    if (get32(b, 0) != NET_MAGIC) {
        *error = name + " is not a qvn network (bad magic)";
        return false;
    }
    const int h = static_cast<int>(get16(b, 6));
    if (get16(b, 4) != NET_VERSION || get16(b, 8) != NET_FEATURE_SET || get16(b, 10) != 1 || !valid_hidden(h) ||
        get16(b, 12) > NET_SCRELU || get16(b, 14) != NET_QACC || get16(b, 16) != NET_QB || get32(b, 24) > 30 || get32(b, 24) < 1 ||
        static_cast<std::int32_t>(get32(b, 20)) <= 0 ||
        get32(b, 28) != static_cast<std::uint32_t>(net_file_bytes(h) - NET_HEADER_BYTES)) {
        *error = name + " has a header this engine does not read (version " + std::to_string(get16(b, 4)) +
                 ", hidden " + std::to_string(h) + ", feature set " + std::to_string(get16(b, 8)) + ")";
        return false;
    }
    if (static_cast<long>(b.size()) != net_file_bytes(h)) {
        *error = name + " has " + std::to_string(b.size()) + " bytes, its header says " +
                 std::to_string(net_file_bytes(h));
        return false;
    }
    const std::uint32_t sum =
        fnv1a(fnv1a(FNV_START, b.data(), 32), b.data() + NET_HEADER_BYTES, b.size() - NET_HEADER_BYTES);
    if (sum != get32(b, 32)) {
        *error = name + " is damaged (checksum mismatch)";
        return false;
    }
    net->hidden = h;
    net->activation = static_cast<int>(get16(b, 12));
    net->output_scale = static_cast<int>(get16(b, 18));
    net->output_multiplier = static_cast<std::int32_t>(get32(b, 20));
    net->output_shift = static_cast<int>(get32(b, 24));
    net->stamp = get32(b, 36);
    std::size_t at = NET_HEADER_BYTES;
    for (int k = 0; k < NET_FEATURES * h; k++, at += 2)
        net->input_weights[k] = static_cast<std::int16_t>(get16(b, at));
    for (int i = 0; i < h; i++, at += 2)
        net->input_bias[i] = static_cast<std::int16_t>(get16(b, at));
    for (int i = 0; i < 2 * h; i++, at += 2)
        net->output_weights[i] = static_cast<std::int16_t>(get16(b, at));
    net->output_bias = static_cast<std::int32_t>(get32(b, at));
    return true;
}

bool NetLoad(const char *path, std::string *error)
{
    // Read aside first: a bad file must leave no half-read network behind.
    auto read = std::make_unique<NetParameters>();
    NetActive = false;
    if (!net_read_file(path, read.get(), error))
        return false;
    Net = *read;
    NetActive = true;
    return true;
}

void net_refresh(const NetParameters &net, const Position *p, NetAccumulator *acc)
{
    int features[NET_MAX_ACTIVE];
    for (int view = 0; view < 2; view++) {
        const int n = net_features(p, view, features);
#ifdef __x86_64__
        if (avx2_on) {
            refresh_avx2(acc->v[view], net, features, n);
            continue;
        }
#endif
        refresh_scalar(acc->v[view], net, features, n);
    }
}

void net_update(const NetParameters &net, const NetAccumulator &parent, const Position *before, int side, int move,
                NetAccumulator *child)
{
    const int from = move_from(move), to = move_to(move);
    const int piece = move_piece(move), captured = move_cap(move);
    for (int view = 0; view < 2; view++) {
        RowList add, sub;
        if (from) {
            sub.push(net_board_feature(view, side, piece, from));
            add.push(net_board_feature(view, side, move_is_promote(move) ? piece | PROMOTE : piece, to));
            if (captured) {
                sub.push(net_board_feature(view, side ^ 1, captured, to));
                // The captured piece becomes the next one of its kind in hand (demoted).
                const int t = captured & 7, n = before->hand[side][t] + 1;
                if (n <= net_hand_slots[t])
                    add.push(net_hand_feature(view, side, t, n));
            }
        } else {
            // The dropped piece is the last of its kind in hand.
            const int n = before->hand[side][piece];
            if (n <= net_hand_slots[piece])
                sub.push(net_hand_feature(view, side, piece, n));
            add.push(net_board_feature(view, side, piece, to));
        }
        add_rows(child->v[view], parent.v[view], net, add, sub);
    }
}

int net_evaluate(const NetParameters &net, const NetAccumulator &acc, int side_to_move)
{
    const std::int16_t *us = acc.v[side_to_move], *them = acc.v[side_to_move ^ 1];
#ifdef __x86_64__
    const std::int32_t sum = avx2_on ? output_sum_avx2(net, us, them) : output_sum_scalar(net, us, them);
#else
    const std::int32_t sum = output_sum_scalar(net, us, them);
#endif
    const std::int64_t total = static_cast<std::int64_t>(sum) + net.output_bias;
    const std::int64_t half = std::int64_t{1} << (net.output_shift - 1);  // rounds to nearest
    return static_cast<int>((total * net.output_multiplier + half) >> net.output_shift);
}

bool net_use_avx2(bool on)
{
    avx2_on = on && cpu_has_avx2();
    return avx2_on;
}
