// Phase scrambling at a coherence: noise phase, weighted mean phase, rebuild, rounding.
#include "stimuli/Scramble.h"

#include <cmath>
#include <stdexcept>

#include "fourier/FourierTransform.h"
#include "stimuli/SplitMix64.h"

namespace stimuli {

namespace {

// N for a size the routines accept; throws otherwise.
std::size_t Elements(int W, int H)
{
    if (W < 1 || H < 1 || std::size_t(W) * std::size_t(H) > MaxElements)
        throw std::invalid_argument("scramble: a picture must have 1 to 2^28 pixels");
    return std::size_t(W) * std::size_t(H);
}

void Transform(double* grid, int W, int H, std::int32_t sign)
{
    const std::uint32_t dims[3] = {0, std::uint32_t(H), std::uint32_t(W)};
    fourier::Dft(grid, dims, 2, sign);
}

}  // namespace

void NoisePhase(std::uint64_t seed, std::uint64_t variant, int W, int H, double* grid)
{
    const std::size_t N = Elements(W, H);
    grid[0] = 0.0;
    for (std::size_t i = 0; i < N; ++i) {
        grid[2 * i + 1] = Uniform(NoiseState(seed, variant, i));
        grid[2 * i + 2] = 0.0;
    }
    Transform(grid, W, H, -1);
    for (std::size_t k = 0; k < N; ++k) {
        const double re = grid[2 * k + 1], im = grid[2 * k + 2];
        const double m = std::sqrt(re * re + im * im);
        if (k == 0 || !(m > 0.0)) {
            grid[2 * k + 1] = 1.0;
            grid[2 * k + 2] = 0.0;
        } else {
            grid[2 * k + 1] = re / m;
            grid[2 * k + 2] = im / m;
        }
    }
}

void ChannelSpectrum(const std::uint8_t* bytes, std::size_t stride, int W, int H, double* grid)
{
    const std::size_t N = Elements(W, H);
    grid[0] = 0.0;
    for (std::size_t k = 0; k < N; ++k) {
        grid[2 * k + 1] = double(bytes[k * stride]);
        grid[2 * k + 2] = 0.0;
    }
    Transform(grid, W, H, -1);
}

void WeightedMeanRebuild(const double* spectrum, const double* amplitude, const double* noise,
                         int W, int H, double c, double* grid)
{
    const std::size_t N = Elements(W, H);
    if (!(c >= 0.0 && c <= 1.0))
        throw std::invalid_argument("scramble: the coherence must be in [0, 1]");
    const double rest = 1.0 - c;
    grid[0] = 0.0;
    for (std::size_t k = 0; k < N; ++k) {
        const double re = spectrum[2 * k + 1], im = spectrum[2 * k + 2];
        const double a = std::sqrt(re * re + im * im);
        double cosPhi = 1.0, sinPhi = 0.0;
        if (a > 0.0) {
            cosPhi = re / a;
            sinPhi = im / a;
        }
        const double x = c * cosPhi + rest * noise[2 * k + 1];
        const double y = c * sinPhi + rest * noise[2 * k + 2];
        const double s = std::sqrt(x * x + y * y);
        const double A = amplitude ? amplitude[k] : a;
        if (s < NoDirection) {
            grid[2 * k + 1] = A;
            grid[2 * k + 2] = 0.0;
        } else {
            grid[2 * k + 1] = A * (x / s);
            grid[2 * k + 2] = A * (y / s);
        }
    }
    Transform(grid, W, H, +1);
    const double n = double(N);
    for (std::size_t j = 1; j <= 2 * N; ++j)
        grid[j] /= n;
}

std::size_t Quantise(const double* grid, int W, int H, std::uint8_t* out, std::size_t stride)
{
    const std::size_t N = Elements(W, H);
    std::size_t clipped = 0;
    for (std::size_t k = 0; k < N; ++k) {
        const double v = grid[2 * k + 1];
        // v - floor(v) is exact, so a value a hair below a half stays below it (as
        // floor(v + 0.5) would not promise).
        double r = std::floor(v);
        if (v - r >= 0.5)
            r += 1.0;
        std::uint8_t level;
        if (!(r >= 0.0)) {
            level = 0;
            ++clipped;
        } else if (r > 255.0) {
            level = 255;
            ++clipped;
        } else {
            level = std::uint8_t(r);
        }
        out[k * stride] = level;
    }
    return clipped;
}

Scrambler::Scrambler(const std::uint8_t* bytes, int W, int H, int channels)
    : width(W), height(H), channels(channels)
{
    const std::size_t N = Elements(W, H);
    if (channels != 1 && channels != 3)
        throw std::invalid_argument("scramble: a picture has 1 or 3 channels");
    spectra.resize(std::size_t(channels) * (2 * N + 1));
    for (int ch = 0; ch < channels; ++ch)
        ChannelSpectrum(bytes + ch, std::size_t(channels), W, H,
                        spectra.data() + std::size_t(ch) * (2 * N + 1));
}

const double* Scrambler::Spectrum(int channel) const
{
    const std::size_t N = std::size_t(width) * std::size_t(height);
    return spectra.data() + std::size_t(channel) * (2 * N + 1);
}

void Scrambler::Amplitude(int channel, double* amplitude) const
{
    const std::size_t N = std::size_t(width) * std::size_t(height);
    const double* F = Spectrum(channel);
    for (std::size_t k = 0; k < N; ++k) {
        const double re = F[2 * k + 1], im = F[2 * k + 2];
        amplitude[k] = std::sqrt(re * re + im * im);
    }
}

std::size_t Scrambler::Scramble(const double* noise, double c, const double* const* amplitudes,
                                double* work, std::uint8_t* out) const
{
    std::size_t clipped = 0;
    for (int ch = 0; ch < channels; ++ch) {
        WeightedMeanRebuild(Spectrum(ch), amplitudes ? amplitudes[ch] : nullptr, noise, width,
                            height, c, work);
        clipped += Quantise(work, width, height, out + ch, std::size_t(channels));
    }
    return clipped;
}

AmplitudeMean::AmplitudeMean(int W, int H, int channels)
    : width(W), height(H), channels(channels)
{
    const std::size_t N = Elements(W, H);
    if (channels != 1 && channels != 3)
        throw std::invalid_argument("scramble: a picture has 1 or 3 channels");
    sums.assign(std::size_t(channels) * N, 0.0);
    work.resize(N);
}

void AmplitudeMean::Add(const Scrambler& picture)
{
    if (picture.Width() != width || picture.Height() != height || picture.Channels() != channels)
        throw std::invalid_argument("scramble: a mean amplitude needs pictures of one size");
    const std::size_t N = std::size_t(width) * std::size_t(height);
    for (int ch = 0; ch < channels; ++ch) {
        picture.Amplitude(ch, work.data());
        double* sum = sums.data() + std::size_t(ch) * N;
        for (std::size_t k = 0; k < N; ++k)
            sum[k] += work[k];
    }
    ++count;
}

const double* const* AmplitudeMean::Planes()
{
    const std::size_t N = std::size_t(width) * std::size_t(height);
    means.resize(sums.size());
    const double n = double(count == 0 ? 1 : count);
    for (std::size_t j = 0; j < sums.size(); ++j)
        means[j] = sums[j] / n;
    planes.clear();
    for (int ch = 0; ch < channels; ++ch)
        planes.push_back(means.data() + std::size_t(ch) * N);
    return planes.data();
}

}  // namespace stimuli
