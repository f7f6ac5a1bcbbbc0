// The FFT exactly as its algorithm is written, one loop per step: the oracle
// that the engine's transform must equal bit for bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <utility>

namespace literal {

// x is used from index 1; dims[1..count] are powers of two, dims[count]
// varying fastest; sign +1 or -1.
inline void FourierTransform(double* x, const std::uint32_t* dims, std::int32_t count,
                             std::int32_t sign)
{
    const double K = 6.28318530717959;
    std::uint32_t N = 1;
    for (std::int32_t d = 1; d <= count; ++d)
        N *= dims[d];
    std::uint32_t P = 1;
    for (std::int32_t d = count; d >= 1; --d) {
        const std::uint32_t n = dims[d];
        const std::uint32_t Q = N / (n * P);
        const std::uint32_t s = 2 * P;
        const std::uint32_t R = s * n;
        const std::uint32_t T = R * Q;
        std::uint32_t r = 1;
        for (std::uint32_t j = 1; j <= R; j += s) {
            if (j < r)
                for (std::uint32_t i = j; i <= j + s - 2; i += 2)
                    for (std::uint32_t a = i; a <= T; a += R) {
                        const std::uint32_t b = r + a - j;
                        std::swap(x[a], x[b]);
                        std::swap(x[a + 1], x[b + 1]);
                    }
            std::uint32_t c = R >> 1;
            while (c >= s && r > c) {
                r -= c;
                c >>= 1;
            }
            r += c;
        }
        std::uint32_t h = s;
        while (h < R) {
            const std::uint32_t g = 2 * h;
            const std::uint32_t q = g / s;
            const double theta = sign * K / double(q);
            const double alpha = std::sin(0.5 * theta);
            const double beta = -2.0 * alpha * alpha;
            const double gamma = std::sin(theta);
            double wr = 1.0;
            double wi = 0.0;
            for (std::uint32_t m = 1; m <= h; m += s) {
                for (std::uint32_t i = m; i <= m + s - 2; i += 2)
                    for (std::uint32_t a = i; a <= T; a += g) {
                        const std::uint32_t b = a + h;
                        const double tr = wr * x[b] - wi * x[b + 1];
                        const double ti = wr * x[b + 1] + wi * x[b];
                        x[b] = x[a] - tr;
                        x[b + 1] = x[a + 1] - ti;
                        x[a] = x[a] + tr;
                        x[a + 1] = x[a + 1] + ti;
                    }
                const double w = wr;
                wr = (wr * beta - wi * gamma) + wr;
                wi = (wi * beta + w * gamma) + wi;
            }
            h = g;
        }
        P *= n;
    }
}

}  // namespace literal
