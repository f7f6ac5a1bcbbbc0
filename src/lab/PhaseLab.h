// The phase lab's engine (no toolkit): both sides' spectra, their rebuilds,
// the tiles that show them and how much each rebuild resembles each picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "lab/Rebuilds.h"
#include "lab/Tiles.h"
#include "phase/Pair.h"

namespace lab {

// Both inputs are W x H pictures given as samples: the packed colour of each
// pixel (red + 256 * green + 65536 * blue), row-major. Everything that does not
// depend on the mix is computed once, by the constructor; SetMix and
// SetMixSettings recompute the two Mix rebuilds, their tiles and their
// resemblance, nothing else.
//
// The spectrum of a side is F = the forward transform of its samples, split
// into magnitude |F| and phase atan2(Im F, Re F) by the main command's own
// steps (Polar.h). A rebuild (Rebuilds.h) gives F' per frequency, takes the
// inverse transform and divides by N = W * H; its tile and resemblance use
// the real parts. Its tile shows them stretched between percentiles (Tiles.h).
//
// The lab takes any pair of one size; LabPairFits says so, and CommonCentre
// gives the size two pictures of different sizes can both be cut to.
class PhaseLab {
public:
    // Any W and H from 1 with N = W * H at most 2^28, the transform's limit
    // (at powers of two the main command's own transform, bit for bit); left
    // and right N samples each (the lab keeps copies).
    // mix as for SetMix; the mix settings are MixSettings' defaults (toward
    // the other picture, the short way round). Throws std::invalid_argument
    // for other sizes, null samples or a mix that is not a number;
    // std::bad_alloc without the memory (CheckMemory first). The two sides
    // are computed at once, the right on a second thread when one can be had
    // (after the left otherwise): the same bytes either way.
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

    // Moves both Mix rebuilds to mix, clamped into [0, 1]; recomputes only
    // those (at 0 or 1 they are copies of Normal or Swap). Allocates nothing.
    // Throws std::invalid_argument for NaN, leaving everything as it was.
    void SetMix(double mix);
    double Mix() const { return mix; }

    // Where and how the Mix rebuilds go (Rebuilds.h); recomputes only those,
    // as SetMix does, and nothing when the settings are the lab's already.
    // Toward the random phase it first draws the phase for the seed into the
    // plane kept for it (allocated by the constructor; a seed drawn last is
    // not drawn again), so it allocates nothing either. Throws
    // std::invalid_argument for a toward or rule outside its enum, leaving
    // everything as it was.
    void SetMixSettings(const MixSettings& settings);
    MixSettings GetMixSettings() const { return settings; }

    // The tile of a side; see TilePixels for how long it stays valid.
    TilePixels Pixels(Side side, Tile tile) const;

    // Pearson's correlation of the rebuild of side magnitudeOf (Swap of the
    // left: left magnitude with the right phase) with the samples of input.
    // Empty when either is constant (see Correlation).
    std::optional<double> Resemblance(Side magnitudeOf, Rebuild rebuild, Side input) const;

    // The rebuild as a complex grid: 2N+1 doubles from index 1 (element k: real
    // part at 2k+1, imaginary at 2k+2; index 0 is set to 0), divided by N. mix
    // is used by Rebuild::Mix only, clamped like SetMix's, with the lab's mix
    // settings. Gives exactly the doubles behind the tiles and resemblance at
    // that mix; uses no state of the lab but its spectra, its mix settings and
    // their random phase.
    void RebuildGrid(Side side, Rebuild rebuild, double mix, double* grid) const;

    // The spectrum planes, N doubles each, row-major, not centred, as long as
    // the lab lives.
    const double* Magnitudes(Side side) const;
    const double* Phases(Side side) const;

    // A bound on the memory a lab holds at once (its constructor's peak), in
    // bytes, besides the caller's samples: about 114 bytes a pixel (the random
    // phase's plane included), against the main command's 64. Throws like the
    // constructor for sizes it refuses.
    static std::uint64_t BytesNeeded(int W, int H);

    // Raises an Exception ("Not enough memory for the lab at W×H (needs M
    // MiB).") when the process cannot take BytesNeeded now.
    static void CheckMemory(int W, int H);

private:
    struct Half;
    struct Data;
    Spectrum SpectrumOf(Side side) const;
    MixPath PathOf(Side side, double mix) const;
    void Finish(double* grid, Side side, Rebuild rebuild);
    void RebuildMix(Side side, double* grid);
    // Whether the Mix tiles and rows are those of Normal or Swap, copied.
    bool MixCopied() const;
    void RebuildMixes();

    int width, height;
    std::size_t count;  // N
    double mix;
    MixSettings settings;
    std::unique_ptr<Data> data;  // both halves, the work grid and the tiles
};

// Whether the lab takes the pair: both loaded and of one size.
bool LabPairFits(const TPairSizes& sizes);

// The size both of a pair can be cut to at their centres so that the lab
// takes them: the smaller width by the smaller height. Nothing when a
// picture is empty or the pair fits as it is.
std::optional<TCropSize> CommonCentre(const TPairSizes& sizes);

}  // namespace lab
