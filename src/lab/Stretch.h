// The gray stretch of rebuilt pictures: nearest-rank percentiles onto 0..255.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace lab {

// The smallest and largest of some values.
struct Extremes {
    double lowest, highest;
};

// The extremes of v[0..n), n > 0, no NaN.
Extremes FindExtremes(const double* v, std::size_t n);

// The values of 0-based ranks low <= high among v[0..n) in ascending order:
// what std::nth_element would put at those places. n > 0, high < n, no NaN.
// v is left as it is; scratch holds n doubles and is overwritten. Expected
// time linear in n: a histogram narrows each rank down to one bin, and only
// that bin's values are selected among.
std::pair<double, double> NearestRanks(const double* v, std::size_t n, std::size_t low,
                                       std::size_t high, double* scratch);
// The same where the caller has v's extremes at hand, taken as they come.
std::pair<double, double> NearestRanks(const double* v, std::size_t n, std::size_t low,
                                       std::size_t high, double* scratch, const Extremes& known);

// The 0-based rank of the p-th percentile (0 < p <= 100) of n > 0 values by
// the nearest-rank rule: the ceil(p * n / 100)-th smallest value.
std::size_t PercentileRank(std::size_t n, unsigned p);

// The linear map of [low, high] onto gray 0..255, rounded to nearest (halves
// up) and clamped. When high - low is at most noise there is nothing to
// stretch: values within noise of [low, high] are 128, anything below 0 and
// anything above 255.
class Stretch {
public:
    Stretch(double low, double high, double noise = 0.0);
    double Low() const { return low; }
    double High() const { return high; }
    std::uint8_t operator()(double v) const
    {
        if (scale > 0.0)
            return static_cast<std::uint8_t>(Stretched(v, low, scale));
        return v < low - noise ? 0 : v > high + noise ? 255 : 128;
    }
    // out[i] = (*this)(v[i]) for i < n, in a loop the compiler can keep in
    // vectors.
    void Apply(const double* v, std::size_t n, std::uint8_t* out) const;

private:
    // The level of v where there is a spread, in [0, 255] before truncation.
    static double Stretched(double v, double low, double scale)
    {
        double t = (v - low) * scale + 0.5;
        t = t > 0.0 ? t : 0.0;  // NaN to 0 as well
        return t < 255.0 ? t : 255.0;
    }

    double low, high;
    double noise;
    double scale;  // 255 / (high - low); 0 when there is no usable spread
};

// A spread at most this fraction of the largest magnitude among a rebuilt
// picture's values is rounding noise, not a picture: the transform's
// rounding leaves about 1e-16 of the largest value on pixels that are zero.
constexpr double NoiseFraction = 1e-9;

// The stretch of a rebuilt picture's n values: its 1st and 99th percentile
// (see PercentileRank) onto 0 and 255, the noise being NoiseFraction of the
// largest |v|. A picture of one level and its rounding noise shows mid gray,
// with whatever stands out of the noise black or white. scratch as for
// NearestRanks.
Stretch PercentileStretch(const double* v, std::size_t n, double* scratch);
// The same where the caller has v's extremes at hand, taken as they come.
Stretch PercentileStretch(const double* v, std::size_t n, double* scratch, const Extremes& known);

}  // namespace lab
