#include "tools/learn/net_model.h"

#include <algorithm>
#include <cmath>

namespace {

// 40 active rows of at most this, plus the bias, stay inside an int16 accumulator.
constexpr float W1_LIMIT = 0.78f;
static_assert((NET_MAX_ACTIVE + 1) * W1_LIMIT * NET_QACC < 32767);
// 2 x 128 products of an activation (at most 1020) and an output weight stay inside an
// int32 sum.
constexpr float WO_LIMIT = 15.0f;
static_assert(2.0 * NET_MAX_HIDDEN * NET_QACC * WO_LIMIT * NET_QB < 2147483647.0);

std::int16_t round16(float x, float unit)
{
    return static_cast<std::int16_t>(std::clamp(std::lround(x * unit), -32767L, 32767L));
}

}  // namespace

float net_activate(float x, int activation)
{
    const float c = std::clamp(x, 0.0f, 1.0f);
    return activation == NET_SCRELU ? c * c : c;
}

float net_activate_slope(float x, int activation)
{
    if (x <= 0 || x >= 1)
        return 0;
    return activation == NET_SCRELU ? 2 * x : 1;
}

void NetModel::init(int hidden_size, int activation_kind, std::uint64_t seed)
{
    hidden = hidden_size;
    activation = activation_kind;
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<float> first(-0.1f, 0.1f), out(-0.01f, 0.01f);
    w1.resize(static_cast<std::size_t>(NET_FEATURES) * hidden);
    for (float &w : w1)
        w = first(rng);
    b1.assign(static_cast<std::size_t>(hidden), 0.25f);
    wo.resize(2 * static_cast<std::size_t>(hidden));
    for (float &w : wo)
        w = out(rng);
    bo = 0;
}

float NetModel::forward(const std::uint16_t *features, int n, float *a_us, float *a_them) const
{
    const int h = hidden;
    float us[NET_MAX_HIDDEN], them[NET_MAX_HIDDEN];
    std::copy(b1.begin(), b1.end(), us);
    std::copy(b1.begin(), b1.end(), them);
    for (int k = 0; k < n; k++) {
        const float *a = w1.data() + static_cast<std::size_t>(features[k]) * h;
        const float *b = w1.data() + static_cast<std::size_t>(net_other_view(features[k])) * h;
        for (int i = 0; i < h; i++) {
            us[i] += a[i];
            them[i] += b[i];
        }
    }
    float y = bo;
    for (int i = 0; i < h; i++)
        y += wo[i] * net_activate(us[i], activation) + wo[h + i] * net_activate(them[i], activation);
    if (a_us)
        std::copy(us, us + h, a_us);
    if (a_them)
        std::copy(them, them + h, a_them);
    return y * output_scale;
}

void NetModel::clip()
{
    for (float &w : w1)
        w = std::clamp(w, -W1_LIMIT, W1_LIMIT);
    for (float &w : b1)
        w = std::clamp(w, -W1_LIMIT, W1_LIMIT);
    for (float &w : wo)
        w = std::clamp(w, -WO_LIMIT, WO_LIMIT);
}

void NetModel::quantize(NetParameters *out) const
{
    out->hidden = hidden;
    out->activation = activation;
    net_set_output_scale(out, static_cast<int>(std::lround(output_scale)));
    for (std::size_t k = 0; k < w1.size(); k++)
        out->input_weights[k] = round16(std::clamp(w1[k], -W1_LIMIT, W1_LIMIT), NET_QACC);
    for (int i = 0; i < hidden; i++)
        out->input_bias[i] = round16(std::clamp(b1[static_cast<std::size_t>(i)], -W1_LIMIT, W1_LIMIT), NET_QACC);
    for (int i = 0; i < 2 * hidden; i++)
        out->output_weights[i] = round16(std::clamp(wo[static_cast<std::size_t>(i)], -WO_LIMIT, WO_LIMIT), NET_QB);
    out->output_bias = static_cast<std::int32_t>(std::lround(static_cast<double>(bo) * NET_QB * net_activation_unit(activation)));
}
