// SSIM: a separable Gaussian window over the five local moments.
#include "stimuli/Ssim.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace stimuli {

namespace {

constexpr int Side = 11, Reach = Side / 2;

// The one-dimensional weights: exp(-t^2 / (2 sigma^2)), t = -5..5, over their
// sum; the window's weight at (s, t) is their product, so it sums to 1 too.
std::vector<double> Weights()
{
    const double sigma = 1.5;
    std::vector<double> w(Side);
    double sum = 0.0;
    for (int t = -Reach; t <= Reach; ++t) {
        w[std::size_t(t + Reach)] = std::exp(-double(t * t) / (2.0 * sigma * sigma));
        sum += w[std::size_t(t + Reach)];
    }
    for (double& v : w)
        v /= sum;
    return w;
}

}  // namespace

double Ssim(const std::uint8_t* a, const std::uint8_t* b, int W, int H)
{
    if (W < Side || H < Side)
        return std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> w = Weights();
    const double C1 = (0.01 * 255.0) * (0.01 * 255.0), C2 = (0.03 * 255.0) * (0.03 * 255.0);
    const std::size_t w0 = std::size_t(W), outW = std::size_t(W - Side + 1), outH = std::size_t(H - Side + 1);
    // First along the rows: each row's window sums of x, y, x^2, y^2, x y at
    // the valid columns, kept for the last 11 rows only (row y in slot
    // y mod 11); then down the columns over those. Every sum adds its 11
    // terms in window order, t = 0 first: the loops run over the columns
    // innermost (so that they go in vectors) without changing that order.
    std::vector<double> rows(5 * outW * Side), products(5 * w0);
    const auto slot = [&](std::size_t c, std::size_t y) { return &rows[(c * Side + y % Side) * outW]; };
    const auto along = [&](std::size_t y) {
        double* P = products.data();
        for (std::size_t x = 0; x < w0; ++x) {
            const double p = a[y * w0 + x], q = b[y * w0 + x];
            P[x] = p;
            P[w0 + x] = q;
            P[2 * w0 + x] = p * p;
            P[3 * w0 + x] = q * q;
            P[4 * w0 + x] = p * q;
        }
        for (std::size_t c = 0; c < 5; ++c) {
            double* out = slot(c, y);
            std::fill(out, out + outW, 0.0);
            for (std::size_t t = 0; t < Side; ++t) {
                const double wt = w[t];
                const double* in = P + c * w0 + t;
                for (std::size_t x = 0; x < outW; ++x)
                    out[x] += wt * in[x];
            }
        }
    };
    for (std::size_t y = 0; y + 1 < Side; ++y)
        along(y);
    double total = 0.0;
    std::vector<double> line(5 * outW);
    for (std::size_t y = 0; y < outH; ++y) {
        along(y + Side - 1);
        for (std::size_t c = 0; c < 5; ++c) {
            double* out = &line[c * outW];
            std::fill(out, out + outW, 0.0);
            for (std::size_t t = 0; t < Side; ++t) {
                const double wt = w[t];
                const double* in = slot(c, y + t);
                for (std::size_t x = 0; x < outW; ++x)
                    out[x] += wt * in[x];
            }
        }
        double rowTotal = 0.0;
        for (std::size_t x = 0; x < outW; ++x) {
            const double mx = line[x], my = line[outW + x];
            const double vx = line[2 * outW + x] - mx * mx, vy = line[3 * outW + x] - my * my;
            const double cxy = line[4 * outW + x] - mx * my;
            rowTotal += ((2.0 * mx * my + C1) * (2.0 * cxy + C2)) / ((mx * mx + my * my + C1) * (vx + vy + C2));
        }
        total += rowTotal;
    }
    return total / double(outW * outH);
}

}  // namespace stimuli
