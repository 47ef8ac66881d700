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
    double lo = 20, hi = 5000;  // golden-section search on a unimodal loss
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < 60; i++) {
        const double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
        if (loss(a) < loss(b))
            hi = b;
        else
            lo = a;
    }
    return (lo + hi) / 2;
}

void write_svg(const std::string &path, const std::vector<double> &train, const std::vector<double> &valid,
               const std::vector<double> &agree)
{
    std::ofstream out(path);
    const double w = 640, h = 360, left = 60, right = 60, top = 30, bottom = 40;
    double lo = 1e9, hi = -1e9;
    for (const auto *v : {&train, &valid})
        for (double x : *v)
            lo = std::min(lo, x), hi = std::max(hi, x);
    if (hi <= lo)
        hi = lo + 1e-3;
    const double pad = (hi - lo) * 0.1;
    lo -= pad, hi += pad;
    const std::size_t n = std::max<std::size_t>(train.size(), 2);
    auto px = [&](std::size_t i) { return left + (w - left - right) * static_cast<double>(i) / static_cast<double>(n - 1); };
    auto py = [&](double v, double a, double b) { return top + (h - top - bottom) * (1 - (v - a) / (b - a)); };
    out << "<svg xmlns='http://www.w3.org/2000/svg' width='" << w << "' height='" << h
        << "' font-family='sans-serif' font-size='12'>\n<rect width='100%' height='100%' fill='white'/>\n";
    out << "<text x='" << left << "' y='18'>loss by epoch (left axis); move agreement, dashed (right axis)</text>\n";
    for (int k = 0; k <= 4; k++) {
        const double v = lo + (hi - lo) * k / 4, y = py(v, lo, hi);
        out << "<line x1='" << left << "' x2='" << w - right << "' y1='" << y << "' y2='" << y << "' stroke='#ddd'/>";
        char label[32];
        std::snprintf(label, sizeof label, "%.4f", v);
        out << "<text x='4' y='" << y + 4 << "'>" << label << "</text>\n";
    }
    for (std::size_t i = 0; i < train.size(); i++)
        out << "<text x='" << px(i) - 3 << "' y='" << h - 20 << "'>" << i << "</text>";
    auto line = [&](const std::vector<double> &v, const char *colour, double a, double b, const char *dash) {
        out << "<polyline fill='none' stroke='" << colour << "' stroke-width='2' stroke-dasharray='" << dash
            << "' points='";
        for (std::size_t i = 0; i < v.size(); i++)
            out << px(i) << ',' << py(v[i], a, b) << ' ';
        out << "'/>\n";
    };
    line(train, "#1f77b4", lo, hi, "none");
    line(valid, "#d62728", lo, hi, "none");
    if (!agree.empty()) {
        const double alo = *std::min_element(agree.begin(), agree.end()) - 0.02;
        const double ahi = *std::max_element(agree.begin(), agree.end()) + 0.02;
        line(agree, "#2ca02c", alo, ahi, "6,4");
        char label[64];
        std::snprintf(label, sizeof label, "%.1f%%..%.1f%%", 100 * alo, 100 * ahi);
        out << "<text x='" << w - right + 4 << "' y='" << top + 10 << "' fill='#2ca02c'>" << label << "</text>\n";
    }
    out << "<text x='" << w - right - 150 << "' y='" << top + 20 << "' fill='#1f77b4'>training</text>";
    out << "<text x='" << w - right - 150 << "' y='" << top + 36 << "' fill='#d62728'>validation</text>";
    out << "<text x='" << w - right - 150 << "' y='" << top + 52 << "' fill='#2ca02c'>move agreement</text>\n</svg>\n";
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
        write_svg(o.svg, train_loss, valid_loss, agree);
    std::fprintf(stderr, "wrote %s%s%s\n", o.out.c_str(), o.text.empty() ? "" : (" and " + o.text).c_str(),
                 o.svg.empty() ? "" : (" and " + o.svg).c_str());
    return 0;
}
