// The lab's rebuilds: a picture's spectrum remade from parts of the two
// sides' spectra, and brought back to a picture.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lab {

enum class Side { Left, Right };

inline Side Other(Side side) { return side == Side::Left ? Side::Right : Side::Left; }

// The rebuilds of a side, from its spectrum F = |F| (cos phi + i sin phi)
// and the other side's phase phi':
//   Normal         |F| (cos phi, sin phi), the main command's "Normal phase"
//   Swap           |F| (cos phi', sin phi'), the main command's "Swap phase"
//   Mix            |F| (cos t, sin t), t = phi + mix * d, d = phi' - phi
//                  wrapped into [-pi, pi] by adding or subtracting 2 pi; at
//                  mix 0 and 1 exactly Normal and Swap (t is phi, or phi')
//   MagnitudeOnly  |F| + 0i
//   PhaseOnly      cos phi + i sin phi, and 1 + 0i where |F| = 0 (where the
//                  phase says nothing)
// Normal, Swap and the mix at its ends use std::cos and std::sin, so their
// doubles are the main command's bit for bit; PhaseOnly and the mix between
// its ends use the faster SinCos (SinCos.h), within two units in the last place.
enum class Rebuild { Normal, Swap, Mix, MagnitudeOnly, PhaseOnly };

constexpr int RebuildCount = 5;

// A side's spectrum as N magnitudes and N phases.
struct Spectrum {
    const double* magnitude;
    const double* phase;
};

// Writes the spectrum of the rebuild of own (other being the other side)
// into grid: 2N+1 doubles, index 0 set to 0. mix, in [0, 1], is read by
// Rebuild::Mix only.
void FillRebuild(Rebuild rebuild, const Spectrum& own, const Spectrum& other, double mix,
                 std::size_t N, double* grid);

// The Normal rebuild of phaseOf into normal and the Swap rebuild of the side
// with otherMagnitude into swap: the doubles FillRebuild writes for each,
// with one cosine and sine per element for both.
void FillNormalAndSwap(const Spectrum& phaseOf, const double* otherMagnitude, std::size_t N,
                       double* normal, double* swap);

// Takes a filled W x H grid through the inverse transform and divides every
// value by N. N is not always a power of two, so the division is kept: the
// main command's own quotient, bit for bit.
void BackToPicture(double* grid, int W, int H);

}  // namespace lab
