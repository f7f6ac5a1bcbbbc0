// One dimension in place, pass by pass, for lines too long to gather.
#include <utility>

#include "fourier/FourierDimension.h"
#include "fourier/FourierTwiddles.h"

namespace fourier {

// In the order the algorithm is written, but with the twiddle steps of a pass
// applied chunk by chunk: a chunk of steps is taken from the recurrence, then
// applied to every block before the recurrence moves on.
void InPlace(double* x, std::uint32_t N, std::uint32_t n, std::uint32_t P, std::int32_t sign)
{
    const std::uint32_t Q = N / (n * P);
    const std::uint32_t s = 2 * P;
    const std::uint32_t R = s * n;
    const std::uint32_t total = R * Q;  // all the doubles, 2N

    // Bit-reversed reordering: j walks the positions, r their reversal.
    std::uint32_t r = 1;
    for (std::uint32_t j = 1; j <= R; j += s) {
        if (j < r)
            for (std::uint32_t a = 1; a <= total; a += R)
                for (std::uint32_t i = 0; i < s; i += 2) {
                    std::swap(x[a + j - 1 + i], x[a + r - 1 + i]);
                    std::swap(x[a + j + i], x[a + r + i]);
                }
        std::uint32_t c = R >> 1;
        while (c >= s && r > c) {
            r -= c;
            c >>= 1;
        }
        r += c;
    }

    constexpr std::uint32_t Chunk = 1024;
    double w[2 * Chunk];
    for (std::uint32_t h = s; h < R; h *= 2) {
        const std::uint32_t g = 2 * h;
        const std::uint32_t q = g / s;
        TwiddleWalk walk(q, sign);
        for (std::uint32_t p0 = 0; p0 < q / 2; p0 += Chunk) {
            const std::uint32_t count = q / 2 - p0 < Chunk ? q / 2 - p0 : Chunk;
            for (std::uint32_t p = 0; p < count; ++p, walk.Step()) {
                w[2 * p] = walk.wr;
                w[2 * p + 1] = walk.wi;
            }
            for (std::uint32_t block = 1; block <= total; block += g)
                for (std::uint32_t p = 0; p < count; ++p) {
                    const double cr = w[2 * p], ci = w[2 * p + 1];
                    const std::uint32_t m = block + (p0 + p) * s;
                    for (std::uint32_t a = m; a < m + s; a += 2) {
                        const std::uint32_t b = a + h;
                        const double tr = cr * x[b] - ci * x[b + 1];
                        const double ti = cr * x[b + 1] + ci * x[b];
                        x[b] = x[a] - tr;
                        x[b + 1] = x[a + 1] - ti;
                        x[a] = x[a] + tr;
                        x[a + 1] = x[a + 1] + ti;
                    }
                }
        }
    }
}

}  // namespace fourier
