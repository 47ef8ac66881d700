#include "tools/learn/record.h"

#include <cstring>

namespace {

class BitWriter {
  public:
    explicit BitWriter(std::uint8_t *out, int size) : out_(out), size_(size) {}
    void put(unsigned value, int bits)
    {
        for (int i = 0; i < bits; i++, pos_++)
            if (pos_ < 8 * size_ && (value >> i & 1))
                out_[pos_ >> 3] |= static_cast<std::uint8_t>(1 << (pos_ & 7));
            else if (pos_ >= 8 * size_)
                overflow_ = true;
    }
    bool overflow() const { return overflow_; }

  private:
    std::uint8_t *out_;
    int size_, pos_ = 0;
    bool overflow_ = false;
};

class BitReader {
  public:
    BitReader(const std::uint8_t *in, int size) : in_(in), size_(size) {}
    unsigned get(int bits)
    {
        unsigned v = 0;
        for (int i = 0; i < bits; i++, pos_++)
            if (pos_ < 8 * size_ && (in_[pos_ >> 3] >> (pos_ & 7) & 1))
                v |= 1u << i;
        return v;
    }

  private:
    const std::uint8_t *in_;
    int size_, pos_ = 0;
};

constexpr const char *sfen_letters = " PLNSGBRK";

// Board and hands of a packed position; kings are not looked for.
struct Unpacked {
    int board[81] = {};   // square index order, words as on the board
    int hand[2][8] = {};
};

Unpacked unpack(const TrainingRecord &r)
{
    Unpacked u;
    BitReader in(r.packed.data(), static_cast<int>(r.packed.size()));
    for (int &w : u.board)
        if (in.get(1)) {
            const int side = static_cast<int>(in.get(1));
            w = colour(side) | static_cast<int>(in.get(4));
        }
    while (in.get(1)) {
        const int side = static_cast<int>(in.get(1));
        const int type = static_cast<int>(in.get(3));
        if (type >= FU && type <= HI)
            u.hand[side][type]++;
    }
    return u;
}

std::string sfen_of(const int *board81, const int (*hand)[8], int ply)
{
    std::string s;
    for (int rank = 1; rank <= 9; rank++) {
        int empty = 0;
        for (int file = 9; file >= 1; file--) {
            const int w = board81[9 * (file - 1) + rank - 1];
            if (!w) {
                empty++;
                continue;
            }
            if (empty)
                s += static_cast<char>('0' + empty), empty = 0;
            const int type = w & 15;
            if (type & PROMOTE && type != OU)
                s += '+';
            const char c = sfen_letters[type == OU ? OU : type & 7];
            s += (w & 16) ? c : static_cast<char>(c - 'A' + 'a');
        }
        if (empty)
            s += static_cast<char>('0' + empty);
        if (rank < 9)
            s += '/';
    }
    s += " b ";
    std::string hands;
    for (int side : {1, 0})
        for (int type = HI; type >= FU; type--) {
            const int n = hand[side][type];
            if (n <= 0)
                continue;
            if (n > 1)
                hands += std::to_string(n);
            hands += side ? sfen_letters[type] : static_cast<char>(sfen_letters[type] - 'A' + 'a');
        }
    s += hands.empty() ? "-" : hands;
    s += " " + std::to_string(ply + 1);
    return s;
}

void put16(std::uint8_t *b, unsigned v)
{
    b[0] = static_cast<std::uint8_t>(v);
    b[1] = static_cast<std::uint8_t>(v >> 8);
}
unsigned get16(const std::uint8_t *b) { return b[0] | b[1] << 8; }

}  // namespace

bool pack_position(const Position &p, TrainingRecord *r)
{
    r->packed.fill(0);
    BitWriter out(r->packed.data(), static_cast<int>(r->packed.size()));
    for (int sq : position_tbl) {
        const int w = p.board[sq];
        if (!w) {
            out.put(0, 1);
            continue;
        }
        out.put(1, 1);
        out.put((w & 16) ? 1 : 0, 1);
        out.put(w & 15, 4);
    }
    for (int side = 0; side < 2; side++)
        for (int type = FU; type <= HI; type++)
            for (int i = 0; i < p.hand[side][type]; i++) {
                out.put(1, 1);
                out.put(side, 1);
                out.put(type, 3);
            }
    out.put(0, 1);
    return !out.overflow();
}

std::string record_sfen(const TrainingRecord &r)
{
    const Unpacked u = unpack(r);
    return sfen_of(u.board, u.hand, r.ply);
}

std::uint64_t record_hash(const TrainingRecord &r)
{
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    for (std::uint8_t b : r.packed) {
        h ^= b;
        h *= 0x100000001B3ull;
        h ^= h >> 29;
    }
    return h;
}

void encode_record(const TrainingRecord &r, std::uint8_t out[RECORD_BYTES])
{
    std::memset(out, 0, RECORD_BYTES);
    std::memcpy(out, r.packed.data(), r.packed.size());
    put16(out + 36, static_cast<std::uint16_t>(r.score));
    put16(out + 38, r.move);
    put16(out + 40, r.ply);
    out[42] = static_cast<std::uint8_t>(r.result);
    out[43] = r.grade;
    out[44] = r.teacher;
}

TrainingRecord decode_record(const std::uint8_t in[RECORD_BYTES])
{
    TrainingRecord r;
    std::memcpy(r.packed.data(), in, r.packed.size());
    r.score = static_cast<std::int16_t>(get16(in + 36));
    r.move = static_cast<std::uint16_t>(get16(in + 38));
    r.ply = static_cast<std::uint16_t>(get16(in + 40));
    r.result = static_cast<std::int8_t>(in[42]);
    r.grade = in[43];
    r.teacher = in[44];
    return r;
}

bool append_records(const char *path, const std::vector<TrainingRecord> &records)
{
    std::FILE *fp = std::fopen(path, "ab");
    if (!fp)
        return false;
    std::vector<std::uint8_t> buf(records.size() * RECORD_BYTES);
    for (std::size_t i = 0; i < records.size(); i++)
        encode_record(records[i], buf.data() + i * RECORD_BYTES);
    const bool ok = std::fwrite(buf.data(), 1, buf.size(), fp) == buf.size();
    return std::fclose(fp) == 0 && ok;
}

std::vector<TrainingRecord> read_records(const char *path)
{
    std::vector<TrainingRecord> out;
    std::FILE *fp = std::fopen(path, "rb");
    if (!fp)
        return out;
    std::uint8_t b[RECORD_BYTES];
    std::size_t got;
    while ((got = std::fread(b, 1, RECORD_BYTES, fp)) == RECORD_BYTES)
        out.push_back(decode_record(b));
    if (got > 0)
        std::fprintf(stderr, "%s: a torn record of %zu bytes at the end was left out\n", path, got);
    std::fclose(fp);
    return out;
}
