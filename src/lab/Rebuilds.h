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
//   Mix            |F| (cos t, sin t), t moved from phi by mix of the way
//                  toward a target phase (MixPath): at mix 0 and 1 exactly
//                  Normal and the target's own phase (Swap toward phi')
//   MagnitudeOnly  |F| + 0i
//   PhaseOnly      cos phi + i sin phi, and 1 + 0i where |F| = 0 (where the
//                  phase says nothing)
// Normal, Swap and the mix at its ends use std::cos and std::sin, so their
// doubles are the main command's bit for bit; PhaseOnly and the mix between
// its ends use the faster SinCos (SinCos.h), within two units in the last place.
enum class Rebuild { Normal, Swap, Mix, MagnitudeOnly, PhaseOnly };

constexpr int RebuildCount = 5;

// What the Mix rebuild goes toward: the other picture's phase phi', or a
// random phase theta' drawn for the size from a seed. theta' is the
// argument of the forward transform (exp(+i...), the lab's direction) of the
// noise u_i = (z_i >> 11) 2^-53, z_i = SplitMix64(S + 2^40 + (i + 1)
// 0x9E3779B97F4A7C15) for pixel i = y W + x (variant 1 of the scramble's noise,
// stimuli/Scramble.h): the scramble's theta negated, since the scramble
// transforms in the other direction (numpy's fft2's). theta' is 0 at
// frequency 0 and wherever the noise's transform is exactly 0; it is
// odd-symmetric, so a weighted mean toward it is real. The other picture's
// phase is taken as the lab holds it, where its magnitude is 0 too (as Swap).
enum class MixToward { OtherPicture, RandomPhase };

// How the Mix rebuild's phase moves from phi toward the target p, by mix:
//   ShortWayRound  t = phi + mix * d, d = p - phi wrapped into [-pi, pi] by
//                  adding or subtracting 2 pi
//   WeightedMean   with c = 1 - mix, the weighted mean of the two phases
//                  psi = atan2(c sin phi + mix sin p, c cos phi + mix cos p),
//                  evaluated as |F| s / |s| for s = c e^{i phi} + mix e^{i p},
//                  and |F| (1, 0) where |s| < 1e-9 (two opposite phases at
//                  mix 1/2): the scramble's rule, so that toward the random
//                  phase the Mix at mix is the scramble at coherence 1 - mix
//                  (the lab's phases being the scramble's negated, psi is too).
// Both rules share their ends: mix 0 is Normal and mix 1 the target's phase.
enum class MixRule { ShortWayRound, WeightedMean };

// The lab's choice for its Mix rebuilds; the defaults are the mix toward the
// other picture the short way round. seed is read toward the random phase only.
struct MixSettings {
    MixToward toward = MixToward::OtherPicture;
    MixRule rule = MixRule::ShortWayRound;
    std::uint64_t seed = 1;
};

inline bool operator==(const MixSettings& a, const MixSettings& b)
{
    return a.toward == b.toward && a.rule == b.rule && a.seed == b.seed;
}
inline bool operator!=(const MixSettings& a, const MixSettings& b) { return !(a == b); }

// A side's spectrum as N magnitudes and N phases.
struct Spectrum {
    const double* magnitude;
    const double* phase;
};

// The way of one Mix rebuild: how far (mix in [0, 1]), toward which N phases
// (the other side's, or the random phase) and by which rule.
struct MixPath {
    double mix = 0.0;
    const double* target = nullptr;
    MixRule rule = MixRule::ShortWayRound;
};

// Writes the spectrum of the rebuild of own (other being the other side)
// into grid: 2N+1 doubles, index 0 set to 0. mix is read by Rebuild::Mix
// only; its target may be other.phase or any other N phases.
void FillRebuild(Rebuild rebuild, const Spectrum& own, const Spectrum& other, const MixPath& mix,
                 std::size_t N, double* grid);

// Normal and Swap from each phase's cosines and sines taken once, so that
// they serve both its own side's Normal and the other side's Swap, a range
// of elements [begin, end) at a time. Each gives FillRebuild's Normal or
// Swap bit for bit, index 0 of a grid being set to 0 by the range from 0.
// UnitVectors writes (cos phi, sin phi) of the phases into unit (2N+1
// doubles, from index 1, as a grid); JoinUnits the grid |F| (cos, sin) from
// them (unit may be grid itself). JoinBoth joins one side's phases with two
// magnitudes at once: its own Normal into first and the other side's Swap
// into second.
void UnitVectors(const double* phase, std::size_t begin, std::size_t end, double* unit);
void JoinUnits(double* grid, const double* unit, const double* magnitude, std::size_t begin,
               std::size_t end);
void JoinBoth(const double* phase, const double* magnitude, const double* otherMagnitude,
              std::size_t begin, std::size_t end, double* first, double* second);

// Takes a filled W x H grid through the inverse transform and divides every
// value by N. N is not always a power of two, so the division is kept: the
// main command's own quotient, bit for bit.
void BackToPicture(double* grid, int W, int H);

}  // namespace lab
