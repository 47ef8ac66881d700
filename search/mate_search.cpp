#include "search/mate_search.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "board/new_board.h"
#include "hash/hash.h"
#include "movegen/mate_moves.h"
#include "search/mate_table.h"

using namespace mate;

namespace {

constexpr std::uint64_t DEFENDER_MARK = 0x9E3779B97F4A7C15ull;

// ---- the path --------------------------------------------------------------------------
// Ply 0 is the root; even plies are the attacker's (OR) nodes, odd ones the defender's.
struct Child {
    std::uint64_t key;   // table key
    std::uint64_t full;  // board, both hands and the side to move: for repetitions
    std::uint32_t hand;  // the attacker's hand
    int move;
    Value value;         // read when the parent is entered, then kept up to date by its searches
};

Position path[MATE_MAX_PLY + 2];
Position scratch, look;
std::uint64_t path_full[MATE_MAX_PLY + 2];
std::uint64_t path_key[MATE_MAX_PLY + 2];
std::uint32_t path_hand[MATE_MAX_PLY + 2];
Child children[MATE_MAX_PLY + 1][MATE_LIST_SIZE];
// Counts of the path's positions by a few key bits: most repetition tests end here.
unsigned char path_filter[4096];

int attacker = 1;
int limit = MATE_MAX_PLY;  // no mate longer than this many plies is looked for
std::uint64_t node_cap = 0;  // the shortening of a found mate ends here
int time_cap_ms = -1;        // or here
std::uint64_t nodes = 0;
bool aborted = false;
MateLimits limits;
std::chrono::steady_clock::time_point start_time;
int next_report_ms = 1000;

int elapsed_ms()
{
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_time).count());
}

void check_limits()
{
    if ((limits.nodes && nodes >= limits.nodes) || (node_cap && nodes >= node_cap))
        aborted = true;
    if (limits.stop && limits.stop->load(std::memory_order_relaxed))
        aborted = true;
    const int ms = elapsed_ms();
    if ((limits.time_ms >= 0 && ms >= limits.time_ms) || (time_cap_ms >= 0 && ms >= time_cap_ms))
        aborted = true;
    if (limits.progress && ms >= next_report_ms) {
        limits.progress(nodes, ms);
        next_report_ms = ms + 1000;
    }
}

bool repeats(std::uint64_t full, int ply)
{
    if (!path_filter[full & 4095])
        return false;
    for (int i = ply & 1; i < ply; i += 2)
        if (path_full[i] == full)
            return true;
    return false;
}

void enter(int ply, const Child &c)
{
    path_key[ply] = c.key;
    path_full[ply] = c.full;
    path_hand[ply] = c.hand;
    path_filter[c.full & 4095]++;
}
void leave(int ply) { path_filter[path_full[ply] & 4095]--; }

// Keys and the attacker's hand after side's move in p.
Child make_child(int side, const Position *p, std::uint32_t hand, int move, bool child_is_defender)
{
    const int from = move_from(move), to = move_to(move), piece = move_piece(move), cap = move_cap(move);
    const int placed = move_is_promote(move) ? piece | PROMOTE : piece;
    std::uint64_t bk = p->board_key, hk = p->hand_key;
    if (from) {
        bk ^= hash_seed[side * 16 + piece][from];
        if (cap) {
            bk ^= hash_seed[(side ^ 1) * 16 + cap][to];
            const int t = cap & 7, n = p->hand[side][t];
            hk ^= hand_hash_seed[side * 8 + t][n] ^ hand_hash_seed[side * 8 + t][n + 1];
            if (side == attacker)
                hand += hand_unit(t);
        }
    } else {
        const int n = p->hand[side][piece];
        hk ^= hand_hash_seed[side * 8 + piece][n] ^ hand_hash_seed[side * 8 + piece][n - 1];
        if (side == attacker)
            hand -= hand_unit(piece);
    }
    bk ^= hash_seed[side * 16 + placed][to];
    const std::uint64_t mark = child_is_defender ? DEFENDER_MARK : 0;
    return Child{bk ^ mark, bk ^ hk ^ mark, hand, move, Value{}};
}

