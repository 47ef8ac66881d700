// The weight learner: logistic regression of the evaluation on training positions.
//
// The evaluation is material plus a sum of weights taken with coefficient +1 or -1
// (EvaluteFeatures lists them), so a position's value is linear in the weights:
//   v = base + sum over its features of coefficient x weight,
// where base holds the material and the quiescence search's material swing (the search
// carries the root's evaluation through the quiescence search by material alone, so this
// is the value the search sees). The loss is the cross-entropy between sigmoid(v / scale)
// and the target p = lambda x sigmoid(teacher / teacher_scale) + (1 - lambda) x result.
//
// Parameters: one per weight, and optionally shared factors that every king-relative
// weight adds: one by (kind, rank difference, file distance) to the king and one by
// (kind, square), so that what is learnt for one king square carries to the others. A
// weight of the file is the sum of its parameters. Mirror tying makes a king-relative
// weight and its left-right mirror one parameter.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "eval/weight_layout.h"

struct LearnSample {
    std::uint32_t first;  // features[first .. first + count)
    std::uint16_t count;
    float base;           // value with every weight zero
    float target;         // p
};

// Features are stored as weight index x 2, plus 1 for coefficient -1.
struct LearnSet {
    std::vector<std::uint32_t> features;
    std::vector<LearnSample> samples;
    void add(const int *index, const int *coefficient, int n, double base, double target);
};

struct LearnOptions {
    double scale = 600;       // of the evaluation in the sigmoid
    double l2 = 1e-6;         // per parameter, toward the starting weights (factors toward 0)
    double rate = 1.0;        // Adam step size, in weight units
    double beta1 = 0.9, beta2 = 0.999;
    int batch = 4096;
    int threads = 2;
    bool mirror = false;      // tie left-right mirrored king-relative weights
    bool factors = true;      // shared factors of the king-relative weights
};

class Learner {
  public:
    Learner(const LearnOptions &options, const std::vector<double> &start);

    // Mean cross-entropy over the set (with the regulariser when regularised is set).
    double loss(const LearnSet &set, bool regularised = false) const;
    // Gradient of loss(set, true) by every parameter.
    std::vector<double> gradient(const LearnSet &set) const;
    // One pass over the set in shuffled mini-batches.
    void epoch(const LearnSet &set, std::mt19937_64 &rng);
    // The weights in file order (each the sum of its parameters).
    std::vector<double> weights() const;
    // Value of one sample under the current parameters.
    double value(const LearnSet &set, const LearnSample &s) const;

    std::vector<double> &parameters() { return theta_; }
    int parameter_count() const { return static_cast<int>(theta_.size()); }
    LearnOptions options;

  private:
    // Parameters a weight is the sum of (-1: unused slot).
    struct Expansion {
        int p[3];
    };
    std::vector<Expansion> expand_;
    std::vector<double> theta_, start_, m_, v_;
    long step_ = 0;
};

// Logistic function and the cross-entropy of q against p.
double sigmoid(double x);
double cross_entropy(double q, double p);
// The x in [lo, hi] where f, unimodal there, is least (golden-section search).
double minimize_unimodal(const std::function<double(double)> &f, double lo, double hi);
