// The main command on plain buffers: both pictures to their spectra, each
// rebuilt from its own magnitude and its own or the other's phase, back to
// pictures and on to gray levels.
//
// Grids are complex doubles used from index 1 (element k: real part at 2k+1,
// imaginary at 2k+2; index 0 never read), row-major, N = W * H elements.
// Planes hold N doubles, element k at index k.
#pragma once

#include <cstddef>
#include <cstdint>

namespace phase {

// The display mode: each result from its own phase (linear gray) or from the
// other picture's (logarithmic gray).
enum class Mode { Normal, Swap };

// The scale of the logarithmic levels.
constexpr double LogScale = 105.0;

// The memory one run of the command holds: two grids and four planes,
// 8N + 2 doubles.
std::uint64_t CommandBytes(int W, int H);

// Raises an Exception ("Cannot transform: not enough memory for a W×H
// transform (needs M MiB).") when the process cannot take CommandBytes now.
void CheckCommandMemory(int W, int H);

// MiB, rounded up, as the refusals state them.
std::uint64_t Mebibytes(std::uint64_t bytes);

// The real parts of grid from N packed colours (red + 256 green + 65536 blue),
// each converted exactly to double; imaginary parts untouched.
void LoadSamples(double* grid, const std::int32_t* pixels, std::size_t N);

// phase[k] = atan2(im, re) over all elements, then magnitude[k] =
// sqrt(re * re + im * im); grid only read.
void SplitPolar(const double* grid, double* phase, double* magnitude, std::size_t N);

// Every element of grid becomes cos(phase) * magnitude + i sin(phase) * magnitude.
void JoinPolar(double* grid, const double* phase, const double* magnitude, std::size_t N);

// Every value of grid (real and imaginary) divided by H * W formed in double.
void Divide(double* grid, int W, int H);

// The real parts of elements begin..end-1 (from 0) of grid divided as Divide
// divides them, into out[0..end-begin), which must not overlap grid.
void DivideReals(const double* grid, std::size_t begin, std::size_t end, int W, int H, double* out);

// Gray levels of the real parts: truncated to an integer whose low 8 bits
// show (levels wrap, nothing clamps); the logarithmic ones from
// ln(|t| + 1) * scale (Levels.h).
void ShowLinear(const double* grid, std::uint8_t* levels, std::size_t N);
void ShowLog(const double* grid, std::uint8_t* levels, std::size_t N, double scale);

// The whole command on two W x H pictures of packed colours (W and H powers
// of two): the results' gray levels, N each, row-major. Raises like
// CheckCommandMemory when its buffers cannot be had.
void RunCommand(const std::int32_t* left, const std::int32_t* right, int W, int H, Mode mode,
                std::uint8_t* leftLevels, std::uint8_t* rightLevels);

}  // namespace phase
