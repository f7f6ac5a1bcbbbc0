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

// The spectrum of a W x H picture of packed colours into grid (2N+1
// doubles), as the main command takes it; phase::SplitPolar then splits it
// exactly as the main command does, all at once or a range at a time.
void ForwardSpectrum(const std::int32_t* samples, int W, int H, double* grid);

}  // namespace lab
