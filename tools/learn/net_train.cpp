// Trains the evaluation network on game files and writes it in the engine's format.
//
//   qvn-net-train --data FILE [--data FILE ...] [--out net.bin] [--svg loss.svg]
//       [--check TSV] [--hidden 32] [--activation crelu|screlu] [--epochs 10]
//       [--batch 16384] [--rate 0.001] [--decay 0.8] [--lambda 0.5] [--scale 888.5]
//       [--teacher-scale T] [--base static|quiescence] [--keep-captures]
//       [--max-score 3000] [--min-ply 0] [--validation 0.05] [--threads 2] [--seed 1] [--peer-results]
//       [--weights weight.dat] [--max-positions N] [--stamp N]
//
// Run where "hash_key.dat" is. Every position of a game with a teacher's score is learnt
// from, except positions in check, positions whose played move takes a piece (unless
// --keep-captures) and scores beyond --max-score. The network learns what the linear
// evaluation misses: a position's value is the linear value (the static evaluation, or the
// quiescence search's value built on it) plus the network's output, and the loss is the
// cross-entropy of sigmoid(value / scale) against
//   lambda x sigmoid(teacher / teacher scale) + (1 - lambda) x result,
// the teacher scale fitted to the game results unless given. The results of games against
// other engines are left out (the teacher's score alone is learnt there) unless --peer-results. The last --validation of each
// file's games is held out. --check takes a TSV of scored positions (SFEN, score, result,
// ply, move) and prints the rank correlation of the evaluation with its scores per epoch.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "eval/network.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "search/search.h"
#include "search/worker.h"
#include "tools/learn/game_file.h"
#include "tools/learn/learner.h"
#include "tools/learn/net_model.h"
#include "tools/learn/positions.h"
#include "tools/learn/loss_svg.h"

extern int nMoves;

namespace {

struct Options {
    std::vector<std::string> data;
    std::string out = "net.bin", svg, check, weights = "weight.dat", base = "quiescence";
    int hidden = 32, activation = NET_CRELU, epochs = 10, batch = 16384, threads = 2, min_ply = 0;
    double rate = 0.001, decay = 0.8, lambda = 0.5, scale = 888.5, teacher_scale = 0, validation = 0.05;
    double max_score = 3000;
    bool keep_captures = false;
    bool peer_results = false;  // learn from the results of games against other engines too
    long max_positions = 0;
    unsigned long long seed = 1;
    long long stamp = 0;
};

bool parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        const bool has = i + 1 < argc;
        if (a == "--data" && has) o.data.push_back(argv[++i]);
        else if (a == "--out" && has) o.out = argv[++i];
        else if (a == "--svg" && has) o.svg = argv[++i];
        else if (a == "--check" && has) o.check = argv[++i];
        else if (a == "--weights" && has) o.weights = argv[++i];
        else if (a == "--base" && has) o.base = argv[++i];
        else if (a == "--hidden" && has) o.hidden = std::atoi(argv[++i]);
        else if (a == "--activation" && has) o.activation = std::string(argv[++i]) == "screlu" ? NET_SCRELU : NET_CRELU;
        else if (a == "--epochs" && has) o.epochs = std::atoi(argv[++i]);
        else if (a == "--batch" && has) o.batch = std::max(1, std::atoi(argv[++i]));
        else if (a == "--threads" && has) o.threads = std::max(1, std::atoi(argv[++i]));
        else if (a == "--min-ply" && has) o.min_ply = std::atoi(argv[++i]);
        else if (a == "--rate" && has) o.rate = std::atof(argv[++i]);
        else if (a == "--decay" && has) o.decay = std::atof(argv[++i]);
        else if (a == "--lambda" && has) o.lambda = std::atof(argv[++i]);
        else if (a == "--peer-results") o.peer_results = true;
        else if (a == "--scale" && has) o.scale = std::atof(argv[++i]);
        else if (a == "--teacher-scale" && has) o.teacher_scale = std::atof(argv[++i]);
        else if (a == "--validation" && has) o.validation = std::atof(argv[++i]);
        else if (a == "--max-score" && has) o.max_score = std::atof(argv[++i]);
        else if (a == "--max-positions" && has) o.max_positions = std::atol(argv[++i]);
        else if (a == "--seed" && has) o.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--stamp" && has) o.stamp = std::atoll(argv[++i]);
        else if (a == "--keep-captures") o.keep_captures = true;
        else return false;
    }
    const bool hidden_ok = o.hidden == 16 || o.hidden == 32 || o.hidden == 64 || o.hidden == 128;
    return !o.data.empty() && hidden_ok && (o.base == "static" || o.base == "quiescence");
}

