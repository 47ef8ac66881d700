// Learns the evaluation weights from training records and writes "weight.dat".
//
//   qvn-learn --data FILE [--data FILE ...] [--init weight.dat] [--out weight.dat]
//             [--text weights.txt] [--svg loss.svg] [--epochs N] [--lambda L]
//             [--scale S] [--teacher-scale T] [--rate R] [--decay D] [--l2 X]
//             [--batch B] [--threads N] [--mirror] [--no-factors] [--validation F]
//             [--agreement N] [--stamp SECONDS] [--seed S] [--check FILE ...]
//
// Run where "hash_key.dat" is. The last F (5 %) of each file's records, whole games at the
// end, are held out for validation. The teacher scale is fitted against the game results
// unless given; the evaluation's scale defaults to it. Prints per epoch the training and
// validation loss and how often the recorded move is the best one at one ply by the new
// weights, and draws the losses in an SVG picture. --check sets (positions of strong
// engines' games, say) are not learnt from: their loss against the game results alone is
// printed as an independent measure.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "eval/evalute.h"
#include "hash/hash.h"
#include "tools/learn/learner.h"
#include "tools/learn/positions.h"
#include "tools/learn/loss_svg.h"
#include "tools/weight_text.h"

namespace {

struct Options {
    std::vector<std::string> data, check;
    std::string init = "weight.dat", out = "weight.dat", text, svg;
    int epochs = 8, agreement = 2000;
    double lambda = 0.5, scale = 0, teacher_scale = 0, decay = 0.8, validation = 0.05;
    long long stamp = -1;
    unsigned long long seed = 1;
    LearnOptions learn;
};

int usage()
{
    std::fprintf(stderr, "usage: qvn-learn --data FILE [--data FILE ...] [options]; see the top of learn.cpp\n");
    return 2;
}

bool parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        const bool has = i + 1 < argc;
        if (a == "--data" && has) o.data.push_back(argv[++i]);
        else if (a == "--check" && has) o.check.push_back(argv[++i]);
        else if (a == "--init" && has) o.init = argv[++i];
        else if (a == "--out" && has) o.out = argv[++i];
        else if (a == "--text" && has) o.text = argv[++i];
        else if (a == "--svg" && has) o.svg = argv[++i];
        else if (a == "--epochs" && has) o.epochs = std::atoi(argv[++i]);
        else if (a == "--agreement" && has) o.agreement = std::atoi(argv[++i]);
        else if (a == "--lambda" && has) o.lambda = std::atof(argv[++i]);
        else if (a == "--scale" && has) o.scale = std::atof(argv[++i]);
        else if (a == "--teacher-scale" && has) o.teacher_scale = std::atof(argv[++i]);
        else if (a == "--rate" && has) o.learn.rate = std::atof(argv[++i]);
        else if (a == "--decay" && has) o.decay = std::atof(argv[++i]);
        else if (a == "--l2" && has) o.learn.l2 = std::atof(argv[++i]);
        else if (a == "--batch" && has) o.learn.batch = std::max(1, std::atoi(argv[++i]));
        else if (a == "--threads" && has) o.learn.threads = std::max(1, std::atoi(argv[++i]));
        else if (a == "--validation" && has) o.validation = std::atof(argv[++i]);
        else if (a == "--stamp" && has) o.stamp = std::atoll(argv[++i]);
        else if (a == "--seed" && has) o.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--mirror") o.learn.mirror = true;
        else if (a == "--no-factors") o.learn.factors = false;
        else return false;
    }
    return !o.data.empty();
}

double result_target(const TrainingRecord &r) { return (r.result + 1) / 2.0; }

// The teacher scale that best predicts the game results from the teacher's scores.
double fit_teacher_scale(const std::vector<TrainingRecord> &records)
{
    auto loss = [&](double s) {
        double sum = 0;
        for (const TrainingRecord &r : records)
            sum += cross_entropy(sigmoid(r.score / s), result_target(r));
        return sum;
    };
    return minimize_unimodal(loss, 20, 5000);
}

