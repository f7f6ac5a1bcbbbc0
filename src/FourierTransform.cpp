// The multidimensional radix-2 FFT of the spectral engine.
#include <cmath>
#include <cstdint>

#include "Unit1.h"

namespace {

// The full turn the twiddle angles are taken from. It is 6.28318530717959, four
// units in the last place above the double nearest 2*pi; the results depend on
// its last bit.
constexpr double K = 6.28318530717959;

// Lengths the index arithmetic can serve: each a power of two, and 2N within
// 32 bits with room for one more block step (N <= 2^30).
bool Acceptable(const std::uint32_t* dims, std::int32_t count)
{
    std::uint64_t N = 1;
    for (std::int32_t d = 1; d <= count; ++d) {
        const std::uint32_t n = dims[d];
        if (n == 0 || (n & (n - 1)) != 0)
            return false;
        N *= n;
        if (N > (std::uint64_t(1) << 30))
            return false;
    }
    return true;
}

}  // namespace

// Symbols, per dimension d (1-based indices into x throughout):
//   n  its length            P  product of the lengths already done (faster dims)
//   Q  product of the lengths still to do     s  2P, the stride between neighbours
//   R  s*n, one block in which P lines interleave   T  R*Q = 2N, all the doubles
// Example: a 2x4x8 grid has N = 64. For d = 3 (n = 8): P = 1, s = 2, R = 16,
// Q = 8 blocks of one line each. For d = 2 (n = 4): P = 8, s = 16, R = 64, so
// 8 lines interleave in each of Q = 2 blocks. For d = 1 (n = 2): P = 32, s = 64,
// R = 128 = T, one block of 32 interleaved lines.
void TKorvanith::FourierTransform(double* x, const std::uint32_t* dims, std::int32_t count,
                                  std::int32_t sign)
{
    if (count < 1 || !Acceptable(dims, count))
        return;
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

        // Bit-reversed reordering: j walks the positions, r their reversal.
        std::uint32_t r = 1;
        for (std::uint32_t j = 1; j <= R; j += s) {
            if (j < r) {
                for (std::uint32_t i = j; i <= j + s - 2; i += 2) {
                    for (std::uint32_t a = i; a <= T; a += R) {
                        const std::uint32_t b = r + a - j;
                        std::swap(x[a], x[b]);
                        std::swap(x[a + 1], x[b + 1]);
                    }
                }
            }
            std::uint32_t c = R >> 1;
            while (c >= s && r > c) {
                r -= c;
                c >>= 1;
            }
            r += c;
        }

        // Butterfly passes of span q = g/s elements; the twiddle (wr, wi) is
        // advanced by the recurrence, never recomputed.
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
                for (std::uint32_t i = m; i <= m + s - 2; i += 2) {
                    for (std::uint32_t a = i; a <= T; a += g) {
                        const std::uint32_t b = a + h;
                        const double tr = wr * x[b] - wi * x[b + 1];
                        const double ti = wr * x[b + 1] + wi * x[b];
                        x[b] = x[a] - tr;
                        x[b + 1] = x[a + 1] - ti;
                        x[a] = x[a] + tr;
                        x[a + 1] = x[a + 1] + ti;
                    }
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
