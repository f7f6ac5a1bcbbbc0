// The lab's spectra in polar form: the main command's forward transform and
// split, on the lab's own grid.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lab {

// The 2-D transform of an H x W grid of any size (from index 1, as the main
// command's), in place, in the given direction (+1 forward), without
// normalisation; at powers of two the main command's own, bit for bit.
void TransformGrid(double* grid, int W, int H, std::int32_t sign);

// The spectrum of a W x H picture of packed colours, split into N magnitudes
// and N phases exactly as the main command splits it. grid (2N+1 doubles) is
// the work space; it is left holding the spectrum.
void SplitSpectrum(const std::int32_t* samples, int W, int H, double* grid, double* magnitude,
                   double* phase);

}  // namespace lab
