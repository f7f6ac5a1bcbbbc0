// The transform of any size: power-of-two grids go to FourierTransform, the
// others through a direct sum per line along each dimension.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fourier/FourierTransform.h"

namespace fourier {

namespace {

bool PowerOfTwo(std::uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

// The direct sum X[k] = sum_j x[j] exp(sign 2 pi i j k / n) over one line of
// n elements, stride elements apart (element j: real at 2 j stride + 1).
void Line(double* grid, std::size_t first, std::size_t stride, std::uint32_t n, std::int32_t sign,
          std::vector<double>& in, const std::vector<double>& c, const std::vector<double>& s)
{
    for (std::uint32_t j = 0; j < n; ++j) {
        in[2 * j] = grid[2 * (first + j * stride) + 1];
        in[2 * j + 1] = grid[2 * (first + j * stride) + 2];
    }
    for (std::uint32_t k = 0; k < n; ++k) {
        double re = 0.0, im = 0.0;
        std::uint64_t jk = 0;  // j k mod n
        for (std::uint32_t j = 0; j < n; ++j) {
            const double wr = c[jk], wi = sign * s[jk];
            re += in[2 * j] * wr - in[2 * j + 1] * wi;
            im += in[2 * j] * wi + in[2 * j + 1] * wr;
            jk += k;
            if (jk >= n)
                jk -= n;
        }
        grid[2 * (first + k * stride) + 1] = re;
        grid[2 * (first + k * stride) + 2] = im;
    }
}

}  // namespace

void Dft(double* grid, const std::uint32_t* dims, std::int32_t count, std::int32_t sign)
{
    std::uint64_t N = 1;
    bool powers = true;
    for (std::int32_t d = 1; d <= count; ++d) {
        if (dims[d] == 0)
            return;
        N *= dims[d];
        if (N > (std::uint64_t(1) << 28))
            return;
        powers = powers && PowerOfTwo(dims[d]);
    }
    if (powers) {
        FourierTransform(grid, dims, count, sign);
        return;
    }
    std::size_t stride = 1;
    for (std::int32_t d = count; d >= 1; --d) {
        const std::uint32_t n = dims[d];
        std::vector<double> in(2 * std::size_t(n)), c(n), s(n);
        for (std::uint32_t j = 0; j < n; ++j) {
            const double angle = 2.0 * M_PI * double(j) / double(n);
            c[j] = std::cos(angle);
            s[j] = std::sin(angle);
        }
        const std::size_t block = stride * n;
        for (std::size_t outer = 0; outer < N; outer += block)
            for (std::size_t inner = 0; inner < stride; ++inner)
                Line(grid, outer + inner, stride, n, sign, in, c, s);
        stride = block;
    }
}

}  // namespace fourier
