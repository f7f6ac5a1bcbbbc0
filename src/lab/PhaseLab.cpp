// The phase lab's engine: both spectra once per pair, the two sides on two
// threads, each rebuild's tile and resemblance made while its values are at
// hand.
#include "lab/PhaseLab.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <string>

#include "lab/Resemblance.h"
#include "lab/Polar.h"
#include "lab/Team.h"
#include "phase/Command.h"
#include "platform/Exception.h"
#include "platform/Memory.h"
#include "stimuli/Scramble.h"

namespace lab {
namespace {

// Bytes of all tiles of a side, per pixel: one each, three for the phase.
constexpr std::size_t PixelBytes = TileCount - 1 + 3;
// The transform's own limit on the count of elements, at any size.
constexpr std::uint64_t MostPixels = std::uint64_t(1) << 28;
// The lab's random phase is the scramble's noise of this variant.
constexpr std::uint64_t RandomVariant = 1;

// N for sizes the lab takes; throws for others.
std::size_t PixelCount(int W, int H)
{
    if (W < 1 || H < 1)
        throw std::invalid_argument("phase lab: the size " + std::to_string(W) + "x" +
                                    std::to_string(H) + " is empty");
    const std::uint64_t N = std::uint64_t(W) * std::uint64_t(H);
    if (N > MostPixels)
        throw std::invalid_argument("phase lab: " + std::to_string(W) + "x" + std::to_string(H) +
                                    " is more than 2^28 pixels");
    return std::size_t(N);
}

// The mix clamped into [0, 1]; throws for NaN, which has no place there.
double Clamped(double mix)
{
    if (std::isnan(mix))
        throw std::invalid_argument("phase lab: the mix is not a number");
    return mix < 0.0 ? 0.0 : mix > 1.0 ? 1.0 : mix;
}

int Index(Side side) { return side == Side::Left ? 0 : 1; }
Side SideOf(std::size_t index) { return index == 0 ? Side::Left : Side::Right; }

// Elements per task of the steps that go element by element.
constexpr std::size_t Chunk = std::size_t(1) << 16;

Tile TileOf(Rebuild rebuild)
{
    switch (rebuild) {
    case Rebuild::Normal: return Tile::Normal;
    case Rebuild::Swap: return Tile::Swap;
    case Rebuild::Mix: return Tile::Mix;
    case Rebuild::MagnitudeOnly: return Tile::MagnitudeOnly;
    case Rebuild::PhaseOnly: break;
    }
    return Tile::PhaseOnly;
}

}  // namespace

struct PhaseLab::Half {
    TLargeArray<std::int32_t> samples;
    double mean = 0.0;  // of the samples, summed as Correlation sums
    TLargeArray<double> magnitude, phase;
    std::uint8_t* tiles[TileCount];  // in Data's pixels
    std::optional<double> rows[RebuildCount][2];  // [rebuild][input side]
};

struct PhaseLab::Data {
    Half halves[2];
    TLargeArray<double> grid;  // 2N+1 doubles, the rebuilds' work space
    TLargeArray<std::uint8_t> pixels;  // every tile of both halves, in one block
    TLargeArray<double> random;  // N phases: the random phase of randomSeed
    std::optional<std::uint64_t> randomSeed;  // none drawn yet
    Half& operator[](Side side) { return halves[Index(side)]; }
    const Half& operator[](Side side) const { return halves[Index(side)]; }
};

PhaseLab::PhaseLab(const std::int32_t* left, const std::int32_t* right, int W, int H,
                   double mix)
    : width(W), height(H), count(PixelCount(W, H)), mix(Clamped(mix))
{
    if (!left || !right)
        throw std::invalid_argument("phase lab: samples missing");
    const std::int32_t* const inputs[2] = {left, right};
    data = std::make_unique<Data>();
    data->grid = TLargeArray<double>(2 * count + 1);
    data->pixels = TLargeArray<std::uint8_t>(2 * PixelBytes * count);
    data->random = TLargeArray<double>(count);
    std::uint8_t* next = data->pixels.data();
    for (int s = 0; s < 2; ++s) {
        Half& half = data->halves[s];
        for (int t = 0; t < TileCount; ++t) {
            half.tiles[t] = next;
            next += count * Channels(Tile(t));
        }
        half.samples = TLargeArray<std::int32_t>(count);
        half.magnitude = TLargeArray<double>(count);
        half.phase = TLargeArray<double>(count);
    }
    // A grid for each side, so that the two run at once: first their spectra,
    // then, with both spectra known, their rebuilds. The steps go side by
    // side or a chunk of elements at a time, on two workers.
    TLargeArray<double> second(2 * count + 1);
    double* const grids[2] = {data->grid.data(), second.data()};
    Half* const halves = data->halves;
    const std::size_t chunks = (count + Chunk - 1) / Chunk;
    const auto begin = [](std::size_t chunk) { return chunk * Chunk; };
    const auto end = [&](std::size_t chunk) { return std::min(count, (chunk + 1) * Chunk); };
    Team team;
    team.Run(2, [&](std::size_t s, int) {
        Half& half = halves[s];
        std::copy(inputs[s], inputs[s] + count, half.samples.data());
        half.mean = moments::Mean(moments::Samples{half.samples.data()}, count);
        ForwardSpectrum(inputs[s], W, H, grids[s]);
    });
    team.Run(2 * chunks, [&](std::size_t i, int) {
        const std::size_t s = i % 2, b = begin(i / 2);
        phase::SplitPolar(grids[s] + 2 * b, halves[s].phase.data() + b,
                          halves[s].magnitude.data() + b, end(i / 2) - b);
    });
    // The spectra's grids are free again: their 2N doubles are the scratch.
    team.Run(4, [&](std::size_t i, int) {
        Half& half = halves[i % 2];
        if (i < 2)
            PaintMagnitude(half.magnitude.data(), W, H, grids[i] + 1, half.tiles[int(Tile::Magnitude)]);
        else
            PaintPhase(half.phase.data(), W, H, half.tiles[int(Tile::Phase)]);
    });
    // Normal and Swap take each phase's cosines and sines once: the right
    // phase's give the right Normal and the left Swap straight into the two
    // grids, the left phase's are kept, in a grid of their own, for the left
    // Normal and the right Swap.
    TLargeArray<double> leftUnits(2 * count + 1);
    const Half& leftHalf = halves[0];
    const Half& rightHalf = halves[1];
    team.Run(2 * chunks, [&](std::size_t i, int) {
        const std::size_t b = begin(i / 2), e = end(i / 2);
        if (i % 2 == 0)
            UnitVectors(leftHalf.phase.data(), b, e, leftUnits.data());
        else
            JoinBoth(rightHalf.phase.data(), rightHalf.magnitude.data(), leftHalf.magnitude.data(),
                     b, e, grids[1], grids[0]);
    });
    team.Run(2, [&](std::size_t s, int) {
        Finish(grids[s], SideOf(s), s == 0 ? Rebuild::Swap : Rebuild::Normal);
    });
    // The other rebuilds, each on the grid of the worker that takes it.
    struct Job {
        Side side;
        Rebuild rebuild;
    };
    const bool mixes = !MixCopied();
    const Job jobs[] = {{Side::Left, Rebuild::Normal},         {Side::Right, Rebuild::Swap},
                        {Side::Left, Rebuild::MagnitudeOnly},  {Side::Right, Rebuild::MagnitudeOnly},
                        {Side::Left, Rebuild::PhaseOnly},      {Side::Right, Rebuild::PhaseOnly},
                        {Side::Left, Rebuild::Mix},            {Side::Right, Rebuild::Mix}};
    team.Run(mixes ? 8 : 6, [&](std::size_t i, int worker) {
        double* const g = grids[worker];
        const Job& job = jobs[i];
        if (job.rebuild == Rebuild::Normal || job.rebuild == Rebuild::Swap)
            JoinUnits(g, leftUnits.data(), (*data)[job.side].magnitude.data(), 0, count);
        else
            FillRebuild(job.rebuild, SpectrumOf(job.side), SpectrumOf(Other(job.side)),
                        PathOf(job.side, mix), count, g);
        Finish(g, job.side, job.rebuild);
    });
    if (!mixes)
        for (Side side : {Side::Left, Side::Right})
            RebuildMix(side, data->grid.data());
}

PhaseLab::PhaseLab(PhaseLab&&) noexcept = default;
PhaseLab& PhaseLab::operator=(PhaseLab&&) noexcept = default;
PhaseLab::~PhaseLab() = default;

void PhaseLab::SetMix(double to)
{
    const double clamped = Clamped(to);
    if (clamped == mix)
        return;
    mix = clamped;
    RebuildMixes();
}

void PhaseLab::SetMixSettings(const MixSettings& to)
{
    if ((to.toward != MixToward::OtherPicture && to.toward != MixToward::RandomPhase) ||
        (to.rule != MixRule::ShortWayRound && to.rule != MixRule::WeightedMean))
        throw std::invalid_argument("phase lab: no such way to mix");
    if (to == settings)
        return;
    if (to.toward == MixToward::RandomPhase && data->randomSeed != to.seed) {
        // The scramble's unit vectors e^{i theta}, taken into the lab's
        // direction: theta' = -theta = atan2(-sin theta, cos theta). The plane
        // changes only once the noise is whole.
        double* const g = data->grid.data();
        stimuli::NoisePhase(to.seed, RandomVariant, width, height, g);
        double* const random = data->random.data();
        for (std::size_t k = 0; k < count; ++k)
            random[k] = std::atan2(-g[2 * k + 2], g[2 * k + 1]);
        data->randomSeed = to.seed;
    }
    settings = to;
    RebuildMixes();
}

TilePixels PhaseLab::Pixels(Side side, Tile tile) const
{
    TilePixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.channels = Channels(tile);
    pixels.bytes = (*data)[side].tiles[int(tile)];
    return pixels;
}

std::optional<double> PhaseLab::Resemblance(Side magnitudeOf, Rebuild rebuild, Side input) const
{
    return (*data)[magnitudeOf].rows[int(rebuild)][Index(input)];
}

const double* PhaseLab::Magnitudes(Side side) const
{
    return (*data)[side].magnitude.data();
}

const double* PhaseLab::Phases(Side side) const { return (*data)[side].phase.data(); }

Spectrum PhaseLab::SpectrumOf(Side side) const
{
    return {(*data)[side].magnitude.data(), (*data)[side].phase.data()};
}

MixPath PhaseLab::PathOf(Side side, double at) const
{
    MixPath path;
    path.mix = at;
    path.target = settings.toward == MixToward::RandomPhase ? data->random.data()
                                                            : (*data)[Other(side)].phase.data();
    path.rule = settings.rule;
    return path;
}

void PhaseLab::RebuildGrid(Side side, Rebuild rebuild, double at, double* out) const
{
    FillRebuild(rebuild, SpectrumOf(side), SpectrumOf(Other(side)),
                PathOf(side, rebuild == Rebuild::Mix ? Clamped(at) : 0.0), count, out);
    BackToPicture(out, width, height);
}

std::uint64_t PhaseLab::BytesNeeded(int W, int H)
{
    const std::size_t N = PixelCount(W, H);
    const std::uint64_t samples = 2 * LargeBytes(N * sizeof(std::int32_t));
    const std::uint64_t planes = 5 * LargeBytes(N * sizeof(double));  // with the random phase
    // Two grids, and the left side's cosines and sines while the lab opens.
    const std::uint64_t grids = 3 * LargeBytes((2 * N + 1) * sizeof(double));
    const std::uint64_t tiles = LargeBytes(2 * PixelBytes * N);
    return samples + planes + grids + tiles + sizeof(PhaseLab) + sizeof(Data);
}

void PhaseLab::CheckMemory(int W, int H)
{
    const std::uint64_t needed = BytesNeeded(W, H);
    if (needed > AvailableMemory())
        throw Exception("Not enough memory for the lab at " + SizeText(W, H) + " (needs " +
                        std::to_string(phase::Mebibytes(needed)) + " MiB).");
}

// Takes a filled grid back to a picture, then makes side's tile and
// resemblance row of the rebuild from the real parts. On return the grid
// holds those real parts at 1..N (the rest is scratch).
void PhaseLab::Finish(double* g, Side side, Rebuild rebuild)
{
    TransformGrid(g, width, height, -1);
    const std::size_t n = count;
    // The real parts, divided as the way back to a picture divides them, move
    // down to 1..N a block at a time (each block's values are read before
    // any of their places is written), which frees N+1..2N for the stretch.
    // Each block is summed for the mean, in the order Correlation sums, and
    // its extremes taken while it is at hand.
    double* const x = g + 1;
    const moments::Contiguous values{x};
    moments::Total total;
    Extremes extremes{0.0, 0.0};
    double divided[moments::Block];
    for (std::size_t b = 0; b < n; b += moments::Block) {
        const std::size_t e = std::min(n, b + moments::Block);
        phase::DivideReals(g, b, e, width, height, divided);
        std::copy(divided, divided + (e - b), x + b);
        total.Add(moments::BlockSum(values, b, e));
        const Extremes block = FindExtremes(x + b, e - b);
        extremes = b == 0 ? block
                          : Extremes{std::min(extremes.lowest, block.lowest),
                                     std::max(extremes.highest, block.highest)};
    }
    const double mean = total.Value() / double(n);

    const Half* const inputs[2] = {&data->halves[0], &data->halves[1]};
    moments::Spreads toInput[2];
    for (std::size_t b = 0; b < n; b += moments::Block) {
        const std::size_t e = std::min(n, b + moments::Block);
        for (int i = 0; i < 2; ++i)
            toInput[i].Add(moments::BlockSpread(values, mean,
                                                moments::Samples{inputs[i]->samples.data()},
                                                inputs[i]->mean, b, e));
    }
    Half& half = (*data)[side];
    for (int i = 0; i < 2; ++i)
        half.rows[int(rebuild)][i] = moments::Pearson(n, mean, inputs[i]->mean, toInput[i]);

    PaintStretched(x, width, height, rebuild == Rebuild::MagnitudeOnly, x + n,
                   half.tiles[int(TileOf(rebuild))], extremes);
}

// The Mix rebuild of a side at the lab's mix and settings, in grid. At 0 it
// is Normal bit for bit, and at 1 toward the other picture Swap, so its tile
// and rows are copied instead of rebuilt.
void PhaseLab::RebuildMix(Side side, double* grid)
{
    if (!MixCopied()) {
        FillRebuild(Rebuild::Mix, SpectrumOf(side), SpectrumOf(Other(side)), PathOf(side, mix),
                    count, grid);
        return Finish(grid, side, Rebuild::Mix);
    }
    Half& half = (*data)[side];
    const Rebuild end = mix == 0.0 ? Rebuild::Normal : Rebuild::Swap;
    const std::uint8_t* const from = half.tiles[int(TileOf(end))];
    std::copy(from, from + count, half.tiles[int(Tile::Mix)]);
    for (int i = 0; i < 2; ++i)
        half.rows[int(Rebuild::Mix)][i] = half.rows[int(end)][i];
}

bool PhaseLab::MixCopied() const
{
    return mix == 0.0 || (mix == 1.0 && settings.toward == MixToward::OtherPicture);
}

void PhaseLab::RebuildMixes()
{
    for (Side side : {Side::Left, Side::Right})
        RebuildMix(side, data->grid.data());
}

bool LabPairFits(const TPairSizes& s)
{
    return s.leftWidth > 0 && s.leftHeight > 0 && s.leftWidth == s.rightWidth &&
           s.leftHeight == s.rightHeight;
}

std::optional<TCropSize> CommonCentre(const TPairSizes& s)
{
    if (s.leftWidth <= 0 || s.leftHeight <= 0 || s.rightWidth <= 0 || s.rightHeight <= 0 ||
        LabPairFits(s))
        return std::nullopt;
    return TCropSize{std::min(s.leftWidth, s.rightWidth), std::min(s.leftHeight, s.rightHeight)};
}

}  // namespace lab
