#include "eval/evalute.h"

#include <initializer_list>

#include "board/position.h"

int piece_value[16];
int promote_value[8];
int mvv_lva[16][16];

// The weights arrive with the evaluation; until then only the material tables exist.
void InitEvalute(int)
{
    for (int t = 1; t < 16; t++)
        piece_value[t] = PieceValue[t] + PieceValue[t & 7];
    for (int t : {FU, KY, KE, GI, KA, HI})
        promote_value[t] = PieceValue[t + 8] - PieceValue[t];
    for (int c = 1; c < 16; c++)
        for (int m = 1; m < 16; m++)
            mvv_lva[c][m] = PieceValue[c] - PieceValue[m] / 16;
}
