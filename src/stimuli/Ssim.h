// The structural similarity index (Wang, Bovik, Sheikh and Simoncelli, 2004)
// of two 8-bit gray pictures.
#pragma once

#include <cstdint>

namespace stimuli {

// The mean SSIM of a against b, both W x H levels row by row: an 11 x 11
// Gaussian window (sigma 1.5, weights normalised to sum 1), K1 = 0.01,
// K2 = 0.03, L = 255, at every position where the window lies wholly inside
// the picture ("valid": (W - 10) x (H - 10) positions), the local means,
// variances and covariance weighted by the window (sigma^2 as E[x^2] - mu^2).
// NaN when the picture is smaller than the window. 1 for a picture and itself.
double Ssim(const std::uint8_t* a, const std::uint8_t* b, int W, int H);

}  // namespace stimuli
