#include "tools/learn/loss_svg.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

void write_loss_svg(const std::string &path, const LossCurve &c)
{
    std::ofstream out(path);
    const double w = 640, h = 360, left = 60, right = 70, top = 30, bottom = 40;
    double lo = 1e9, hi = -1e9;
    for (const auto *v : {&c.train, &c.valid})
        for (double x : *v)
            lo = std::min(lo, x), hi = std::max(hi, x);
    if (hi <= lo)
        hi = lo + 1e-3;
    const double pad = (hi - lo) * 0.1;
    lo -= pad, hi += pad;
    const std::size_t epochs = std::max(c.valid.size(), c.train.size() + c.train_from);
    const std::size_t n = std::max<std::size_t>(epochs, 2);
    auto px = [&](std::size_t i) { return left + (w - left - right) * static_cast<double>(i) / static_cast<double>(n - 1); };
    auto py = [&](double v, double a, double b) { return top + (h - top - bottom) * (1 - (v - a) / (b - a)); };
    out << "<svg xmlns='http://www.w3.org/2000/svg' width='" << w << "' height='" << h
        << "' font-family='sans-serif' font-size='12'>\n<rect width='100%' height='100%' fill='white'/>\n"
        << "<text x='" << left << "' y='18'>loss by epoch (left axis); " << c.second_name
        << ", dashed (right axis)</text>\n";
    for (int k = 0; k <= 4; k++) {
        const double v = lo + (hi - lo) * k / 4, y = py(v, lo, hi);
        char label[32];
        std::snprintf(label, sizeof label, "%.4f", v);
        out << "<line x1='" << left << "' x2='" << w - right << "' y1='" << y << "' y2='" << y
            << "' stroke='#ddd'/><text x='4' y='" << y + 4 << "'>" << label << "</text>\n";
    }
    for (std::size_t i = 0; i < epochs; i++)
        out << "<text x='" << px(i) - 3 << "' y='" << h - 20 << "'>" << i << "</text>";
    auto line = [&](const std::vector<double> &v, std::size_t from, const char *colour, double a, double b,
                    const char *dash) {
        out << "<polyline fill='none' stroke='" << colour << "' stroke-width='2' stroke-dasharray='" << dash << "' points='";
        for (std::size_t i = 0; i < v.size(); i++)
            out << px(i + from) << ',' << py(v[i], a, b) << ' ';
        out << "'/>\n";
    };
    line(c.train, static_cast<std::size_t>(c.train_from), "#1f77b4", lo, hi, "none");
    line(c.valid, 0, "#d62728", lo, hi, "none");
    if (!c.second.empty()) {
        const double slo = *std::min_element(c.second.begin(), c.second.end()) - c.second_pad;
        const double shi = *std::max_element(c.second.begin(), c.second.end()) + c.second_pad;
        line(c.second, 0, "#2ca02c", slo, shi, "6,4");
        char label[64];
        if (c.second_percent)
            std::snprintf(label, sizeof label, "%.1f%%..%.1f%%", 100 * slo, 100 * shi);
        else
            std::snprintf(label, sizeof label, "%.3f..%.3f", slo, shi);
        out << "<text x='" << w - right + 4 << "' y='" << top + 10 << "' fill='#2ca02c'>" << label << "</text>\n";
    }
    out << "<text x='" << w - right - 150 << "' y='" << top + 20 << "' fill='#1f77b4'>training</text>"
        << "<text x='" << w - right - 150 << "' y='" << top + 36 << "' fill='#d62728'>validation</text>"
        << "<text x='" << w - right - 150 << "' y='" << top + 52 << "' fill='#2ca02c'>" << c.second_name
        << "</text>\n</svg>\n";
}
