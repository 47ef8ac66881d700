#include "tools/learn/learner.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <thread>

namespace {

constexpr int OFFENSE = 0, DEFENSE = 1;               // tables 0 and 1 of the file
constexpr int KING_TABLE = 81 * 9 * 81;
constexpr int REL_SIZE = 9 * 17 * 9;                  // kind, rank difference, file distance
constexpr int PSQ_SIZE = 9 * 81;                      // kind, square
constexpr int REL_BASE = WEIGHT_COUNT;                // offense, then defense
constexpr int PSQ_BASE = WEIGHT_COUNT + 2 * REL_SIZE;
constexpr int PARAMETERS = PSQ_BASE + 2 * PSQ_SIZE;

constexpr int mirror81(int i) { return 9 * (8 - i / 9) + i % 9; }

// Sum over threads of a mini-batch's gradient, kept dense with a list of what it touched.
struct Accumulator {
    std::vector<double> g = std::vector<double>(PARAMETERS);
    std::vector<int> touched;
    std::vector<char> mark = std::vector<char>(PARAMETERS);
    double loss = 0;
    void add(int p, double x)
    {
        if (!mark[p]) {
            mark[p] = 1;
            touched.push_back(p);
        }
        g[p] += x;
    }
    void clear()
    {
        for (int p : touched)
            g[p] = 0, mark[p] = 0;
        touched.clear();
        loss = 0;
    }
};

}  // namespace

double sigmoid(double x) { return 1.0 / (1.0 + std::exp(-x)); }

double cross_entropy(double q, double p)
{
    q = std::clamp(q, 1e-12, 1 - 1e-12);
    return -(p * std::log(q) + (1 - p) * std::log(1 - q));
}

double minimize_unimodal(const std::function<double(double)> &f, double lo, double hi)
{
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < 60; i++) {
        const double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
        if (f(a) < f(b))
            hi = b;
        else
            lo = a;
    }
    return (lo + hi) / 2;
}

void LearnSet::add(const int *index, const int *coefficient, int n, double base, double target)
{
    samples.push_back({static_cast<std::uint32_t>(features.size()), static_cast<std::uint16_t>(n),
                       static_cast<float>(base), static_cast<float>(target)});
    for (int i = 0; i < n; i++)
        features.push_back(static_cast<std::uint32_t>(index[i]) * 2 + (coefficient[i] < 0 ? 1 : 0));
}

Learner::Learner(const LearnOptions &o, const std::vector<double> &start)
    : options(o), expand_(WEIGHT_COUNT), theta_(PARAMETERS), start_(PARAMETERS), m_(PARAMETERS), v_(PARAMETERS)
{
    for (int i = 0; i < WEIGHT_COUNT; i++) {
        Expansion &e = expand_[i];
        e.p[0] = i;
        e.p[1] = e.p[2] = -1;
        const int table = i / KING_TABLE;
        if (table > DEFENSE)
            continue;
        const int r = i % KING_TABLE, king = r / 729, kind = r / 81 % 9, sq = r % 81;
        if (o.mirror)
            e.p[0] = std::min(i, table * KING_TABLE + mirror81(king) * 729 + kind * 81 + mirror81(sq));
        if (o.factors) {
            const int dr = sq % 9 - king % 9, df = std::abs(sq / 9 - king / 9);
            e.p[1] = REL_BASE + table * REL_SIZE + kind * 153 + (dr + 8) * 9 + df;
            const int psq = o.mirror ? std::min(sq, mirror81(sq)) : sq;
            e.p[2] = PSQ_BASE + table * PSQ_SIZE + kind * 81 + psq;
        }
    }
    // A tied parameter starts from the mean of the weights it stands for.
    std::vector<int> count(PARAMETERS);
    for (int i = 0; i < WEIGHT_COUNT; i++) {
        theta_[expand_[i].p[0]] += start[i];
        count[expand_[i].p[0]]++;
    }
    for (int p = 0; p < WEIGHT_COUNT; p++)
        if (count[p] > 1)
            theta_[p] /= count[p];
    start_ = theta_;
}

double Learner::value(const LearnSet &set, const LearnSample &s) const
{
    double v = s.base;
    for (std::uint32_t k = s.first; k < s.first + s.count; k++) {
        const std::uint32_t f = set.features[k];
        const Expansion &e = expand_[f >> 1];
        double w = theta_[e.p[0]];
        if (e.p[1] >= 0)
            w += theta_[e.p[1]] + theta_[e.p[2]];
        v += (f & 1) ? -w : w;
    }
    return v;
}

