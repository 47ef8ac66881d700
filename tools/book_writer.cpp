#include "tools/book_writer.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <utility>

#include "board/notation.h"
#include "board/position.h"
#include "frontend/usi_sub.h"

namespace {

// 1 when the first player won, -1 when the second did, 0 for a draw or no result.
int game_result(const std::string &header)
{
    const auto at = header.find("result=");
    if (at == std::string::npos)
        return 0;
    const std::string r = header.substr(at + 7, 3);
    if (r == "1-0")
        return 1;
    if (r == "0-1")
        return -1;
    return 0;
}

}  // namespace

std::vector<BookEntry> collect_book_entries(const std::vector<std::string> &lines, const BookOptions &options,
                                            std::uint32_t *games)
{
    struct Tally {
        int count = 0;
        int score = 0;
    };
    std::map<std::pair<std::uint64_t, int>, Tally> tally;
    *games = 0;
    int result = 0;
    for (const std::string &line : lines) {
        if (line.rfind("#", 0) == 0) {
            result = game_result(line);
            continue;
        }
        std::istringstream words(line);
        std::string w;
        if (!(words >> w) || w != "startpos")
            continue;
        std::vector<std::string> moves;
        if (words >> w && w == "moves")
            while (words >> w)
                moves.push_back(w);
        ++*games;
        std::string prefix = "startpos moves";
        for (int ply = 0; ply < static_cast<int>(moves.size()) && ply < options.max_ply; ply++) {
            // The position before this move, as the engine would be given it.
            const int n = read_position((prefix + "\n").c_str());
            const int done = n == 1 && ply == 0 ? 0 : n;
            if (done != ply)
                break;  // an unreadable move: the rest of the game is not used
            int m = usi2move(moves[ply].c_str());
            if (!m)
                break;
            if (Reverse)
                m = move_reverse(m);
            const int mover_first = (ply & 1) == 0;
            const int score = result == 0 ? 1 : ((result == 1) == mover_first ? 2 : 0);
            Tally &t = tally[{Trunk[0].key, move2smove(m) & 0xFFFF}];
            t.count++;
            t.score += score;
            prefix += " " + moves[ply];
        }
        result = 0;
    }
    std::vector<BookEntry> out;
    for (const auto &[k, t] : tally)
        if (t.count >= options.min_count)
            out.push_back({k.first, static_cast<std::uint16_t>(k.second),
                           static_cast<std::uint16_t>(std::min(t.score, 65535))});
    return out;
}

bool write_book(const char *name, std::vector<BookEntry> entries, std::uint32_t games, std::uint32_t time_stamp)
{
    // Records of one index slot are kept together; within a position the heaviest first.
    std::stable_sort(entries.begin(), entries.end(), [](const BookEntry &a, const BookEntry &b) {
        if ((a.key & 0xFFFF) != (b.key & 0xFFFF))
            return (a.key & 0xFFFF) < (b.key & 0xFFFF);
        if (a.key != b.key)
            return a.key < b.key;
        return a.weight > b.weight;
    });
    auto header = std::make_unique<BookHeader>();
    *header = BookHeader{};
    header->time_stamp = time_stamp;
    header->games = games;
    header->moves = static_cast<std::uint32_t>(entries.size());
    std::vector<BookRecord> records(entries.size() + 1);  // record 0 is never used
    for (std::size_t i = 0; i < entries.size(); i++) {
        const BookEntry &e = entries[i];
        const std::uint32_t n = static_cast<std::uint32_t>(i + 1);
        const bool continues = i + 1 < entries.size() && (entries[i + 1].key & 0xFFFF) == (e.key & 0xFFFF);
        records[n] = {static_cast<std::uint32_t>(e.key), static_cast<std::uint32_t>(e.key >> 32),
                      continues ? n + 1 : 0, e.move, e.weight};
        if (i == 0 || (entries[i - 1].key & 0xFFFF) != (e.key & 0xFFFF))
            header->index[e.key & 0xFFFF] = n;
    }
    std::FILE *fp = std::fopen(name, "wb");
    if (!fp)
        return false;
    bool ok = std::fwrite(header.get(), sizeof *header, 1, fp) == 1;
    ok = ok && std::fwrite(records.data(), sizeof(BookRecord), records.size(), fp) == records.size();
    return std::fclose(fp) == 0 && ok;
}
