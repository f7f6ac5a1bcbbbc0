// The phase lab's engine (no toolkit): spectra, rebuilds, phase mix, resemblance.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace lab {

enum class Side { Left, Right };

// The pictures of one side, each as large as the inputs.
enum class Tile {
    Magnitude,      // log(1 + |F|), centred, 0..its maximum onto gray 0..255 (all zero: black)
    Phase,          // the phase as a hue (PhaseColour), centred, RGB
    Normal,         // rebuilt from its own magnitude and phase ("Normal phase")
    Swap,           // its own magnitude, the other side's phase ("Swap phase")
    MagnitudeOnly,  // its own magnitude, zero phase; centred (shifted by half its size)
    PhaseOnly,      // unit magnitude, its own phase
    Mix,            // its own magnitude, the phase mixed at Mix()
};

// The rebuilds whose resemblance to the inputs is measured; each is the one
// of the tile with the same name.
enum class Rebuild { Normal, Swap, Mix, MagnitudeOnly, PhaseOnly };

// A tile as the lab holds it: row-major bytes without padding, channels 1 for
// gray and 3 for RGB. It points into the lab: valid for as long as the lab
// is, and the Mix tiles change in place when the mix moves.
struct Picture {
    int width = 0, height = 0;
    int channels = 1;
    const std::uint8_t* bytes = nullptr;
    std::size_t Size() const
    {
        return std::size_t(width) * std::size_t(height) * std::size_t(channels);
    }
};

// Both inputs are W x H pictures given as samples: the packed colour of each
// pixel (red + 256 * green + 65536 * blue), row-major. Everything that does not
// depend on the mix is computed once, by the constructor; SetMix recomputes
// the two mixes, their tiles and their resemblance, nothing else.
//
// The spectrum of a side is F = the forward transform of its samples, split
// into magnitude |F| and phase atan2(Im F, Re F) exactly as the main command
// splits it. A rebuild gives F' per frequency, takes the inverse transform and
// divides by N = W * H; its picture and resemblance use the real parts.
//   Normal      |F| (cos phi, sin phi), the main command's "Normal phase"
//   Swap        |F| (cos phi', sin phi') with phi' the other side's phase,
//               the main command's "Swap phase"
//   MagnitudeOnly  |F| + 0i
//   PhaseOnly   cos phi + i sin phi, and 1 + 0i where |F| = 0 (where the
//               phase says nothing)
//   Mix         |F| (cos t, sin t), t = phi + a * d, d = phi' - phi wrapped
//               into [-pi, pi] by adding or subtracting 2 pi; at a = 0 and
//               a = 1 exactly Normal and Swap (t is phi, or phi', itself).
// Normal, Swap and the mix at its ends use std::cos and std::sin, so their
// doubles are the main command's bit for bit; PhaseOnly and the mix between
// its ends use the faster SinCos (SinCos.h), within two units in the last place.
//
// Rebuilt tiles show the rebuilt doubles stretched: the 1st and 99th
// percentile by the nearest-rank rule (the ceil(N/100)-th and ceil(99N/100)-th
// smallest of the N values) go to gray 0 and 255, linearly between, rounded to
// nearest and clamped. When the two percentiles are equal, pixels equal to
// them are 128, lower ones 0 and higher ones 255: a constant rebuild shows
// mid gray, a nearly constant one its outliers (Stretch.h).
//
// Centred tiles show, at pixel (x, y), frequency (or rebuilt pixel)
// ((x + W/2) mod W, (y + H/2) mod H): frequency 0 lands at (W/2, H/2).
class PhaseLab {
public:
    // W and H powers of two (1 included) with N = W * H at most 2^30, the
    // transform's limit; left and right N samples each (the lab keeps copies).
    // mix as for SetMix. Throws std::invalid_argument for other sizes, null
    // samples or a mix that is not a number; std::bad_alloc without the memory
    // (check BytesNeeded first).
    PhaseLab(const std::int32_t* left, const std::int32_t* right, int W, int H, double mix = 0.5);

