// Pearson's correlation from blocked, compensated sums about the means.
#include "lab/Moments.h"

#include "lab/PhaseLab.h"

namespace lab {
namespace moments {

std::optional<double> Pearson(std::size_t n, double mx, double my, const Spreads& s)
{
    if (n == 0)
        return std::nullopt;
    const double xx = s.xx.Value();
    const double xy = s.xy.Value();
    const double yy = s.yy.Value();
    // Flat against the values' own size, so that a rebuild's rounding noise
    // about a constant does not pass for a picture.
    const auto flat = [n](double squares, double mean) {
        const double variance = squares / double(n);
        return variance <= (Flat * Flat) * (variance + mean * mean);
    };
    if (flat(xx, mx) || flat(yy, my))
        return std::nullopt;
    // sqrt(xx * yy) rather than sqrt(xx) * sqrt(yy): a series against itself
    // then gives exactly 1.
    const double product = xx * yy;
    double r = std::isnormal(product) ? xy / std::sqrt(product)
                                      : xy / (std::sqrt(xx) * std::sqrt(yy));
    r = r < -1.0 ? -1.0 : r;
    return r > 1.0 ? 1.0 : r;
}

}  // namespace moments

std::optional<double> Correlation(const double* a, std::size_t strideA, const double* b,
                                  std::size_t strideB, std::size_t n)
{
    const moments::Strided x{a, strideA};
    const moments::Strided y{b, strideB};
    const double mx = moments::Mean(x, n);
    const double my = moments::Mean(y, n);
    return moments::Pearson(n, mx, my, moments::Spread2(x, mx, y, my, n));
}

}  // namespace lab