double Learner::loss(const LearnSet &set, bool regularised) const
{
    double sum = 0;
    for (const LearnSample &s : set.samples)
        sum += cross_entropy(sigmoid(value(set, s) / options.scale), s.target);
    double l = set.samples.empty() ? 0 : sum / static_cast<double>(set.samples.size());
    if (regularised)
        for (int p = 0; p < PARAMETERS; p++)
            l += options.l2 * (theta_[p] - start_[p]) * (theta_[p] - start_[p]);
    return l;
}

std::vector<double> Learner::gradient(const LearnSet &set) const
{
    std::vector<double> g(PARAMETERS);
    const double n = static_cast<double>(set.samples.size());
    for (const LearnSample &s : set.samples) {
        const double d = (sigmoid(value(set, s) / options.scale) - s.target) / options.scale / n;
        for (std::uint32_t k = s.first; k < s.first + s.count; k++) {
            const std::uint32_t f = set.features[k];
            const double x = (f & 1) ? -d : d;
            for (int p : expand_[f >> 1].p)
                if (p >= 0)
                    g[p] += x;
        }
    }
    for (int p = 0; p < PARAMETERS; p++)
        g[p] += 2 * options.l2 * (theta_[p] - start_[p]);
    return g;
}

void Learner::epoch(const LearnSet &set, std::mt19937_64 &rng)
{
    std::vector<std::uint32_t> order(set.samples.size());
    std::iota(order.begin(), order.end(), 0u);
    std::shuffle(order.begin(), order.end(), rng);
    const int threads = std::max(1, options.threads);
    std::vector<Accumulator> acc(static_cast<std::size_t>(threads));

    for (std::size_t at = 0; at < order.size(); at += static_cast<std::size_t>(options.batch)) {
        const std::size_t end = std::min(order.size(), at + static_cast<std::size_t>(options.batch));
        auto work = [&](int t) {
            Accumulator &a = acc[static_cast<std::size_t>(t)];
            for (std::size_t i = at + static_cast<std::size_t>(t); i < end; i += static_cast<std::size_t>(threads)) {
                const LearnSample &s = set.samples[order[i]];
                const double d = sigmoid(value(set, s) / options.scale) - s.target;
                for (std::uint32_t k = s.first; k < s.first + s.count; k++) {
                    const std::uint32_t f = set.features[k];
                    const double x = (f & 1) ? -d : d;
                    for (int p : expand_[f >> 1].p)
                        if (p >= 0)
                            a.add(p, x);
                }
            }
        };
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; t++)
            pool.emplace_back(work, t);
        work(0);
        for (std::thread &th : pool)
            th.join();

        // Adam on the parameters the batch touched; the regulariser is applied to them only.
        step_++;
        const double c1 = 1 - std::pow(options.beta1, static_cast<double>(step_));
        const double c2 = 1 - std::pow(options.beta2, static_cast<double>(step_));
        const double scale = 1.0 / options.scale / static_cast<double>(end - at);
        for (int t = 0; t < threads; t++)
            for (int p : acc[static_cast<std::size_t>(t)].touched) {
                if (acc[static_cast<std::size_t>(t)].mark[p] == 2)
                    continue;  // summed already from an earlier thread's list
                double g = 0;
                for (Accumulator &a : acc)
                    if (a.mark[p] == 1) {
                        g += a.g[p];
                        a.mark[p] = 2;
                    }
                g = g * scale + 2 * options.l2 * (theta_[p] - start_[p]);
                m_[p] = options.beta1 * m_[p] + (1 - options.beta1) * g;
                v_[p] = options.beta2 * v_[p] + (1 - options.beta2) * g * g;
                theta_[p] -= options.rate * (m_[p] / c1) / (std::sqrt(v_[p] / c2) + 1e-8);
            }
        for (Accumulator &a : acc)
            a.clear();
    }
}

std::vector<double> Learner::weights() const
{
    std::vector<double> w(WEIGHT_COUNT);
    for (int i = 0; i < WEIGHT_COUNT; i++) {
        const Expansion &e = expand_[i];
        w[i] = theta_[e.p[0]] + (e.p[1] >= 0 ? theta_[e.p[1]] + theta_[e.p[2]] : 0);
    }
    return w;
}
