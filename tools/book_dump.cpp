// Lists the book candidates of positions read from standard input, one USI position
// argument a line ("startpos moves ..." or "sfen ..."):  qvn-book-dump [book.dat]
//
// Runs in a directory holding the "hash_key.dat" the book was built with.
#include <cstdio>
#include <string>

#include "board/notation.h"
#include "book/book_probe.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"

int main(int argc, char **argv)
{
    const char *book = argc > 1 ? argv[1] : "book.dat";
    HashInit();
    char line[10000];
    while (std::fgets(line, sizeof line, stdin)) {
        if (read_position(line) < 0)
            continue;
        unsigned moves[BOOK_MAX_CANDIDATES], weights[BOOK_MAX_CANDIDATES];
        const int n = book_probe_file(book, moves, weights);
        book_choice(moves, weights, n, 0, 0);
        std::printf("%s", line);
        for (int i = 0; i < n; i++) {
            char text[8];
            const int m = static_cast<int>(moves[i]);
            move2usi(Reverse ? move_reverse(m) : m, text);
            std::printf("  %-6s %u\n", text, weights[i]);
        }
        if (n == 0)
            std::printf("  (not in the book)\n");
    }
    return 0;
}