// The proof hand of a mated or proved defender node: when a check can be blocked, the
// types the defender lacks must stay with the attacker, or the defender could drop them.
std::uint32_t interposition_hand(const Position *p, std::uint32_t proof, std::uint32_t hand)
{
    const int defender = attacker ^ 1;
    const int k = p->king[defender];
    const int checkers = p->attack[attacker][k];
    if (checkers & (checkers - 1))
        return proof;  // double check: only the king moves
    const int bit = __builtin_ctz(static_cast<unsigned>(checkers));
    if (bit < 8 || bit >= 16 || p->board[k - delta[attacker][bit - 8]] != 0)
        return proof;  // a contact check
    for (int t = FU; t <= HI; t++)
        if (p->hand[defender][t] == 0)
            proof = hand_set(proof, t, hand_get(hand, t));
    return proof;
}

std::uint32_t saturating_add(std::uint32_t a, std::uint32_t b) { return a + b >= INF ? INF : a + b; }
// Threshold of the best child: a little past the second best (the 1 + epsilon trick),
// so that the search does not switch back and forth between two close children.
std::uint32_t beyond(std::uint32_t second) { return second >= INF ? INF : second + 1 + second / 4; }

// The first estimate of a check the table does not know: the defender's replies are
// counted (fewer replies, nearer a mate), and a check without a reply is a mate.
Value first_look(const Position *p, const Child &c)
{
    look = *p;
    NewBoard(attacker, c.move, &look);
    int replies[MATE_LIST_SIZE];
    const int n = mate_evasions(attacker ^ 1, &look, replies, &scratch);
    Value v{n == 0 ? 0 : static_cast<std::uint32_t>(n), n == 0 ? INF : 1, c.hand, 0, false, true};
    if (n == 0)
        v.hand = interposition_hand(&look, 0, c.hand);
    store(c.key, c.hand, v, 0, 0);
    return v;
}

