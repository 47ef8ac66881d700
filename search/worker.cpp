#include "search/worker.h"

#include <cstring>

#include "eval/evalute.h"
#include "search/params.h"

void SearchWorker::clear_search_tables()
{
    for (int i = 0; i < HISTORY_SIZE; i++)
        HistoryCut[i] = HistoryTride[i] = 0;
    // 22 MiB: left alone (and untouched) while the switch is off.
    if (params.history_gravity)
        clear_gravity_tables();
    for (int i = 0; i < KILLER_SIZE; i++)
        KillerMove1[i] = KillerMove2[i] = KillerMate[i] = 0;
    for (int i = 44; i < PROFILE_SIZE; i++)
        profile[i] = 0;
}

void SearchWorker::clear_gravity_tables()
{
    std::memset(GravityHistory, 0, sizeof GravityHistory);
    std::memset(Continuation, 0, sizeof Continuation);
}

void SearchWorker::set_root()
{
    trunk[0] = Trunk[0];
    // The sums of the last search may be of another network.
    for (std::uint64_t &k : acc_key)
        k = 0;
}

const NetAccumulator &SearchWorker::sums(int ply)
{
    if (acc_key[ply] != trunk[ply].key) {
        net_refresh(Net, &trunk[ply], &acc[ply]);
        acc_key[ply] = trunk[ply].key;
    }
    return acc[ply];
}

void SearchWorker::make_sums(int side, int ply, int move)
{
    net_update(Net, acc[ply], &trunk[ply], side, move, &acc[ply + 1]);
    acc_key[ply + 1] = trunk[ply + 1].key;
}

int SearchWorker::evaluate(int side, int ply)
{
    if (!NetActive)
        return Evalute(&trunk[ply]);
    return Evalute(&trunk[ply], side, &sums(ply));
}

int SearchWorker::network_part(int side, int ply)
{
    const int v = net_evaluate(Net, sums(ply), side);
    return side ? v : -v;
}

void SearchWorker::carry_network(int side, int ply, int move)
{
    make_sums(side, ply, move);
    net_part[ply + 1] = network_part(side ^ 1, ply + 1);
    trunk[ply + 1].eval += net_part[ply + 1] - net_part[ply];
}

void SearchWorker::copy_accumulator(int ply)
{
    if (NetActive && acc_key[ply] == trunk[ply].key) {
        acc[ply + 1] = acc[ply];
        acc_key[ply + 1] = acc_key[ply];
    }
}

SearchWorker &main_worker()
{
    static SearchWorker worker;
    return worker;
}