// Training positions: the side to move's features, the linear value and the labels.
struct Sample {
    std::uint32_t first;
    std::uint8_t count;
    float base;    // linear value, side to move's view
    float score;   // the teacher's
    float result;  // 1 won, 0.5 drawn, 0 lost; -1 not learnt from (the teacher's score alone)
    float target;  // set once the teacher scale is known
};
struct SampleSet {
    std::vector<std::uint16_t> features;
    std::vector<Sample> samples;
    const std::uint16_t *of(const Sample &s) const { return features.data() + s.first; }
};

// The linear value of a position set up as the engine's root; false for a mate.
bool linear_value(const Position &p, bool quiescence, int *value)
{
    if (!quiescence) {
        *value = EvaluteNoHash(&p);
        return true;
    }
    Trunk[0] = p;
    AbortSearch = 0;
    SearchWorker &w = main_worker();
    w.set_root();
    w.trunk[0].eval = 0;
    *value = w.Quiescence(1, -MATE, MATE, 0, 0);
    return *value < MATE - 1000 && *value > -MATE + 1000;
}

void add_sample(SampleSet &set, const Position &p, double base, double score, double result)
{
    int f[NET_MAX_ACTIVE];
    const int n = net_features(&p, 1, f);
    set.samples.push_back({static_cast<std::uint32_t>(set.features.size()), static_cast<std::uint8_t>(n),
                           static_cast<float>(base), static_cast<float>(score), static_cast<float>(result), 0});
    for (int k = 0; k < n; k++)
        set.features.push_back(static_cast<std::uint16_t>(f[k]));
}

struct BuildCounts {
    long games = 0, positions = 0, unscored = 0, checks = 0, captures = 0, large = 0, mates = 0, bad_games = 0;
};

// Replays games into a set; keeps up to keep_positions of its positions for the check of
// the fixed-point network.
void build(const std::vector<GameData> &games, const Options &o, SampleSet &set, BuildCounts &c,
           std::vector<Position> *kept, std::size_t keep_positions)
{
    for (const GameData &g : games) {
        if (o.max_positions && static_cast<long>(set.samples.size()) >= o.max_positions)
            break;
        Grade = GRADE_OPENING;
        std::string error;
        c.games++;
        const bool whole = replay_game(g, [&](const ReplayedPosition &r) {
            c.positions++;
            // The phase is a state of the game: follow it through every position.
            nMoves = r.ply + 1;
            GetGrade(&r.pos);
            if (r.score == GAME_NO_SCORE || r.ply < o.min_ply) {
                c.unscored++;
                return;
            }
            if (r.in_check) {
                c.checks++;
                return;
            }
            if (r.capture && !o.keep_captures) {
                c.captures++;
                return;
            }
            if (std::abs(r.score) > o.max_score) {
                c.large++;
                return;
            }
            int value;
            if (!linear_value(r.pos, o.base == "quiescence", &value)) {
                c.mates++;
                return;
            }
            // qvn loses nearly every game against a stronger engine, whatever the position
            // says: such results would teach the network to recognise qvn's side.
            const bool peer = (g.kind & 15) != 0;
            add_sample(set, r.pos, value, r.score, peer && !o.peer_results ? -1.0 : (r.result + 1) / 2.0);
            if (kept && kept->size() < keep_positions)
                kept->push_back(r.pos);
        }, &error);
        if (!whole && c.bad_games++ < 5)
            std::fprintf(stderr, "  %s\n", error.c_str());
    }
}

