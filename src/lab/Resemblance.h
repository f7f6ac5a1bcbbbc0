// Resemblance: Pearson's correlation, from sums that are blocked, compensated
// and taken in one fixed order.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace lab::moments {

// Values are summed in blocks of Block, each block in Lanes running sums (which
// the compiler can keep in vector registers), and the block sums go into a
// compensated total. A block's own rounding is that of a sum of Block/Lanes
// terms, whatever the count of values.
constexpr std::size_t Block = 1024;
constexpr std::size_t Lanes = 8;

// A standard deviation at most this fraction of the values' root mean square
// counts as none: see Correlation below.
constexpr double Flat = 1e-12;

// Neumaier's compensated sum of the block sums.
class Total {
public:
    void Add(double v)
    {
        const double t = sum + v;
        if (std::fabs(sum) >= std::fabs(v))
            carry += (sum - t) + v;
        else
            carry += (v - t) + sum;
        sum = t;
    }
    double Value() const { return sum + carry; }

private:
    double sum = 0.0;
    double carry = 0.0;
};

// Ways of reading value i; all give the same doubles for the same data.
struct Contiguous {
    const double* p;
    double operator[](std::size_t i) const { return p[i]; }
};
struct Strided {
    const double* p;
    std::size_t stride;
    double operator[](std::size_t i) const { return p[i * stride]; }
};
struct Samples {
    const std::int32_t* p;
    double operator[](std::size_t i) const { return double(p[i]); }
};

// The sum of v[begin..end), end - begin <= Block, lane by lane.
template <class V>
double BlockSum(const V& v, std::size_t begin, std::size_t end)
{
    double a[Lanes] = {};
    std::size_t i = begin;
    for (; i + Lanes <= end; i += Lanes)
        for (std::size_t l = 0; l < Lanes; ++l)
            a[l] += v[i + l];
    for (std::size_t l = 0; i < end; ++i, ++l)
        a[l] += v[i];
    return ((a[0] + a[1]) + (a[2] + a[3])) + ((a[4] + a[5]) + (a[6] + a[7]));
}

// Centred sums of squares and products over one block.
struct Spread {
    double xx = 0.0, xy = 0.0, yy = 0.0;
};

template <class X, class Y>
Spread BlockSpread(const X& x, double mx, const Y& y, double my, std::size_t begin,
                   std::size_t end)
{
    double xx[Lanes] = {}, xy[Lanes] = {}, yy[Lanes] = {};
    std::size_t i = begin;
    for (; i + Lanes <= end; i += Lanes)
        for (std::size_t l = 0; l < Lanes; ++l) {
            const double dx = x[i + l] - mx;
            const double dy = y[i + l] - my;
            xx[l] += dx * dx;
            xy[l] += dx * dy;
            yy[l] += dy * dy;
        }
    for (std::size_t l = 0; i < end; ++i, ++l) {
        const double dx = x[i] - mx;
        const double dy = y[i] - my;
        xx[l] += dx * dx;
        xy[l] += dx * dy;
        yy[l] += dy * dy;
    }
    const auto fold = [](const double* a) {
        return ((a[0] + a[1]) + (a[2] + a[3])) + ((a[4] + a[5]) + (a[6] + a[7]));
    };
    return {fold(xx), fold(xy), fold(yy)};
}

// The two sums above for the layout of the lab's own rebuilds (contiguous
// doubles against samples), on AVX2 vectors where the processor has them:
// lane for lane the same operations, hence the same bits as the templates.
double BlockSum(const Contiguous& v, std::size_t begin, std::size_t end);
Spread BlockSpread(const Contiguous& x, double mx, const Samples& y, double my,
                   std::size_t begin, std::size_t end);

// Running totals of the centred sums, block after block.
struct Spreads {
    Total xx, xy, yy;
    void Add(const Spread& s)
    {
        xx.Add(s.xx);
        xy.Add(s.xy);
        yy.Add(s.yy);
    }
};

template <class V>
double Mean(const V& v, std::size_t n)
{
    Total total;
    for (std::size_t b = 0; b < n; b += Block)
        total.Add(BlockSum(v, b, b + Block < n ? b + Block : n));
    return n == 0 ? 0.0 : total.Value() / double(n);
}

template <class X, class Y>
Spreads Spread2(const X& x, double mx, const Y& y, double my, std::size_t n)
{
    Spreads s;
    for (std::size_t b = 0; b < n; b += Block)
        s.Add(BlockSpread(x, mx, y, my, b, b + Block < n ? b + Block : n));
    return s;
}

// Pearson's r from the means and centred sums of n pairs; empty when either
// side is flat (see Flat).
std::optional<double> Pearson(std::size_t n, double mx, double my, const Spreads& s);

}  // namespace lab::moments

namespace lab {

// Pearson's correlation of a[0], a[strideA], ... with b[0], b[strideB], ...
// (n values each), from sums about the means, blocked and compensated: its
// rounding stays near 1e-13 for any n. Empty for n = 0 or when either series
// is constant, which for doubles carrying rounding noise means: its standard
// deviation is at most 1e-12 of its root mean square (all zero included).
// Rounding noise in a rebuilt picture is about 1e-15 of that; integer samples
// that are not all equal stay above 1.8e-12 (one step among 2^30 samples of up
// to 2^24).
std::optional<double> Correlation(const double* a, std::size_t strideA, const double* b,
                                  std::size_t strideB, std::size_t n);

}  // namespace lab
