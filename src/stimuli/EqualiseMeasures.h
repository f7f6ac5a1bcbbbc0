// What the equalising report says of a set: each picture's moments,
// histogram and rotational spectrum, their spread over the set, the fitted
// 1/f slope, and each result's distance from its original.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "stimuli/Equalise.h"

namespace stimuli {

struct PictureMeasures {
    double mean = 0.0, deviation = 0.0;     // of the used pixels; divisor m - 1 (0 for m = 1)
    std::array<std::uint32_t, 256> histogram{};  // of the used pixels
    // The mean amplitude |F| of the whole picture on ring r (Ring), for
    // r = 0 .. RingCount - 1; 0 for a ring without elements.
    std::vector<double> rotational;
};

// Every picture's measures, on `jobs` threads; mask as in EqualiseOptions.
std::vector<PictureMeasures> Measure(const PictureSet& set, const std::uint8_t* mask, int jobs);

// The rings whose circle lies wholly inside the spectrum: 1 .. min(floor(W/2),
// floor(H/2)). The spectra are compared, plotted and fitted over these.
int FullRings(int W, int H);

struct SetSpread {
    double meanRange = 0.0;       // largest mean minus smallest
    double deviationRange = 0.0;  // likewise for the standard deviations
    // The largest over pairs of pictures of half the summed absolute
    // differences of their histograms over the used pixel count: the share
    // of pixels that would have to change level, 0 (equal) .. 1 (disjoint).
    double histogramDifference = 0.0;
    // The root mean square over pictures and full rings of log10 of a
    // picture's rotational mean amplitude minus the set's mean of that log
    // on the ring; rings where any picture has 0 are left out. 0: equal.
    double spectrumSpread = 0.0;
};
SetSpread Spread(const std::vector<PictureMeasures>& pictures, int W, int H);

// The least-squares slope of log10(mean amplitude) against log10(ring) over
// the full rings, the amplitude being the set's mean rotational amplitude on
// the ring (rings where it is 0 left out): about -1 to -2 for photographs.
// NaN with fewer than two usable rings.
double FittedSlope(const std::vector<PictureMeasures>& pictures, int W, int H);

// The root mean square difference of two pictures of n levels.
double Rmse(const std::uint8_t* a, const std::uint8_t* b, std::size_t n);

// Y = 0.299 R + 0.587 G + 0.114 B rounded, halves up, in integers:
// (299 R + 587 G + 114 B + 500) / 1000.
std::uint8_t Luma(int red, int green, int blue);

}  // namespace stimuli
