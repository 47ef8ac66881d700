#include "search/pv.h"

#include <cstring>

#include "board/notation.h"
#include "board/position.h"
#include "hash/hash.h"
#include "log/log.h"

void PvAdd(int *pv, const int *child, int move)
{
    pv[0] = move;
    int i = 0;
    do {
        pv[i + 1] = child[i];
    } while (child[i++] != PV_END && i < PV_SIZE - 1);
}

void PvPrint(const int *pv)
{
    for (int i = 0; i < 32 && pv[i] != PV_END; i++) {
        const char *mark = ((i & 1) ^ Reverse) ? "△" : "▲";
        const int m = Reverse ? move_reverse(pv[i]) : pv[i];
        if (m == 0)
            lprintf("%sPASS", mark);
        else
            lprintf("%s%02x%s%s(%02x) c=%s", mark, move_to(m), koma[move_piece(m)], move_is_promote(m) ? "成" : "",
                    move_from(m), koma[move_cap(m)]);
    }
    lputs("");
}

namespace {

void log_root_line(int rank, const RootRecord &r)
{
    const int m = Reverse ? move_reverse(r.pv[0]) : r.pv[0];
    lprintf("%3d %02x%s%2s(%02x) c=%2s [%6d,%6d,%7d,%3d,%3d]\n", rank, move_to(m), koma[move_piece(m)],
            move_is_promote(m) ? "成" : "", move_from(m), koma[move_cap(m) & 7], r.key, r.value, r.nodes, r.max_ply,
            r.max_qui_ply);
}

double percent(int part, int whole) { return 100.0 * part / whole; }

}  // namespace

void log_root_table(const RootRecord *records, int n)
{
    lputs("                       cut   score   nodes ply qui");
    const int small_nodes = profile[0] / 50;
    for (int i = 0; i < n && i < 3; i++) {
        if (i > 0 && records[i].nodes <= small_nodes)
            continue;
        log_root_line(i + 1, records[i]);
        PvPrint(records[i].pv);
    }
    int small = 0;
    for (int i = 3; i < n && small < 5; i++) {
        if (records[i].nodes <= small_nodes || records[i].key == -30001)
            small++;
        log_root_line(i + 1, records[i]);
    }
    lputs("");
}

void log_iteration_statistics(int elapsed, int it_time)
{
    const int *w = profile;
    lprintf("Elapsed:%d[ms] NPS:%lld\n", elapsed, (static_cast<long long>(w[0]) + w[3]) * 1000 / it_time);
    lprintf("Node:%d PvNode:%d NonPvNode:%d QuiNode:%d\n", w[0], w[1], w[2], w[3]);
    lprintf("Reduction fail(PV):%d ZWS fail(PV):%d Reduction fail(NonPV):%d\n", w[4], w[5], w[6]);
    lprintf("IID_pv:%d IID_nonpv:%d\n", w[17], w[18]);
    lprintf("Razoring:%.1lf(%d) Null move-prune:%.1lf(%d)\n", percent(w[15], w[0]), w[15], percent(w[16], w[0]), w[16]);
    if (const int sum = w[19] + w[20] + w[21] + w[22] + w[23])
        lprintf("LMR    PV 0:%.1lf(%d) 0.5:%.1lf(%d) 1:%.1lf(%d) 1.5:%.1lf(%d)\n", percent(w[19], sum), w[19],
                percent(w[20], sum), w[20], percent(w[21], sum), w[21], percent(w[22], sum), w[22]);
    if (const int sum = w[24] + w[25] + w[26] + w[27] + w[28])
        lprintf("LMR nonPV 0:%.1lf(%d) 0.5:%.1lf(%d) 1:%.1lf(%d) 1.5:%.1lf(%d) 2:%.1lf(%d)\n", percent(w[24], sum),
                w[24], percent(w[25], sum), w[25], percent(w[26], sum), w[26], percent(w[27], sum), w[27],
                percent(w[28], sum), w[28]);
    if (w[29])
        lprintf("PV Futility:%.1lf(%d)\n", percent(w[30], w[29]), w[30]);
    if (w[34])
        lprintf("nonPV Futility1:%.1lf(%d) Futility2:%.1lf(%d) NegaSee:%.1lf(%d) NegaCapPro:%.1lf(%d)\n",
                percent(w[35], w[34]), w[35], percent(w[36], w[34]), w[36], percent(w[37], w[34]), w[37],
                percent(w[38], w[34]), w[38]);
    if (w[39])
        lprintf("Quiescence Futility:%.1lf(%d) NegaSee:%.1lf(%d)\n", percent(w[40], w[39]), w[40],
                percent(w[41], w[39]), w[41]);
    lprintf("Hash Use0:%d Use1:%d Use2:%d Collision:%d Used:%.1lf%% Hits:%.1lf%%\n", w[9], w[10], w[11], w[12],
            w[9] * 100.0 / hash_entry_count(), percent(w[8], w[7] + 1));
    if (w[13])
        lprintf("EvalHashHits %.1lf%%(%d)\n", percent(w[14], w[13]), w[14]);
}

void log_final_tables(int max_ply)
{
    const int *w = profile;
    lputs("beta cut av.");
    lprintf("PLY");
    for (int p = 2; p <= max_ply; p++)
        lprintf("%5d", p);
    lprintf("\nPV   ");
    for (int p = 1; p < max_ply && 44 + p < 77; p++)
        lprintf("%5.1lf", w[44 + p] / 10.0);
    lprintf("\nNonPV");
    for (int p = 1; p < max_ply && 77 + p < 110; p++)
        lprintf("%5.1lf", w[77 + p] / 10.0);
    lprintf("\n\nAll Moves=%d\n", w[110]);
    if (w[110]) {
        lprintf("HashMove %.3lf(%d) KillerMate %.3lf(%d) Killer1 %.3lf(%d) Killer2 %.3lf(%d)\n", percent(w[112], w[110]),
                w[112], percent(w[113], w[110]), w[113], percent(w[114], w[110]), w[114], percent(w[115], w[110]),
                w[115]);
        lprintf("GOOD CapPro %.2lf(%u) BAD CapPro %.2lf(%u) History %.1lf%% NoHistory %.1lf%% Evasion %.2lf(%u)\n",
                percent(w[116], w[110]), w[116], percent(w[117], w[110]), w[117], percent(w[118], w[110]),
                percent(w[119], w[110]), percent(w[111], w[110]), w[111]);
    }
}
