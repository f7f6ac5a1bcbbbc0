// The twiddle recurrence and the tables built from it.
#include "fourier/FourierTwiddles.h"

#include <cmath>

namespace fourier {

namespace {

// The full turn the twiddle angles are taken from. It is 6.28318530717959, four
// units in the last place above the double nearest 2*pi; the results depend on
// its last bit.
constexpr double K = 6.28318530717959;

}  // namespace

TwiddleWalk::TwiddleWalk(std::uint32_t q, std::int32_t sign)
{
    const double theta = sign * K / double(q);
    const double alpha = std::sin(0.5 * theta);
    beta = -2.0 * alpha * alpha;
    gamma = std::sin(theta);
}

void TwiddleTable(double* w, std::uint32_t n, std::int32_t sign)
{
    for (std::uint32_t q = 2; q <= n; q *= 2) {
        TwiddleWalk walk(q, sign);
        double* e = w + 4 * (q / 2 - 1);
        for (std::uint32_t p = 0; p < q / 2; ++p, walk.Step()) {
            e[4 * p] = e[4 * p + 1] = walk.wr;
            e[4 * p + 2] = -walk.wi;
            e[4 * p + 3] = walk.wi;
        }
    }
}

void PairTable(double* pairs, const double* w, std::uint32_t n)
{
    for (std::uint32_t q = 2; q <= n / 2; q *= 2)
        for (std::uint32_t p = 0; p < q / 2; ++p) {
            const double* first = w + 4 * (q - 1 + 2 * p);  // span 2q, offset 2p
            const double* second = first + 4;
            double* e = pairs + 8 * (q / 2 - 1 + p);
            e[0] = e[1] = first[0];
            e[2] = e[3] = second[0];
            e[4] = first[2];
            e[5] = first[3];
            e[6] = second[2];
            e[7] = second[3];
        }
}

void ReversalTable(std::uint16_t* rev, std::uint32_t n)
{
    const std::uint32_t L = Log2(n);
    rev[0] = 0;
    for (std::uint32_t t = 1; t < n; ++t)
        rev[t] = std::uint16_t((rev[t >> 1] >> 1) | ((t & 1) << (L - 1)));
}

}  // namespace fourier
