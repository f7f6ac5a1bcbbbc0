// The main command's steps, in the order that fixes every bit of the results.
#include "phase/Command.h"

#include <cmath>
#include <string>

#include "fourier/FourierTransform.h"
#include "phase/Levels.h"
#include "phase/Pair.h"
#include "platform/Exception.h"
#include "platform/Memory.h"

namespace phase {

namespace {

[[noreturn]] void NotEnoughMemory(int W, int H)
{
    throw Exception("Cannot transform: not enough memory for a " + SizeText(W, H) +
                    " transform (needs " + std::to_string(Mebibytes(CommandBytes(W, H))) +
                    " MiB).");
}

// The six buffers of one run: two grids of 2N+1 doubles, zero-filled, and
// four planes of N doubles. A mapping the system refuses raises the same
// words as the check before it.
struct Buffers {
    Buffers(int W, int H)
        : N(std::size_t(W) * std::size_t(H)), rightGrid(2 * N + 1), leftGrid(2 * N + 1),
          rightMagnitude(N), leftMagnitude(N), leftPhase(N), rightPhase(N)
    {
        if (!rightGrid.get() || !leftGrid.get() || !rightMagnitude.get() ||
            !leftMagnitude.get() || !leftPhase.get() || !rightPhase.get())
            NotEnoughMemory(W, H);
    }

    const std::size_t N;
    TDoubleArray rightGrid, leftGrid, rightMagnitude, leftMagnitude, leftPhase, rightPhase;
};

}  // namespace

std::uint64_t CommandBytes(int W, int H)
{
    return (8 * std::uint64_t(W) * std::uint64_t(H) + 2) * sizeof(double);
}

std::uint64_t Mebibytes(std::uint64_t bytes) { return (bytes + (1u << 20) - 1) >> 20; }

void CheckCommandMemory(int W, int H)
{
    if (CommandBytes(W, H) > AvailableMemory())
        NotEnoughMemory(W, H);
}

void LoadSamples(double* grid, const std::int32_t* pixels, std::size_t N)
{
    for (std::size_t k = 0; k < N; ++k)
        grid[2 * k + 1] = double(pixels[k]);
}

void SplitPolar(const double* grid, double* phase, double* magnitude, std::size_t N)
{
    for (std::size_t k = 0; k < N; ++k)
        phase[k] = std::atan2(grid[2 * k + 2], grid[2 * k + 1]);
    for (std::size_t k = 0; k < N; ++k) {
        const double re = grid[2 * k + 1];
        const double im = grid[2 * k + 2];
        magnitude[k] = std::sqrt(re * re + im * im);
    }
}

void JoinPolar(double* grid, const double* phase, const double* magnitude, std::size_t N)
{
    // Both taken before either is stored, so that the compiler may get them
    // from one call (the C library's sincos gives the bits of cos and sin).
    for (std::size_t k = 0; k < N; ++k) {
        const double c = std::cos(phase[k]);
        const double s = std::sin(phase[k]);
        grid[2 * k + 1] = c * magnitude[k];
        grid[2 * k + 2] = s * magnitude[k];
    }
}

void Divide(double* grid, int W, int H)
{
    const double count = double(H) * double(W);
    const std::size_t values = 2 * std::size_t(W) * std::size_t(H);
    // For a power of two the inverse is exact, and x * 2^-k is the correctly
    // rounded x / 2^k: the same double, without a division.
    if (PowerOfTwo(std::int64_t(W) * H)) {
        const double inverse = 1.0 / count;
        for (std::size_t i = 1; i <= values; ++i)
            grid[i] = grid[i] * inverse;
        return;
    }
    for (std::size_t i = 1; i <= values; ++i)
        grid[i] = grid[i] / count;
}

void DivideReals(const double* grid, std::size_t begin, std::size_t end, int W, int H, double* out)
{
    const double count = double(H) * double(W);
    const double* const re = grid + 1 + 2 * begin;
    const std::size_t n = end - begin;
    if (PowerOfTwo(std::int64_t(W) * H)) {
        const double inverse = 1.0 / count;
        for (std::size_t k = 0; k < n; ++k)
            out[k] = re[2 * k] * inverse;
        return;
    }
    for (std::size_t k = 0; k < n; ++k)
        out[k] = re[2 * k] / count;
}

void ShowLinear(const double* grid, std::uint8_t* levels, std::size_t N)
{
    for (std::size_t k = 0; k < N; ++k)
        levels[k] = levels::Linear(grid[2 * k + 1]);
}

void ShowLog(const double* grid, std::uint8_t* levels, std::size_t N, double scale)
{
    for (std::size_t k = 0; k < N; ++k)
        levels[k] = levels::Logarithmic(grid[2 * k + 1], scale);
}

void RunCommand(const std::int32_t* left, const std::int32_t* right, int W, int H, Mode mode,
                std::uint8_t* leftLevels, std::uint8_t* rightLevels)
{
    Buffers buffers(W, H);
    const std::size_t N = buffers.N;
    double* const rightGrid = buffers.rightGrid.get();
    double* const leftGrid = buffers.leftGrid.get();

    LoadSamples(rightGrid, right, N);
    LoadSamples(leftGrid, left, N);

    const std::uint32_t dims[3] = {0, std::uint32_t(H), std::uint32_t(W)};
    fourier::FourierTransform(rightGrid, dims, 2, +1);
    fourier::FourierTransform(leftGrid, dims, 2, +1);

    // Each result is joined from its own magnitude and the phase of the mode.
    if (mode == Mode::Normal) {
        SplitPolar(rightGrid, buffers.rightPhase.get(), buffers.rightMagnitude.get(), N);
        SplitPolar(leftGrid, buffers.leftPhase.get(), buffers.leftMagnitude.get(), N);
    } else {
        SplitPolar(rightGrid, buffers.leftPhase.get(), buffers.rightMagnitude.get(), N);
        SplitPolar(leftGrid, buffers.rightPhase.get(), buffers.leftMagnitude.get(), N);
    }
    JoinPolar(leftGrid, buffers.leftPhase.get(), buffers.leftMagnitude.get(), N);
    JoinPolar(rightGrid, buffers.rightPhase.get(), buffers.rightMagnitude.get(), N);

    fourier::FourierTransform(rightGrid, dims, 2, -1);
    fourier::FourierTransform(leftGrid, dims, 2, -1);
    Divide(leftGrid, W, H);
    Divide(rightGrid, W, H);

    if (mode == Mode::Normal) {
        ShowLinear(leftGrid, leftLevels, N);
        ShowLinear(rightGrid, rightLevels, N);
    } else {
        ShowLog(leftGrid, leftLevels, N, LogScale);
        ShowLog(rightGrid, rightLevels, N, LogScale);
    }
}

}  // namespace phase
