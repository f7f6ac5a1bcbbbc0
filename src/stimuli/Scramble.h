// Phase scrambling at a coherence: the seeded noise phase, the weighted mean phase and the
// rebuild of a picture's channels from them, on plain buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace stimuli {

// Grids here are Dft's layout: 2N + 1 doubles for N = W * H elements, used from index 1
// (element k = y * W + x: real part at 2k + 1, imaginary at 2k + 2), row-major. Spectra
// take the kernel exp(-2 pi i (kx/W + ly/H)) (Dft's sign -1, numpy's fft2), unnormalised.
//
// Every routine accepts 1 <= W, H with W * H <= MaxElements and throws
// std::invalid_argument for other sizes.
constexpr std::size_t MaxElements = std::size_t(1) << 28;

// Below this length the weighted sum c e^{i phi} + (1 - c) e^{i theta} has no direction
// (two opposite phases at c = 1/2, up to rounding), and the mean phase is taken as 0.
// Phasors have length 1, their rounding errors are near 1e-16: nothing else comes close.
constexpr double NoDirection = 1e-9;

// The noise phase theta of variant v under seed S for a W x H picture, as unit vectors
// e^{i theta}: u_i = Uniform(NoiseState(S, v, i)) for pixel i = y W + x, U = the spectrum
// of u, and element k of the grid gets U_k / |U_k| (cos theta, sin theta). Element 0 is
// exactly (1, 0) (theta(0,0) = 0: the sum of u is real and positive), and so is any
// element where U is exactly 0.
void NoisePhase(std::uint64_t seed, std::uint64_t variant, int W, int H, double* grid);

// The spectrum of one channel: the W x H values bytes[k * stride] (k = y W + x) into the
// grid as real parts, then transformed with sign -1.
void ChannelSpectrum(const std::uint8_t* bytes, std::size_t stride, int W, int H, double* grid);

// The weighted-mean-phase rebuild of one real channel, before rounding. From its spectrum F
// (a grid as ChannelSpectrum gives it), the noise phase (a grid as NoisePhase gives it) and
// the coherence c in [0, 1], per element k:
//   A = amplitude[k], or |F_k| when amplitude is null;
//   e^{i phi} = F_k / |F_k|, or 1 where F_k = 0;
//   s = c e^{i phi} + (1 - c) e^{i theta}, whose argument is
//       psi = atan2(c sin phi + (1 - c) sin theta, c cos phi + (1 - c) cos theta);
//   element k = A e^{i psi}, evaluated as A (s / |s|), and A (1, 0) where |s| < NoDirection.
// Then the grid is transformed with sign +1 and every element divided by N. The real parts
// (at 2k + 1) are the rebuilt values; the imaginary parts are rounding residue, since both
// phases are odd-symmetric. grid may not be spectrum; index 0 is set to 0.
void WeightedMeanRebuild(const double* spectrum, const double* amplitude, const double* noise,
                         int W, int H, double c, double* grid);

// The real parts of a rebuilt grid as bytes out[k * stride]: rounded to the nearest integer,
// halves up, then clipped to 0..255 (a NaN counts as clipped to 0). Returns how many of the N
// values were clipped.
std::size_t Quantise(const double* grid, int W, int H, std::uint8_t* out, std::size_t stride);

// One picture of 1 (gray) or 3 (R, G, B) channels and the spectra of its channels, kept
// for as many outputs as are asked of it: 16 bytes a pixel a channel.
class Scrambler {
public:
    // bytes: W x H pixels of `channels` interleaved bytes, row-major without padding.
    // Throws std::invalid_argument for other channel counts or sizes.
    Scrambler(const std::uint8_t* bytes, int W, int H, int channels);

    int Width() const { return width; }
    int Height() const { return height; }
    int Channels() const { return channels; }

    // The spectrum grid of a channel (0 <= channel < Channels()).
    const double* Spectrum(int channel) const;

    // |F| of a channel, N values into amplitude.
    void Amplitude(int channel, double* amplitude) const;

    // One output at coherence c with the noise phase of a variant (a NoisePhase grid of
    // this size): every channel rebuilt with WeightedMeanRebuild, sharing the noise, and
    // quantised into out (W x H x Channels() interleaved bytes). amplitudes: null for the
    // picture's own, else one plane of N values per channel. work: a grid of 2N + 1 doubles.
    // Returns how many values were clipped.
    std::size_t Scramble(const double* noise, double c, const double* const* amplitudes,
                         double* work, std::uint8_t* out) const;

private:
    int width, height, channels;
    std::vector<double> spectra;  // one grid after the other
};

// The mean amplitude of a set of pictures of one size and channel count, channel by
// channel: Add every picture, in the set's order (the sums are taken in that order, so
// the same set gives the same bits), then Planes. 8 bytes a pixel a channel.
class AmplitudeMean {
public:
    AmplitudeMean(int W, int H, int channels);

    // Adds the picture's |F|; throws std::invalid_argument for another size or channel count.
    void Add(const Scrambler& picture);

    // The mean of the pictures added so far: one plane of N values per channel, as
    // Scrambler::Scramble takes them (valid as long as this object, until the next Add).
    const double* const* Planes();

private:
    int width, height, channels;
    std::size_t count = 0;
    std::vector<double> sums, means, work;
    std::vector<const double*> planes;
};

}  // namespace stimuli
