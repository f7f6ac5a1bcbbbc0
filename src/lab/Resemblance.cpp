// Pearson's correlation from blocked, compensated sums about the means.
#include "lab/Resemblance.h"

#include <immintrin.h>

#include "fourier/FourierTransform.h"

namespace lab {
namespace moments {
namespace {

static_assert(Lanes == 8, "the vector kernels hold the lanes in two vectors of four");

// The lanes' sums added in the templates' order.
double Fold(const double* a) { return ((a[0] + a[1]) + (a[2] + a[3])) + ((a[4] + a[5]) + (a[6] + a[7])); }

// BlockSum<Contiguous> with lanes 0-3 and 4-7 in two vectors.
__attribute__((target("avx2"))) double BlockSumAvx2(const double* v, std::size_t begin,
                                                    std::size_t end)
{
    __m256d low = _mm256_setzero_pd(), high = _mm256_setzero_pd();
    std::size_t i = begin;
    for (; i + Lanes <= end; i += Lanes) {
        low = _mm256_add_pd(low, _mm256_loadu_pd(v + i));
        high = _mm256_add_pd(high, _mm256_loadu_pd(v + i + 4));
    }
    double a[Lanes];
    _mm256_storeu_pd(a, low);
    _mm256_storeu_pd(a + 4, high);
    for (std::size_t l = 0; i < end; ++i, ++l)
        a[l] += v[i];
    return Fold(a);
}

// BlockSpread<Contiguous, Samples> likewise; the samples convert to doubles
// exactly, four at a time.
__attribute__((target("avx2"))) Spread BlockSpreadAvx2(const double* x, double mx,
                                                       const std::int32_t* y, double my,
                                                       std::size_t begin, std::size_t end)
{
    const __m256d vmx = _mm256_set1_pd(mx), vmy = _mm256_set1_pd(my);
    __m256d xx[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()};
    __m256d xy[2] = {xx[0], xx[0]}, yy[2] = {xx[0], xx[0]};
    std::size_t i = begin;
    for (; i + Lanes <= end; i += Lanes)
        for (int h = 0; h < 2; ++h) {
            const __m256d dx = _mm256_sub_pd(_mm256_loadu_pd(x + i + 4 * h), vmx);
            const __m256d dy = _mm256_sub_pd(
                _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i + 4 * h))),
                vmy);
            xx[h] = _mm256_add_pd(xx[h], _mm256_mul_pd(dx, dx));
            xy[h] = _mm256_add_pd(xy[h], _mm256_mul_pd(dx, dy));
            yy[h] = _mm256_add_pd(yy[h], _mm256_mul_pd(dy, dy));
        }
    double a[3][Lanes];
    for (int h = 0; h < 2; ++h) {
        _mm256_storeu_pd(a[0] + 4 * h, xx[h]);
        _mm256_storeu_pd(a[1] + 4 * h, xy[h]);
        _mm256_storeu_pd(a[2] + 4 * h, yy[h]);
    }
    for (std::size_t l = 0; i < end; ++i, ++l) {
        const double dx = x[i] - mx;
        const double dy = double(y[i]) - my;
        a[0][l] += dx * dx;
        a[1][l] += dx * dy;
        a[2][l] += dy * dy;
    }
    return {Fold(a[0]), Fold(a[1]), Fold(a[2])};
}

}  // namespace

double BlockSum(const Contiguous& v, std::size_t begin, std::size_t end)
{
    return fourier::Supported(fourier::Path::Avx2) ? BlockSumAvx2(v.p, begin, end) : BlockSum<Contiguous>(v, begin, end);
}

Spread BlockSpread(const Contiguous& x, double mx, const Samples& y, double my,
                   std::size_t begin, std::size_t end)
{
    return fourier::Supported(fourier::Path::Avx2) ? BlockSpreadAvx2(x.p, mx, y.p, my, begin, end)
                     : BlockSpread<Contiguous, Samples>(x, mx, y, my, begin, end);
}

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
