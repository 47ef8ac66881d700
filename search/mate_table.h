// The mate solver's transposition table and the packed hands it keys on.
//
// Entries are found by the board (marked at the defender's nodes) and hold the
// attacker's hand: a proof made with a hand holds for every hand with at least as much
// of each type, a disproof for every hand with at most as much (the defender holds the
// rest, so a larger attacker's hand leaves the defender fewer answers).
#pragma once

#include <cstdint>

#include "board/position.h"

namespace mate {

constexpr std::uint32_t INF = 0x3FFFFFFF;  // a proof or disproof number that can never be met
constexpr int DEPTH_ANY = 0xFFFF;          // a disproof that no length limit made

// ---- the attacker's hand, packed ---------------------------------------------------
// One field per type with a guard bit above it, so that "a holds no more of any type
// than b" is one subtraction: pawns 5 bits, lance to gold 3, bishop and rook 2.
constexpr int hand_shift[8] = {0, 0, 6, 10, 14, 18, 22, 25};
constexpr std::uint32_t hand_field[8] = {0, 31, 7, 7, 7, 7, 3, 3};
constexpr std::uint32_t HAND_GUARD =
    (1u << 5) | (1u << 9) | (1u << 13) | (1u << 17) | (1u << 21) | (1u << 24) | (1u << 27);

inline int hand_get(std::uint32_t h, int t) { return static_cast<int>((h >> hand_shift[t]) & hand_field[t]); }
inline std::uint32_t hand_unit(int t) { return 1u << hand_shift[t]; }
inline std::uint32_t hand_set(std::uint32_t h, int t, int n)
{
    return (h & ~(hand_field[t] << hand_shift[t])) | (static_cast<std::uint32_t>(n) << hand_shift[t]);
}
// True when a holds no more of any type than b.
inline bool hand_le(std::uint32_t a, std::uint32_t b) { return (((b | HAND_GUARD) - a) & HAND_GUARD) == HAND_GUARD; }
std::uint32_t pack_hand(const int *hand);
std::uint32_t hand_max(std::uint32_t a, std::uint32_t b);  // type by type
std::uint32_t hand_min(std::uint32_t a, std::uint32_t b);

// What the solver knows of one node.
struct Value {
    std::uint32_t pn = 1, dn = 1;
    std::uint32_t hand = 0;  // the proof or disproof hand of a solved node
    int len = 0;             // proved: plies to mate
    bool rep = false;        // disproved: rests on a repetition met on some path
    bool found = false;      // the table knew the node
    int depth = DEPTH_ANY;   // disproved: for mates of up to this many plies
};

// The table's value of a node with `remaining` plies left under the length limit: a
// proof only when its mate is no longer, a disproof only when it covers them all.
Value probe(std::uint64_t key, std::uint32_t hand, int remaining);
// Stores the value of the node with key and hand `node_hand` (a solved value carries
// its own proof or disproof hand); work: the nodes spent on it.
void store(std::uint64_t key, std::uint32_t node_hand, const Value &v, int move, std::uint64_t work);
// Asks the memory for the cluster of key ahead of its probe.
void prefetch(std::uint64_t key);
// Empties the table of earlier solves; false when there is no table.
bool new_generation();

}  // namespace mate