// The teacher scale that best predicts the game results from the teacher's scores.
double fit_teacher_scale(const SampleSet &set)
{
    auto loss = [&](double s) {
        double sum = 0;
        for (const Sample &x : set.samples)
            if (x.result >= 0)
                sum += cross_entropy(sigmoid(x.score / s), x.result);
        return sum;
    };
    return minimize_unimodal(loss, 20, 20000);
}

// Spearman's rank correlation: Pearson's of the ranks, ties given their mean rank.
std::vector<double> ranks(const std::vector<double> &x)
{
    std::vector<std::size_t> order(x.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
    std::vector<double> r(x.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && x[order[j + 1]] == x[order[i]])
            j++;
        for (std::size_t k = i; k <= j; k++)
            r[order[k]] = (static_cast<double>(i) + static_cast<double>(j)) / 2;
        i = j + 1;
    }
    return r;
}

double spearman(const std::vector<double> &a, const std::vector<double> &b)
{
    const std::vector<double> ra = ranks(a), rb = ranks(b);
    const double n = static_cast<double>(a.size());
    const double ma = std::accumulate(ra.begin(), ra.end(), 0.0) / n, mb = std::accumulate(rb.begin(), rb.end(), 0.0) / n;
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < ra.size(); i++)
        sab += (ra[i] - ma) * (rb[i] - mb), saa += (ra[i] - ma) * (ra[i] - ma), sbb += (rb[i] - mb) * (rb[i] - mb);
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

// The check set: scored positions of strong engines' games.
struct CheckSet {
    SampleSet set;
    std::vector<double> scores, material;
};

bool read_check(const Options &o, CheckSet &c)
{
    std::ifstream in(o.check);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream cols(line);
        std::string sfen, score, result, ply;
        if (!std::getline(cols, sfen, '\t') || !std::getline(cols, score, '\t') || !std::getline(cols, result, '\t') ||
            !std::getline(cols, ply, '\t'))
            continue;
        if (read_position(("sfen " + sfen).c_str()) < 0)
            continue;
        nMoves = std::atoi(ply.c_str()) + 1;
        Grade = GRADE_OPENING;
        GetGrade(&Trunk[0]);
        const Position p = Trunk[0];
        int value;
        if (!linear_value(p, o.base == "quiescence", &value))
            continue;
        add_sample(c.set, p, value, std::atof(score.c_str()), std::atof(result.c_str()));
        c.scores.push_back(std::atof(score.c_str()));
        c.material.push_back(material(p));
    }
    return !c.scores.empty();
}

// Adam's state and the gradient buffers of each thread.
struct Gradient {
    std::vector<float> w1, b1, wo;
    float bo = 0;
    double loss = 0;
    void reset(int h)
    {
        w1.assign(static_cast<std::size_t>(NET_FEATURES) * h, 0);
        b1.assign(static_cast<std::size_t>(h), 0);
        wo.assign(2 * static_cast<std::size_t>(h), 0);
        bo = 0;
        loss = 0;
    }
};

class Trainer {
  public:
    Trainer(NetModel &model, const Options &o) : model_(model), o_(o)
    {
        m_.reset(model.hidden);
        v_.reset(model.hidden);
        grads_.resize(static_cast<std::size_t>(o.threads));
    }

    // The mean loss of the set (two threads).
    double loss(const SampleSet &set) const
    {
        std::vector<double> part(static_cast<std::size_t>(o_.threads));
        auto work = [&](int t) {
            double sum = 0;
            for (std::size_t i = static_cast<std::size_t>(t); i < set.samples.size(); i += static_cast<std::size_t>(o_.threads)) {
                const Sample &s = set.samples[i];
                const double v = s.base + model_.forward(set.of(s), s.count);
                sum += cross_entropy(sigmoid(v / o_.scale), s.target);
            }
            part[static_cast<std::size_t>(t)] = sum;
        };
        run(work);
        return set.samples.empty() ? 0 : std::accumulate(part.begin(), part.end(), 0.0) / static_cast<double>(set.samples.size());
    }