// The weights in the engine's tables, rounded (the engine truncates what it reads).
void install(const std::vector<double> &w)
{
    for (int i = 0; i < WEIGHT_COUNT; i++)
        weight_at(i) = static_cast<int>(std::lround(w[static_cast<std::size_t>(i)]));
    EvaluteHashClear();
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!parse(argc, argv, o))
        return usage();
    HashInit();
    InitEvalute(1, o.init.c_str());
    std::vector<double> start(WEIGHT_COUNT);
    for (int i = 0; i < WEIGHT_COUNT; i++)
        start[static_cast<std::size_t>(i)] = weight_at(i);

    std::vector<TrainingRecord> train_records, valid_records;
    for (const std::string &f : o.data) {
        std::vector<TrainingRecord> r = read_records(f.c_str());
        const std::size_t cut = r.size() - static_cast<std::size_t>(static_cast<double>(r.size()) * o.validation);
        train_records.insert(train_records.end(), r.begin(), r.begin() + static_cast<long>(cut));
        valid_records.insert(valid_records.end(), r.begin() + static_cast<long>(cut), r.end());
        std::fprintf(stderr, "%s: %zu records\n", f.c_str(), r.size());
    }
    if (o.teacher_scale <= 0)
        o.teacher_scale = fit_teacher_scale(train_records);
    o.learn.scale = o.scale > 0 ? o.scale : o.teacher_scale;
    std::fprintf(stderr, "teacher scale %.1f (%s), evaluation scale %.1f, lambda %.2f\n", o.teacher_scale,
                 o.scale > 0 ? "given" : "fitted to the results", o.learn.scale, o.lambda);

    const auto t0 = std::chrono::steady_clock::now();
    auto build = [&](const std::vector<TrainingRecord> &records, LearnSet &set, double lambda) {
        PositionTerms terms;
        int index[MAX_EVAL_FEATURES], coefficient[MAX_EVAL_FEATURES];
        long skipped = 0;
        for (std::size_t i = 0; i < records.size(); i++) {
            const TrainingRecord &r = records[i];
            if (!position_terms(r, &terms)) {
                skipped++;
                continue;
            }
            for (int k = 0; k < terms.features.n; k++)
                index[k] = terms.features.feature[k].index, coefficient[k] = terms.features.feature[k].coefficient;
            const double p = lambda * sigmoid(r.score / o.teacher_scale) + (1 - lambda) * result_target(r);
            set.add(index, coefficient, terms.features.n, terms.base, p);
            if (i % 100000 == 99999)
                std::fprintf(stderr, "  %zu positions set up\n", i + 1);
        }
        return skipped;
    };
    LearnSet train, valid, check;
    const long skipped = build(train_records, train, o.lambda) + build(valid_records, valid, o.lambda);
    for (const std::string &f : o.check)
        build(read_records(f.c_str()), check, 0);
    std::fprintf(stderr, "%zu training and %zu validation positions (%ld skipped: mates), %.0f s\n",
                 train.samples.size(), valid.samples.size(), skipped,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());

    std::vector<TrainingRecord> agreement_set(valid_records.begin(),
                                              valid_records.begin() + std::min<long>(o.agreement, valid_records.size()));
    Learner learner(o.learn, start);
    std::mt19937_64 rng(o.seed);
    std::vector<double> train_loss, valid_loss, agree;
    auto report = [&](int epoch) {
        train_loss.push_back(learner.loss(train));
        valid_loss.push_back(learner.loss(valid));
        install(learner.weights());
        agree.push_back(move_agreement(agreement_set));
        std::printf("epoch %2d  train %.5f  validation %.5f  move agreement %.1f %%", epoch, train_loss.back(),
                    valid_loss.back(), 100 * agree.back());
        if (!check.samples.empty())
            std::printf("  check %.5f", learner.loss(check));
        std::printf("  rate %.3f  %.0f s\n", learner.options.rate,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        std::fflush(stdout);
    };
    report(0);
    for (int e = 1; e <= o.epochs; e++) {
        learner.epoch(train, rng);
        report(e);
        learner.options.rate *= o.decay;
    }

    WeightSet out;
    const std::vector<double> w = learner.weights();
    for (int i = 0; i < WEIGHT_COUNT; i++)
        out.values[static_cast<std::size_t>(i)] = static_cast<double>(std::lround(w[static_cast<std::size_t>(i)]));
    out.stamp = static_cast<std::uint32_t>(o.stamp >= 0 ? o.stamp : std::time(nullptr));
    if (!write_weight_file(o.out, out)) {
        std::fprintf(stderr, "cannot write %s\n", o.out.c_str());
        return 1;
    }
    if (!o.text.empty()) {
        std::ofstream text(o.text);
        print_weight_text(text, out);
    }
    if (!o.svg.empty())
        write_loss_svg(o.svg, {train_loss, valid_loss, 0, agree, "move agreement", true, 0.02});
    std::fprintf(stderr, "wrote %s%s%s\n", o.out.c_str(), o.text.empty() ? "" : (" and " + o.text).c_str(),
                 o.svg.empty() ? "" : (" and " + o.svg).c_str());
    return 0;
}
