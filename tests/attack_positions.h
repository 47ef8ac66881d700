// Positions where the side to move may have a mate: the test games' positions, the same with
// the defender's hand handed to the attacker, a few random moves on, and after the attacker
// has brought pieces toward the king. The mate tests compare their answers on them.
#pragma once

#include <functional>
#include <random>
#include <string>

#include "board/position.h"

// The larger of the file and rank distances between two squares.
int distance(int a, int b);

// The defender's hand goes to the side to move (side 1), with one or two more pieces of a
// few random types, each hand kept within what a set has of the type (hand and board
// together may hold more: the mate tests do not mind); the defender may keep a pawn, lance
// or knight (which it can drop between only on some squares).
void enlarge_hands(Position *p, std::mt19937 &rng);

// Side 1 plays `steps` random legal moves that give no check while side 0 passes, each the
// one of three random picks that lands nearest the enemy king: attacks on it pile up.
// False when the picks hold no such move. Uses Trunk[0].
bool press(Position *p, int steps, std::mt19937 &rng);

enum PositionSet { GAME_POSITIONS, HANDED, WALKED, PRESSED, POSITION_SETS };
extern const char *const position_set_names[POSITION_SETS];

// Every step-th ply of every test game (from game number mod step), made into one position
// of each set with side 1 to move, given to fn with its set and where it comes from; stops
// at once when fn returns false. Uses Trunk[0].
void for_each_attack_position(int step, unsigned seed,
                              const std::function<bool(const Position &, PositionSet, const std::string &)> &fn);
