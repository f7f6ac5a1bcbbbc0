// The lab's spectra, through the main command's own steps.
#include "lab/Polar.h"

#include <algorithm>

#include "fourier/FourierTransform.h"
#include "phase/Command.h"

namespace lab {

void TransformGrid(double* grid, int W, int H, std::int32_t sign)
{
    const std::uint32_t dims[3] = {0, std::uint32_t(H), std::uint32_t(W)};
    fourier::Dft(grid, dims, 2, sign);
}

void ForwardSpectrum(const std::int32_t* samples, int W, int H, double* grid)
{
    const std::size_t N = std::size_t(W) * std::size_t(H);
    std::fill(grid, grid + 2 * N + 1, 0.0);
    phase::LoadSamples(grid, samples, N);
    TransformGrid(grid, W, H, +1);
}

}  // namespace lab
