// The lab's tiles: the pictures it shows of spectra and rebuilds, as bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lab/Stretch.h"

namespace lab {

// The tiles of one side, each as large as the inputs.
enum class Tile {
    Magnitude,      // log(1 + |F|), centred, stretched (see PaintMagnitude)
    Phase,          // the phase as a hue (PhaseColour), centred, RGB
    Normal,         // the Normal rebuild, stretched (see PaintStretched)
    Swap,           // the Swap rebuild
    MagnitudeOnly,  // the MagnitudeOnly rebuild, centred (shifted by half its size)
    PhaseOnly,      // the PhaseOnly rebuild
    Mix,            // the Mix rebuild at the lab's mix
};

constexpr int TileCount = 7;

// Bytes per pixel of a tile: 3 for the phase's colours, 1 for gray.
inline int Channels(Tile tile) { return tile == Tile::Phase ? 3 : 1; }

// A tile's pixels: row-major bytes without padding, Channels of its tile per
// pixel. It points into the lab: valid for as long as the lab is, and the Mix
// tiles change in place when the mix or its settings move.
struct TilePixels {
    int width = 0, height = 0;
    int channels = 1;
    const std::uint8_t* bytes = nullptr;
    std::size_t Size() const
    {
        return std::size_t(width) * std::size_t(height) * std::size_t(channels);
    }
};

// Layout's runs: run(to, from, length) for each run of length consecutive
// pixels from destination to showing the sources from on, row by row.
template <class Run>
void LayoutRuns(int W, int H, bool centred, Run run)
{
    const std::size_t w = std::size_t(W);
    const std::size_t h = std::size_t(H);
    const std::size_t dx = centred ? w - w / 2 : 0;
    const std::size_t dy = centred ? h - h / 2 : 0;
    for (std::size_t y = 0; y < h; ++y) {
        const std::size_t to = y * w;
        const std::size_t from = ((y + dy) % h) * w;
        if (w > dx)
            run(to, from + dx, w - dx);
        if (dx > 0)
            run(to + (w - dx), from, dx);
    }
}

// Calls put(destination, source) for every pixel of a W x H tile, source
// being the index of what the pixel shows: itself, or when centred the one
// whose index 0 lands at (floor(W/2), floor(H/2)), as numpy's fftshift puts
// it. Each row takes two runs of consecutive sources. Centred, a row of
// W = 4 shows sources 2, 3, 0, 1, and one of W = 3 shows 2, 0, 1.
template <class Put>
void Layout(int W, int H, bool centred, Put put)
{
    LayoutRuns(W, H, centred, [&](std::size_t to, std::size_t from, std::size_t length) {
        for (std::size_t x = 0; x < length; ++x)
            put(to + x, from + x);
    });
}

// The Magnitude tile of N = W * H magnitudes: L = log(1 + m), centred, from
// its 1st to its 99th percentile by the nearest-rank rule onto gray 0..255,
// rounded and clamped, so that the spectrum's structure shows and not only
// its few largest values. Where the two percentiles are equal, that level
// shows mid gray (black when it is 0, no magnitude at all), L above it white
// and below it black. scratch holds 2N doubles.
void PaintMagnitude(const double* magnitude, int W, int H, double* scratch, std::uint8_t* bytes);

// The Phase tile: each phase's colour (PhaseColour), centred, 3 bytes a pixel.
void PaintPhase(const double* phase, int W, int H, std::uint8_t* rgb);

// A rebuild's tile: its W * H values stretched from their 1st to their 99th
// percentile by the nearest-rank rule onto gray 0..255 (Stretch.h), centred
// when asked; known holds their extremes (FindExtremes). scratch holds W * H
// doubles and is overwritten.
void PaintStretched(const double* values, int W, int H, bool centred, double* scratch,
                    std::uint8_t* bytes, const Extremes& known);

// The colour of a phase: its hue, with 0 red, 2 pi/3 green, -2 pi/3 blue and
// -pi and pi both cyan (the opposite of 0); saturation and value full.
// Components rounded to nearest; phases outside [-pi, pi] wrap around.
std::array<std::uint8_t, 3> PhaseColour(double phase);

// A legend for the Phase tiles: a width x height RGB bar (row-major, 3 bytes
// a pixel) whose column x shows the colour of phase -pi + 2 pi x / (width - 1),
// from -pi at the left edge through 0 in the middle to pi at the right (one
// column: 0). Throws std::invalid_argument unless both sizes are positive.
std::vector<std::uint8_t> PhaseLegend(int width, int height);

}  // namespace lab
