// The mate tests' positions: see attack_positions.h.
#include "attack_positions.h"

#include <algorithm>
#include <cstdlib>

#include "board/attack.h"
#include "board/new_board.h"
#include "movegen/make_legal.h"
#include "test_util.h"
#include "tools/perft_core.h"

const char *const position_set_names[POSITION_SETS] = {"game positions", "with enlarged hands", "after random moves",
                                                   "after moves toward the king"};

int distance(int a, int b) { return std::max(std::abs((a >> 4) - (b >> 4)), std::abs((a & 15) - (b & 15))); }

void enlarge_hands(Position *p, std::mt19937 &rng)
{
    static constexpr int most[8] = {0, 18, 4, 4, 4, 4, 2, 2};
    for (int t = FU; t <= HI; t++) {
        p->hand[1][t] += p->hand[0][t];
        p->hand[0][t] = 0;
        if (rng() % 2 == 0)
            p->hand[1][t] = std::min(most[t], p->hand[1][t] + 1 + static_cast<int>(rng() % 2));
    }
    if (rng() % 2)
        p->hand[0][1 + rng() % 3] = 1;
    finish(*p);
}

bool press(Position *p, int steps, std::mt19937 &rng)
{
    static int list[MOVE_LIST_SIZE];
    for (int s = 0; s < steps; s++) {
        Trunk[0] = *p;
        const int n = legal_moves(0, 1, list);
        int best = 0, best_distance = 99;
        for (int tries = 0; tries < 3 && n > 0; tries++) {
            const int m = list[rng() % n];
            Position c = *p;
            NewBoard(1, m, &c);
            if (in_check(0, &c))
                continue;
            const int d = distance(move_to(m), p->king[0]);
            if (d < best_distance) {
                best = m;
                best_distance = d;
            }
        }
        if (!best)
            return false;
        NewBoard(1, best, p);
    }
    return true;
}

void for_each_attack_position(int step, unsigned seed,
                              const std::function<bool(const Position &, PositionSet, const std::string &)> &fn)
{
    std::mt19937 rng(seed);
    static int list[MOVE_LIST_SIZE];
    int game = 0;
    for (const GameRecord &g : test_games()) {
        game++;
        for (std::size_t k = game % step; k <= g.moves.size(); k += step) {
            if (set_position(position_text(g, k)) <= 0) {
                ADD_FAILURE() << "game " << game << " ply " << k << " cannot be set up";
                return;
            }
            const std::string where = "game " + std::to_string(game) + " ply " + std::to_string(k);
            const Position root = Trunk[0];
            if (!fn(root, GAME_POSITIONS, where))
                return;
            Position p = root;
            enlarge_hands(&p, rng);
            if (!fn(p, HANDED, where + " with hands"))
                return;
            // A few random legal moves on, each side in turn, then the side to move attacks.
            Trunk[0] = root;
            int side = 1;
            const int steps = 1 + static_cast<int>(rng() % 4);
            bool ok = true;
            for (int s = 0; s < steps && ok; s++) {
                const int n = legal_moves(0, side, list);
                ok = n > 0;
                if (ok) {
                    NewBoard(side, list[rng() % n], &Trunk[0]);
                    side ^= 1;
                }
            }
            if (ok) {
                p = side == 0 ? mirrored(Trunk[0]) : Trunk[0];
                if (rng() % 2)
                    enlarge_hands(&p, rng);
                if (!fn(p, WALKED, where + " walked"))
                    return;
            }
            p = root;
            if (rng() % 2)
                enlarge_hands(&p, rng);
            if (press(&p, 5 + static_cast<int>(rng() % 12), rng) && !fn(p, PRESSED, where + " pressed"))
                return;
        }
    }
}
