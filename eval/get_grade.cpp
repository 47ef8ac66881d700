#include "eval/get_grade.h"

int Grade;

namespace {

// Attacks and free squares around one king, as the enemy sees them.
struct KingSurroundings {
    int attacked_next = 0;  // squares next to the king the enemy attacks
    int free_next = 0;      // empty squares next to the king the enemy does not attack
    int attacked_far = 0;   // squares at distance 2 the enemy attacks
};

int absolute(int x) { return x < 0 ? -x : x; }

KingSurroundings survey(const Position *p, int side)
{
    KingSurroundings k;
    const int king = p->king[side];
    if (!king)
        return k;
    const int *enemy = p->attack[side ^ 1];
    for (int sq : position_tbl) {
        const int df = absolute((sq >> 4) - (king >> 4)), dr = absolute((sq & 15) - (king & 15));
        const int d = df > dr ? df : dr;
        if (d == 1) {
            if (enemy[sq])
                k.attacked_next++;
            else if (p->board[sq] == 0)
                k.free_next++;
        } else if (d == 2 && enemy[sq]) {
            k.attacked_far++;
        }
    }
    return k;
}

// How exposed side's king is: attacked squares around it and the enemy's pieces in hand.
int danger(const Position *p, int side, const KingSurroundings &k)
{
    const int *hand = p->hand[side ^ 1];
    float sum = 14.43f * k.attacked_next;
    sum += 6.56f * k.attacked_far;
    sum += -2.11f * k.free_next;
    sum += 4.19f * hand[KY];
    sum += 6.88f * hand[KE];
    sum += 9.76f * hand[GI];
    sum += 15.33f * hand[KI];
    sum += 5.23f * hand[KA];
    sum += 5.08f * hand[HI];
    return static_cast<int>(static_cast<double>(sum) + 0.5);
}

// A piece in the enemy's camp: side 0 on ranks 7-9 or side 1 on ranks 1-3.
bool invasion(const Position *p)
{
    for (int sq : position_tbl) {
        const int w = p->board[sq], r = sq & 15;
        if (((w & 32) && r >= 7) || ((w & 16) && r <= 3))
            return true;
    }
    return false;
}

}  // namespace

void GetGrade(const Position *p)
{
    if (in_check(0, p) || in_check(1, p)) {
        Grade = GRADE_ENDGAME;
        return;
    }
    if (nMoves < 15) {
        Grade = GRADE_OPENING;
        return;
    }
    const KingSurroundings k0 = survey(p, 0), k1 = survey(p, 1);
    if (invasion(p) && nMoves > 27)
        Grade = GRADE_MIDDLE;
    if (nMoves > 29) {
        // A king without its king square is never in danger: there is nothing to attack.
        const bool danger0 = p->king[0] && danger(p, 0, k0) >= 70;
        const bool danger1 = p->king[1] && danger(p, 1, k1) >= 70;
        if (danger0 || danger1)
            Grade = GRADE_ENDGAME;
        return;
    }
    if (nMoves >= 22 && (k0.attacked_far >= 2 || k1.attacked_far >= 2))
        Grade = GRADE_MIDDLE;
}
