#include "search/threads.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "log/log.h"
#include "search/search.h"
#include "search/worker.h"

namespace {

struct Helper {
    std::unique_ptr<SearchWorker> worker;
    std::thread thread;
    unsigned seen = 0;  // the last search it was started on
    bool quit = false;  // end the thread (guarded by the pool's mutex)
};

struct Pool {
    std::mutex mutex;
    std::condition_variable wake;  // a search starts, or a helper must quit
    std::condition_variable idle;  // the last helper has finished its search
    unsigned generation = 0;       // searches started
    int running = 0;               // helpers still searching the current one
    int max_depth = 0;
    std::vector<std::unique_ptr<Helper>> helpers;  // changed only while no search runs
    std::atomic<int> active{0};                    // helpers started on the running search

    ~Pool() { shrink(0); }

    void shrink(std::size_t n)
    {
        if (helpers.size() <= n)
            return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (std::size_t i = n; i < helpers.size(); i++)
                helpers[i]->quit = true;
        }
        wake.notify_all();
        for (std::size_t i = n; i < helpers.size(); i++)
            helpers[i]->thread.join();
        helpers.resize(n);
    }
};

Pool pool;

void helper_main(Helper *h)
{
    mute_log_in_this_thread();
    for (;;) {
        int max_depth;
        {
            std::unique_lock<std::mutex> lock(pool.mutex);
            pool.wake.wait(lock, [h] { return h->quit || pool.generation != h->seen; });
            if (h->quit)
                return;
            h->seen = pool.generation;
            max_depth = pool.max_depth;
        }
        int best[2] = {0, 0};
        h->worker->IterativeDeep(best, max_depth);
        std::lock_guard<std::mutex> lock(pool.mutex);
        if (--pool.running == 0)
            pool.idle.notify_all();
    }
}

}  // namespace

int set_search_threads(int n)
{
    n = n < 1 ? 1 : n > MAX_THREADS ? MAX_THREADS : n;
    const std::size_t wanted = static_cast<std::size_t>(n - 1);
    pool.shrink(wanted);
    while (pool.helpers.size() < wanted) {
        auto h = std::make_unique<Helper>();
        try {
            h->worker = std::make_unique<SearchWorker>();
            h->worker->id = static_cast<int>(pool.helpers.size()) + 1;
            h->seen = pool.generation;  // no search runs: the thread waits for the next one
            h->thread = std::thread(helper_main, h.get());
        } catch (const std::bad_alloc &) {
            std::fprintf(stderr, "Threads %d: not enough memory, %zu threads\n", n, pool.helpers.size() + 1);
            break;
        } catch (const std::system_error &) {
            std::fprintf(stderr, "Threads %d: no more threads to be had, %zu threads\n", n, pool.helpers.size() + 1);
            break;
        }
        pool.helpers.push_back(std::move(h));
    }
    return search_threads();
}

int search_threads() { return static_cast<int>(pool.helpers.size()) + 1; }

int search_helpers() { return pool.active.load(std::memory_order_relaxed); }

void start_helpers(int max_depth)
{
    if (pool.helpers.empty())
        return;
    for (auto &h : pool.helpers)
        h->worker->nodes = 0;  // idle: nothing else writes it now
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        pool.max_depth = max_depth;
        pool.running = static_cast<int>(pool.helpers.size());
        pool.active = pool.running;
        pool.generation++;
    }
    pool.wake.notify_all();
}

void stop_helpers()
{
    if (pool.active == 0)
        return;
    // The main thread has ended its search on its own: the helpers stop too. A "stop" that
    // arrives now has nothing left to stop.
    const bool raised_here = AbortSearch.exchange(1) == 0;
    {
        std::unique_lock<std::mutex> lock(pool.mutex);
        pool.idle.wait(lock, [] { return pool.running == 0; });
    }
    pool.active = 0;
    if (raised_here)
        AbortSearch = 0;
}

std::int64_t searched_nodes()
{
    std::int64_t n = main_worker().nodes;
    for (const auto &h : pool.helpers)
        n += h->worker->nodes;
    return n;
}

void reset_node_counts()
{
    main_worker().nodes = 0;
    for (auto &h : pool.helpers)
        h->worker->nodes = 0;
}
