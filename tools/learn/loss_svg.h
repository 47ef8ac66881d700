// The loss curve of a training run as an SVG picture: training and validation loss by epoch
// on the left axis, a second measure (dashed) on its own scale on the right.
#pragma once

#include <string>
#include <vector>

struct LossCurve {
    std::vector<double> train, valid;  // losses; valid[0] may be before the first epoch
    int train_from = 0;                // the epoch of train[0]
    std::vector<double> second;        // by epoch like valid; empty for none
    std::string second_name;           // "check correlation", "move agreement", ...
    bool second_percent = false;       // its axis labels as percentages
    double second_pad = 0.005;         // room above and below its range
};

void write_loss_svg(const std::string &path, const LossCurve &c);