// One df-pn visit of node ply (set up on the path): searches its most promising child
// until the node's proof or disproof number reaches its threshold or it is solved, then
// stores and returns its value.
Value mid(int ply, std::uint32_t th_pn, std::uint32_t th_dn)
{
    Position *p = &path[ply];
    const bool or_node = (ply & 1) == 0;
    const int side = or_node ? attacker : attacker ^ 1;
    const std::uint32_t hand = path_hand[ply];
    const std::uint64_t key = path_key[ply];
    if ((++nodes & 1023) == 0)
        check_limits();
    if (or_node && ply >= limit)
        return Value{INF, 0, hand, 0, false, true, 0};  // no mate within the limit here

    int moves[MATE_LIST_SIZE];
    const int n = or_node ? mate_checks(side, p, moves, &scratch) : mate_evasions(side, p, moves, &scratch);
    const std::uint64_t first_node = nodes;
    if (n == 0) {
        Value v = or_node ? Value{INF, 0, hand, 0, false, true}
                          : Value{0, INF, interposition_hand(p, 0, hand), 0, false, true};
        store(key, hand, v, 0, 1);
        return v;
    }
    // The children's values are read once; afterwards only the child just searched
    // changes (a transposition seen later is picked up on the next visit).
    Child *ch = children[ply];
    for (int i = 0; i < n; i++) {
        ch[i] = make_child(side, p, hand, moves[i], or_node);
        prefetch(ch[i].key);  // the probes below wait on memory
    }
    for (int i = 0; i < n; i++) {
        if (repeats(ch[i].full, ply + 1)) {
            ch[i].value = Value{INF, 0, ch[i].hand, 0, true, true};
            continue;
        }
        const Value v = probe(ch[i].key, ch[i].hand, limit - ply - 1);
        ch[i].value = v.found || !or_node ? v : first_look(p, ch[i]);
    }

    Value node;
    int best = 0;
    for (;;) {
        std::uint32_t pn = or_node ? INF : 0, dn = or_node ? 0 : INF, second = INF;
        best = 0;
        for (int i = 0; i < n; i++) {
            const Value &v = ch[i].value;
            if (or_node) {
                dn = saturating_add(dn, v.dn);
                if (v.pn < pn) {
                    second = pn;
                    pn = v.pn;
                    best = i;
                } else if (v.pn < second) {
                    second = v.pn;
                }
            } else {
                pn = saturating_add(pn, v.pn);
                if (v.dn < dn) {
                    second = dn;
                    dn = v.dn;
                    best = i;
                } else if (v.dn < second) {
                    second = v.dn;
                }
            }
        }
        node.pn = pn;
        node.dn = dn;
        if (pn == 0 || dn == 0 || pn >= th_pn || dn >= th_dn || aborted)
            break;

        const Value &b = ch[best].value;
        std::uint32_t child_pn, child_dn;
        if (or_node) {
            child_pn = th_pn < beyond(second) ? th_pn : beyond(second);
            child_dn = th_dn >= INF ? INF : th_dn - dn + b.dn;
        } else {
            child_dn = th_dn < beyond(second) ? th_dn : beyond(second);
            child_pn = th_pn >= INF ? INF : th_pn - pn + b.pn;
        }
        Position *next = &path[ply + 1];
        *next = *p;
        next->last_move = ch[best].move;
        NewBoard(side, ch[best].move, next);
        enter(ply + 1, ch[best]);
        ch[best].value = mid(ply + 1, child_pn, child_dn);
        leave(ply + 1);
    }

    // The solved node's line length, proof hand and move.
    int move = 0;
    node.hand = hand;
    node.found = true;
    if (node.pn == 0 && or_node) {
        int shortest = 1 << 30;
        for (int i = 0; i < n; i++)
            if (ch[i].value.pn == 0 && ch[i].value.len < shortest) {
                shortest = ch[i].value.len;
                best = i;
            }
        const int m = ch[best].move;
        std::uint32_t proof = ch[best].value.hand;
        if (move_from(m) == 0)
            proof += hand_unit(move_piece(m));
        else if (move_cap(m) && hand_get(proof, move_cap(m) & 7) > 0)
            proof -= hand_unit(move_cap(m) & 7);
        node.hand = hand_min(proof, hand);
        node.len = shortest + 1;
        move = m;
    } else if (node.pn == 0) {
        std::uint32_t proof = 0;
        int longest = 0;
        for (int i = 0; i < n; i++) {
            proof = hand_max(proof, ch[i].value.hand);
            if (ch[i].value.len > longest)
                longest = ch[i].value.len;
        }
        node.hand = interposition_hand(p, proof, hand);
        node.len = longest + 1;
    } else if (node.dn == 0) {
        // A disproof rests on a repetition when one of the refutations it needs does, and
        // holds for the mates that all of them (at the attacker's node) or the best of
        // them (at the defender's) exclude.
        bool rep;
        int depth;
        if (or_node) {
            rep = false;
            depth = DEPTH_ANY;
            for (int i = 0; i < n; i++) {
                rep = rep || ch[i].value.rep;
                depth = std::min(depth, ch[i].value.depth);
            }
        } else {
            rep = true;
            depth = 0;
            for (int i = 0; i < n; i++)
                if (ch[i].value.dn == 0) {
                    rep = rep && ch[i].value.rep;
                    depth = std::max(depth, ch[i].value.depth);
                }
        }
        node.rep = rep;
        node.depth = depth >= DEPTH_ANY ? DEPTH_ANY : depth + 1;
    }
    if (!aborted || node.pn == 0 || node.dn == 0)
        store(key, hand, node, move, nodes - first_node + 1);
    return node;
}

// ---- the mating line ---------------------------------------------------------------------
// Searches node `ply` of the path (set up by the caller) until it is solved or the
// limits end the solve.
Value solve_node(int ply)
{
    Value v;
    do
        v = mid(ply, INF, INF);
    while (v.pn != 0 && v.dn != 0 && !aborted);
    return v;
}

