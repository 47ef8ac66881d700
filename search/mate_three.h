// A quick test for a mate in three plies that starts with a contact check, for the nodes
// of the search where the mate-in-one test has found nothing.
#pragma once

#include "board/position.h"

// A move by which side, to move in p, mates in three plies (a check, any answer, a mate
// at once), looking only at contact checks; 0 when it finds none.
//
// A move it answers is always right: a legal check that is one of the moves the engine's
// generators give, after which the defender has at least one answer and every legal
// answer (king moves and captures of the checker; a contact check cannot be blocked) is
// met by a mate that mate_in_one finds, made on a copy. A first move that mates at once
// (the defender has no answer) is answered as well, but for a pawn drop, which may not
// mate. First moves looked at:
//   - drops next to the king that check (a pawn drop in front of it too) and knight drops;
//   - board moves onto a square next to the king, or a knight's jump from it, after which
//     the piece moved checks (captures and promotions in the generators' forms; a
//     discovered check that makes it a double check included).
// It misses
//   - first moves that check from a distance (lance, bishop, rook, horse or dragon slides)
//     or by uncovering a slider alone, and the plain (unpromoted) pawn, bishop and rook
//     moves that the generators leave out;
//   - sacrifices: a checking piece that the defender can take with nothing of the
//     attacker's left to take back (never looked at: trying them would cost four times
//     as much for one mate in twenty);
//   - checks that leave the king three squares or more to step to (each would need a
//     mate of its own; about one mate in forty);
//   - mates whose third move is one that mate_in_one leaves out (a discovered check,
//     some distant checks).
// Returns 0 when side is in check, or the enemy has no king or is in check.
int mate_in_three(int side, const Position *p);