    // Moves without copying the planes; a lab moved from may only be
    // destroyed or assigned to.
    PhaseLab(const PhaseLab&) = delete;
    PhaseLab& operator=(const PhaseLab&) = delete;
    PhaseLab(PhaseLab&&) noexcept;
    PhaseLab& operator=(PhaseLab&&) noexcept;
    ~PhaseLab();

    int Width() const { return width; }
    int Height() const { return height; }

    // Moves both mixes to mix, clamped into [0, 1]; recomputes only the two
    // mixes (at 0 or 1 they are copies of Normal or Swap). Allocates nothing.
    // Throws std::invalid_argument for NaN, leaving everything as it was.
    void SetMix(double mix);
    double Mix() const { return alpha; }

    // The tile of a side; see Picture for how long it stays valid.
    Picture Image(Side side, Tile tile) const;

    // Pearson's correlation of the rebuild of side magnitudeOf (Swap of the
    // left: left magnitude with the right phase) with the samples of input.
    // Empty when either is constant (see Correlation).
    std::optional<double> Resemblance(Side magnitudeOf, Rebuild rebuild, Side input) const;

    // The rebuild as a complex grid: 2N+1 doubles from index 1 (element k: real
    // part at 2k+1, imaginary at 2k+2; index 0 is set to 0), divided by N. mix
    // is used by Rebuild::Mix only, clamped like SetMix's. Gives exactly the
    // doubles behind the tiles and resemblance at that mix; uses no state of
    // the lab but its spectra.
    void RebuildGrid(Side side, Rebuild rebuild, double mix, double* grid) const;

    // The spectrum planes, N doubles each, row-major, not centred, as long as
    // the lab lives.
    const double* Magnitudes(Side side) const;
    const double* Phases(Side side) const;

    // A bound on the memory a lab holds at once (its constructor's peak), in
    // bytes, besides the caller's samples: about 90 bytes a pixel, against the
    // main command's 64. Throws like the constructor for sizes it refuses.
    static std::uint64_t BytesNeeded(int W, int H);

private:
    struct Half;
    struct Data;
    void Transform(double* grid, std::int32_t sign) const;
    double Inverse() const;
    void Load(const std::int32_t* samples, double* grid) const;
    void Fill(Side side, Rebuild rebuild, double mix, double* grid) const;
    void FillNormalAndSwap(Side phaseOf, double* normal, double* swap) const;
    void Finish(double* grid, Side side, Rebuild rebuild);
    void Mixes();

    int width, height;
    std::size_t count;  // N
    double alpha;
    std::unique_ptr<Data> data;  // both halves, the work grid and the tiles
};

// The colour of a phase: its hue, with 0 red, 2 pi/3 green, -2 pi/3 blue and
// -pi and pi both cyan (the opposite of 0); saturation and value full.
// Components rounded to nearest; phases outside [-pi, pi] wrap around.
std::array<std::uint8_t, 3> PhaseColour(double phase);

// A legend for the Phase tiles: a width x height RGB bar (row-major, 3 bytes
// a pixel) whose column x shows the colour of phase -pi + 2 pi x / (width - 1),
// from -pi at the left edge through 0 in the middle to pi at the right (one
// column: 0). Throws std::invalid_argument unless both sizes are positive.
std::vector<std::uint8_t> PhaseLegend(int width, int height);

// Pearson's correlation of a[0], a[strideA], ... with b[0], b[strideB], ...
// (n values each), from sums about the means, blocked and compensated: its
// rounding stays near 1e-13 for any n. Empty for n = 0 or when either series
// is constant, which for doubles carrying rounding noise means: its standard
// deviation is at most 1e-12 of its root mean square (all zero included).
// Rounding noise in a rebuilt picture is about 1e-15 of that; integer samples
// that are not all equal stay above 1.8e-12 (one step among 2^30 samples of up
// to 2^24).
std::optional<double> Correlation(const double* a, std::size_t strideA, const double* b,
                                  std::size_t strideB, std::size_t n);

}  // namespace lab