// Follows the proof from node ply: at the attacker's nodes the proved check with the
// shortest mate, at the defender's the reply that lasts longest. Returns the plies
// written to line, or -1 when the proof cannot be followed (the limits ended it).
int follow_proof(int ply, int *line)
{
    Position *p = &path[ply];
    const bool or_node = (ply & 1) == 0;
    const int side = or_node ? attacker : attacker ^ 1;
    if (or_node && ply >= limit)
        return -1;
    int moves[MATE_LIST_SIZE];
    const int n = or_node ? mate_checks(side, p, moves, &scratch) : mate_evasions(side, p, moves, &scratch);
    if (n == 0)
        return or_node ? -1 : 0;
    int chosen = -1, chosen_len = 0;
    for (int attempt = 0; attempt < 2 && chosen < 0; attempt++) {
        for (int i = 0; i < n; i++) {
            Child c = make_child(side, p, path_hand[ply], moves[i], or_node);
            if (repeats(c.full, ply + 1)) {
                if (!or_node)
                    return -1;  // the defender repeats: this is no proof
                continue;
            }
            Value v = probe(c.key, c.hand, limit - ply - 1);
            if (v.pn != 0 && v.dn != 0 && (attempt == 1 || !or_node)) {
                // Lost from the table: prove this child again.
                Position *next = &path[ply + 1];
                *next = *p;
                NewBoard(side, moves[i], next);
                enter(ply + 1, c);
                v = solve_node(ply + 1);
                leave(ply + 1);
            }
            if (v.pn != 0) {
                if (!or_node)
                    return -1;
                continue;
            }
            if (chosen < 0 || (or_node ? v.len < chosen_len : v.len > chosen_len)) {
                chosen = i;
                chosen_len = v.len;
            }
        }
        if (aborted)
            return -1;
    }
    if (chosen < 0)
        return -1;
    Child c = make_child(side, p, path_hand[ply], moves[chosen], or_node);
    Position *next = &path[ply + 1];
    *next = *p;
    next->last_move = moves[chosen];
    NewBoard(side, moves[chosen], next);
    enter(ply + 1, c);
    line[0] = moves[chosen];
    const int rest = follow_proof(ply + 1, line + 1);
    leave(ply + 1);
    return rest < 0 ? -1 : rest + 1;
}

// Looks for shorter mates than the one found, each time with the length limit two plies
// below the best line so far, in an emptied table (disproofs under one limit do not hold
// under another), until none is left, or after twice the nodes and once the time that
// the first proof took.
void shorten(MateResult *result)
{
    static int line[MATE_MAX_PLY + 1];
    node_cap = 3 * nodes + 20000;
    time_cap_ms = limits.nodes ? -1 : 2 * elapsed_ms() + 50;  // a node-limited solve repeats exactly
    while (!aborted && result->length > 1) {
        limit = result->length - 2;
        new_generation();
        const Value v = solve_node(0);
        if (v.pn != 0)
            break;
        const int len = follow_proof(0, line);
        if (len <= 0 || len >= result->length)
            break;
        result->length = len;
        for (int i = 0; i < len; i++)
            result->line[i] = line[i];
    }
    node_cap = 0;
    time_cap_ms = -1;
    aborted = false;  // the mate stands, whatever ended the shortening
}

}  // namespace

void mate_solve(int side, const Position *root, const MateLimits &lim, MateResult *result)
{
    result->length = 0;
    result->repetition = false;
    result->nodes = 0;
    result->ms = 0;
    // No king to mate, or one already in check with the attacker to move (its capture
    // would be no mate): there is nothing to solve.
    if (!root->king[side ^ 1] || in_check(side ^ 1, root)) {
        result->status = MATE_NONE;
        return;
    }
    if (!new_generation() && !mate_table_resize(MATE_TABLE_DEFAULT_MIB) && !mate_table_resize(1)) {
        result->status = MATE_UNKNOWN;
        return;
    }
    std::memset(path_filter, 0, sizeof path_filter);
    attacker = side;
    nodes = 0;
    aborted = false;
    limits = lim;
    start_time = std::chrono::steady_clock::now();
    next_report_ms = 1000;

    path[0] = *root;
    const std::uint32_t hand = pack_hand(root->hand[side]);
    enter(0, Child{root->board_key, root->board_key ^ root->hand_key, hand, 0, Value{}});
    limit = MATE_MAX_PLY;
    node_cap = 0;
    time_cap_ms = -1;
    new_generation();
    Value v = solve_node(0);
    result->status = MATE_UNKNOWN;
    result->length = 0;
    result->repetition = false;
    if (v.pn == 0) {
        const int len = follow_proof(0, result->line);
        if (len > 0) {
            result->status = MATE_FOUND;
            result->length = len;
            shorten(result);
        }
    } else if (v.dn == 0) {
        result->status = MATE_NONE;
        result->repetition = v.rep;
    }
    leave(0);
    result->nodes = nodes;
    result->ms = elapsed_ms();
}
