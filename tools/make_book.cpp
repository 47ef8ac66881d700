// Builds "book.dat" from game records (USI move lists, one game a line).
//
//   qvn-make-book [--max-ply N] [--min-count N] [--time SECONDS] -o book.dat games.usi...
//
// Runs in a directory holding "hash_key.dat": the book's keys are made from it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "hash/hash.h"
#include "tools/book_writer.h"

int main(int argc, char **argv)
{
    BookOptions options;
    const char *out = "book.dat";
    std::vector<std::string> lines;
    for (int i = 1; i < argc; i++) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--max-ply") && has_value)
            options.max_ply = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--min-count") && has_value)
            options.min_count = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--time") && has_value)
            options.time_stamp = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (!std::strcmp(argv[i], "-o") && has_value)
            out = argv[++i];
        else {
            std::ifstream in(argv[i]);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 1;
            }
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
        }
    }
    HashInit();
    std::uint32_t games = 0;
    const std::vector<BookEntry> entries = collect_book_entries(lines, options, &games);
    if (!write_book(out, entries, games, options.time_stamp)) {
        std::fprintf(stderr, "%s: cannot write\n", out);
        return 1;
    }
    std::printf("%s: %u games, %zu book moves (max ply %d, min count %d)\n", out, games, entries.size(),
                options.max_ply, options.min_count);
    return 0;
}
