// The figures a manifest gives of a picture and its scrambles: mean, RMS contrast, Pearson's r.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace stimuli {

// The mean of n 8-bit values and their RMS contrast, the population standard deviation
// sqrt(sum (v - mean)^2 / n), both in levels 0..255; 0 and 0 for n = 0. The sums are
// exact integers, so nothing cancels: each figure is within a few roundings of the truth.
struct Levels {
    double mean = 0.0;
    double rmsContrast = 0.0;
};
Levels Describe(const std::uint8_t* values, std::size_t n);

// Pearson's correlation of n pairs x[i], y[i], likewise from exact integer sums, within
// [-1, 1]; empty when either side is constant (or n is 0).
std::optional<double> Correlation(const std::uint8_t* x, const std::uint8_t* y, std::size_t n);

}  // namespace stimuli
