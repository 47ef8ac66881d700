#include "book/book_probe.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "board/board_print.h"
#include "board/notation.h"
#include "board/position.h"
#include "log/log.h"
#include "platform/platform.h"

namespace {
char header_logged[4096];  // the file whose header was logged last
BookHeader header;  // 256 KiB: static rather than on the stack
}  // namespace

int book_probe_file(const char *name, unsigned *moves, unsigned *weights)
{
    std::FILE *fp = std::fopen(name, "rb");
    if (!fp) {
        lprintf("no %s\n", name);
        return 0;
    }
    const long size = file_size(name);
    if (size < BOOK_HEADER_SIZE || std::fread(&header, sizeof header, 1, fp) != 1) {
        lputs("book.dat: shorter than its header");
        std::fclose(fp);
        return 0;
    }
    if (std::strcmp(header_logged, name) != 0) {
        std::snprintf(header_logged, sizeof header_logged, "%s", name);
        lprintf("book: %s\n", name);
        const std::time_t t = static_cast<std::time_t>(header.time_stamp & 0xFFFFFFFFu);
        char text[32] = "";
        time_text(t, text, sizeof text);
        lprintf("book.dat 更新日時:%.24s 棋譜数:%u 定跡手数:%u\n\n", text, header.games, header.moves);
    }
    const long records = (size - BOOK_HEADER_SIZE) / BOOK_RECORD_SIZE;
    const std::uint64_t key = Trunk[0].key;
    std::uint32_t seen[BOOK_MAX_CANDIDATES];
    int count = 0;
    std::uint32_t n = header.index[key & 0xFFFF];
    for (int read = 0; n != 0 && read < BOOK_MAX_CANDIDATES; read++) {
        // A broken file must not send the reader past its end or round a loop.
        bool looped = false;
        for (int i = 0; i < read; i++)
            looped = looped || seen[i] == n;
        if (static_cast<long>(n) >= records || looped) {
            lprintf("book.dat: broken chain at record %u\n", n);
            break;
        }
        seen[read] = n;
        BookRecord r;
        if (std::fseek(fp, BOOK_HEADER_SIZE + BOOK_RECORD_SIZE * static_cast<long>(n), SEEK_SET) != 0 ||
            std::fread(&r, sizeof r, 1, fp) != 1)
            break;
        const int move = smove2move(r.move);  // 0 when the record holds no square
        if (move && r.key_low == static_cast<std::uint32_t>(key) && r.key_high == static_cast<std::uint32_t>(key >> 32)) {
            moves[count] = static_cast<unsigned>(move);
            weights[count] = r.weight;
            count++;
        }
        n = r.next;
    }
    std::fclose(fp);
    return count;
}

char BookFile[BOOK_FILE_SIZE] = "book.dat";

int BookProbe(unsigned *moves, unsigned *weights)
{
    char name[4096];
    return book_probe_file(find_data_file(BookFile, name, sizeof name), moves, weights);
}

int book_choice(unsigned *moves, unsigned *weights, int n, int random_book, int move_number)
{
    // Bubble sort: equal weights keep their order from the file.
    for (int i = 0; i < n - 1; i++)
        for (int j = n - 1; j > i; j--)
            if (weights[j] > weights[j - 1]) {
                std::swap(weights[j], weights[j - 1]);
                std::swap(moves[j], moves[j - 1]);
            }
    lprintf("定跡手候補数=%d\n", n);
    int list[BOOK_MAX_CANDIDATES], values[BOOK_MAX_CANDIDATES];
    for (int i = 0; i < n; i++) {
        list[i] = static_cast<int>(moves[i]);
        values[i] = static_cast<int>(weights[i]);
    }
    MovePrint(list, n, values);
    if (random_book && n > 1 && move_number >= 4 && move_number <= 9)
        return static_cast<int>(my_rand() % static_cast<unsigned>(n < 5 ? n : 5));
    return 0;
}
