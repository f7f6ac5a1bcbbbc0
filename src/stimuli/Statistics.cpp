// Mean, RMS contrast and Pearson's r of 8-bit values, from exact integer sums.
#include "stimuli/Statistics.h"

#include <algorithm>
#include <cmath>

namespace stimuli {

namespace {

// 128 bits hold n times a sum of products of levels for n up to 2^40 values.
__extension__ using Wide = __int128;

struct Sums {
    std::uint64_t x = 0, y = 0, xx = 0, xy = 0, yy = 0;
};

Sums Add(const std::uint8_t* x, const std::uint8_t* y, std::size_t n)
{
    Sums s;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t a = x[i], b = y[i];
        s.x += a;
        s.y += b;
        s.xx += a * a;
        s.xy += a * b;
        s.yy += b * b;
    }
    return s;
}

// n * sum(a b) - sum(a) sum(b): n^2 times the covariance, exactly.
Wide Centred(std::size_t n, std::uint64_t ab, std::uint64_t a, std::uint64_t b)
{
    return Wide(n) * Wide(ab) - Wide(a) * Wide(b);
}

}  // namespace

Levels Describe(const std::uint8_t* values, std::size_t n)
{
    if (n == 0)
        return {};
    const Sums s = Add(values, values, n);
    const double N = double(n);
    return {double(s.x) / N, std::sqrt(double(Centred(n, s.xx, s.x, s.x))) / N};
}

std::optional<double> Correlation(const std::uint8_t* x, const std::uint8_t* y, std::size_t n)
{
    const Sums s = Add(x, y, n);
    const Wide xx = Centred(n, s.xx, s.x, s.x), yy = Centred(n, s.yy, s.y, s.y);
    if (n == 0 || xx == 0 || yy == 0)
        return std::nullopt;
    // sqrt of the rounded square of a double is that double: a side against itself gives 1
    const double r = double(Centred(n, s.xy, s.x, s.y)) / std::sqrt(double(xx) * double(yy));
    return std::clamp(r, -1.0, 1.0);
}

}  // namespace stimuli