    // One pass over the set in shuffled mini-batches; returns the mean loss seen on the way.
    double epoch(const SampleSet &set, std::mt19937_64 &rng, double rate, int number)
    {
        std::vector<std::uint32_t> order(set.samples.size());
        std::iota(order.begin(), order.end(), 0u);
        std::shuffle(order.begin(), order.end(), rng);
        double total = 0;
        const auto start = std::chrono::steady_clock::now();
        auto last = start;
        for (std::size_t at = 0; at < order.size(); at += static_cast<std::size_t>(o_.batch)) {
            const std::size_t end = std::min(order.size(), at + static_cast<std::size_t>(o_.batch));
            run([&](int t) { batch_part(set, order, at, end, t); });
            double batch_loss = 0;
            for (Gradient &g : grads_)
                batch_loss += g.loss;
            total += batch_loss;
            step(rate, static_cast<double>(end - at));
            const auto now = std::chrono::steady_clock::now();
            if (std::chrono::duration<double>(now - last).count() > 2 || end == order.size()) {
                last = now;
                const double s = std::chrono::duration<double>(now - start).count();
                std::fprintf(stderr, "\r  epoch %d: %5.1f %%, %.0f positions/s, loss %.5f   ", number,
                             100.0 * static_cast<double>(end) / static_cast<double>(order.size()),
                             static_cast<double>(end) / s, total / static_cast<double>(end));
            }
        }
        std::fprintf(stderr, "\n");
        return order.empty() ? 0 : total / static_cast<double>(order.size());
    }

  private:
    template <typename F>
    void run(const F &work) const
    {
        std::vector<std::thread> pool;
        for (int t = 1; t < o_.threads; t++)
            pool.emplace_back(work, t);
        work(0);
        for (std::thread &th : pool)
            th.join();
    }

    // Forward and backward over thread t's share of a batch (a fixed split: deterministic).
    void batch_part(const SampleSet &set, const std::vector<std::uint32_t> &order, std::size_t at, std::size_t end,
                    int t)
    {
        Gradient &g = grads_[static_cast<std::size_t>(t)];
        g.reset(model_.hidden);
        const int h = model_.hidden;
        float us[NET_MAX_HIDDEN], them[NET_MAX_HIDDEN], dus[NET_MAX_HIDDEN], dthem[NET_MAX_HIDDEN];
        for (std::size_t i = at + static_cast<std::size_t>(t); i < end; i += static_cast<std::size_t>(o_.threads)) {
            const Sample &s = set.samples[order[i]];
            const std::uint16_t *f = set.of(s);
            const double v = s.base + model_.forward(f, s.count, us, them);
            const double q = sigmoid(v / o_.scale);
            g.loss += cross_entropy(q, s.target);
            // d loss / d output, the output in units of output_scale.
            const float d = static_cast<float>((q - s.target) / o_.scale * model_.output_scale);
            g.bo += d;
            for (int k = 0; k < h; k++) {
                g.wo[static_cast<std::size_t>(k)] += d * net_activate(us[k], model_.activation);
                g.wo[static_cast<std::size_t>(h + k)] += d * net_activate(them[k], model_.activation);
                dus[k] = d * model_.wo[static_cast<std::size_t>(k)] * net_activate_slope(us[k], model_.activation);
                dthem[k] = d * model_.wo[static_cast<std::size_t>(h + k)] * net_activate_slope(them[k], model_.activation);
                g.b1[static_cast<std::size_t>(k)] += dus[k] + dthem[k];
            }
            // Only the rows of the active features get a gradient.
            for (int j = 0; j < s.count; j++) {
                float *a = g.w1.data() + static_cast<std::size_t>(f[j]) * h;
                float *b = g.w1.data() + static_cast<std::size_t>(net_other_view(f[j])) * h;
                for (int k = 0; k < h; k++) {
                    a[k] += dus[k];
                    b[k] += dthem[k];
                }
            }
        }
    }

    static void adam(std::vector<float> &w, std::vector<float> &m, std::vector<float> &v, const Gradient *grads,
                     int threads, std::vector<float> Gradient::*field, double rate, double n, double c1, double c2)
    {
        for (std::size_t i = 0; i < w.size(); i++) {
            double g = 0;
            for (int t = 0; t < threads; t++)
                g += (grads[t].*field)[i];
            g /= n;
            m[i] = static_cast<float>(0.9 * m[i] + 0.1 * g);
            v[i] = static_cast<float>(0.999 * v[i] + 0.001 * g * g);
            w[i] -= static_cast<float>(rate * (m[i] / c1) / (std::sqrt(v[i] / c2) + 1e-8));
        }
    }

    void step(double rate, double n)
    {
        step_++;
        const double c1 = 1 - std::pow(0.9, static_cast<double>(step_)), c2 = 1 - std::pow(0.999, static_cast<double>(step_));
        adam(model_.w1, m_.w1, v_.w1, grads_.data(), o_.threads, &Gradient::w1, rate, n, c1, c2);
        adam(model_.b1, m_.b1, v_.b1, grads_.data(), o_.threads, &Gradient::b1, rate, n, c1, c2);
        adam(model_.wo, m_.wo, v_.wo, grads_.data(), o_.threads, &Gradient::wo, rate, n, c1, c2);
        double g = 0;
        for (const Gradient &x : grads_)
            g += x.bo;
        g /= n;
        m_.bo = static_cast<float>(0.9 * m_.bo + 0.1 * g);
        v_.bo = static_cast<float>(0.999 * v_.bo + 0.001 * g * g);
        model_.bo -= static_cast<float>(rate * (m_.bo / c1) / (std::sqrt(v_.bo / c2) + 1e-8));
        model_.clip();
    }

    NetModel &model_;
    const Options &o_;
    Gradient m_, v_;
    std::vector<Gradient> grads_;
    long step_ = 0;
};

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: qvn-net-train --data FILE [--data FILE ...] [options]; see the top of net_train.cpp\n");
        return 2;
    }
    const auto t0 = std::chrono::steady_clock::now();
    HashInit();
    InitEvalute(1, o.weights.c_str());
    EvaluteHashClear();

    SampleSet train, valid;
    BuildCounts counts;
    std::vector<Position> kept;
    for (const std::string &file : o.data) {
        std::string error;
        GameReader reader(file.c_str());
        std::vector<GameData> games;
        for (GameData g; reader.next(&g);)
            games.push_back(g);
        if (!reader.error().empty())
            std::fprintf(stderr, "%s: %s (the games before are used)\n", file.c_str(), reader.error().c_str());
        const std::size_t cut = games.size() - static_cast<std::size_t>(static_cast<double>(games.size()) * o.validation);
        build(std::vector<GameData>(games.begin(), games.begin() + static_cast<long>(cut)), o, train, counts, nullptr, 0);
        build(std::vector<GameData>(games.begin() + static_cast<long>(cut), games.end()), o, valid, counts, &kept, 20000);
        std::fprintf(stderr, "%s: %zu games%s\n", file.c_str(), games.size(),
                     reader.truncated() ? " (a last record cut short left out)" : "");
    }
    std::fprintf(stderr,
                 "%zu training and %zu validation positions from %ld games, %.0f s; left out of %ld: %ld unscored, "
                 "%ld in check, %ld captures, %ld beyond %.0f, %ld mates; %ld games stopped at a bad move\n",
                 train.samples.size(), valid.samples.size(), counts.games, seconds_since(t0), counts.positions,
                 counts.unscored, counts.checks, counts.captures, counts.large, o.max_score, counts.mates,
                 counts.bad_games);
    if (train.samples.empty()) {
        std::fprintf(stderr, "no training positions\n");
        return 1;
    }
    const bool fitted = o.teacher_scale <= 0;
    if (fitted)
        o.teacher_scale = fit_teacher_scale(train);
    if (fitted && o.teacher_scale > 19000)
        std::fprintf(stderr, "the teacher's scores hardly predict the results: give --teacher-scale\n");
    for (SampleSet *set : {&train, &valid})
        for (Sample &s : set->samples)
            s.target = static_cast<float>(s.result < 0 ? sigmoid(s.score / o.teacher_scale)
                                                      : o.lambda * sigmoid(s.score / o.teacher_scale) + (1 - o.lambda) * s.result);

    CheckSet check;
    if (!o.check.empty()) {
        if (!read_check(o, check)) {
            std::fprintf(stderr, "cannot read the check set %s\n", o.check.c_str());
            return 1;
        }
        std::vector<double> base;
        for (const Sample &s : check.set.samples)
            base.push_back(s.base);
        std::printf("check set %s: %zu positions; rank correlation with its scores: material %.4f, linear %.4f\n",
                    o.check.c_str(), check.scores.size(), spearman(check.material, check.scores),
                    spearman(base, check.scores));
    }
    std::printf("teacher scale %.1f (%s), evaluation scale %.1f, lambda %.2f, base %s, hidden %d, %s\n",
                o.teacher_scale, fitted ? "fitted to the results" : "given",
                o.scale, o.lambda, o.base.c_str(), o.hidden, o.activation == NET_SCRELU ? "screlu" : "crelu");

    NetModel model;
    model.init(o.hidden, o.activation, o.seed);
    Trainer trainer(model, o);
    std::mt19937_64 rng(o.seed);
    std::vector<double> train_loss, valid_loss, corr;
    auto correlation = [&] {
        std::vector<double> v;
        for (const Sample &s : check.set.samples)
            v.push_back(s.base + model.forward(check.set.of(s), s.count));
        return spearman(v, check.scores);
    };
    // Epoch 0: the linear evaluation alone (the network's output starts near zero).
    {
        NetModel zero = model;
        std::fill(zero.wo.begin(), zero.wo.end(), 0.0f);
        zero.bo = 0;
        Trainer t(zero, o);
        valid_loss.push_back(t.loss(valid));
        std::printf("epoch  0  linear alone: training %.5f  validation %.5f", t.loss(train), valid_loss.back());
        if (!check.scores.empty()) {
            std::swap(zero, model);
            corr.push_back(correlation());
            std::swap(zero, model);
            std::printf("  check correlation %.4f", corr.back());
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    double rate = o.rate, positions_per_second = 0;
    for (int e = 1; e <= o.epochs; e++) {
        const auto te = std::chrono::steady_clock::now();
        train_loss.push_back(trainer.epoch(train, rng, rate, e));
        const double s = seconds_since(te);
        positions_per_second = static_cast<double>(train.samples.size()) / s;
        valid_loss.push_back(trainer.loss(valid));
        std::printf("epoch %2d  training %.5f  validation %.5f", e, train_loss.back(), valid_loss.back());
        if (!check.scores.empty()) {
            corr.push_back(correlation());
            std::printf("  check correlation %.4f", corr.back());
        }
        std::printf("  rate %.5f  %.1f s (%.0f positions/s)\n", rate, s, positions_per_second);
        std::fflush(stdout);
        rate *= o.decay;
    }

    auto net = std::make_unique<NetParameters>();
    model.quantize(net.get());
    net->stamp = static_cast<std::uint32_t>(o.stamp);
    std::string error;
    if (!net_write_file(o.out.c_str(), *net, &error) || !net_read_file(o.out.c_str(), net.get(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // The engine's fixed-point network against the floating-point one, on held-out positions.
    double sum = 0, worst = 0, spread = 0;
    for (const Position &p : kept) {
        int f[NET_MAX_ACTIVE];
        std::uint16_t features[NET_MAX_ACTIVE];
        const int n = net_features(&p, 1, f);
        for (int k = 0; k < n; k++)
            features[k] = static_cast<std::uint16_t>(f[k]);
        NetAccumulator acc;
        net_refresh(*net, &p, &acc);
        const double reference = model.forward(features, n), d = std::abs(net_evaluate(*net, acc, 1) - reference);
        sum += d, worst = std::max(worst, d), spread += std::abs(reference);
    }
    if (!kept.empty())
        std::printf("fixed point against floating point on %zu positions: mean difference %.2f, largest %.2f "
                    "(mean |output| %.1f)\n",
                    kept.size(), sum / static_cast<double>(kept.size()), worst, spread / static_cast<double>(kept.size()));
    if (!o.svg.empty())
        write_loss_svg(o.svg, {train_loss, valid_loss, 1, corr, "check correlation", false, 0.005});
    std::printf("wrote %s (%ld bytes)%s%s; %.0f s in all\n", o.out.c_str(), net_file_bytes(o.hidden),
                o.svg.empty() ? "" : " and ", o.svg.c_str(), seconds_since(t0));
    return 0;
}
