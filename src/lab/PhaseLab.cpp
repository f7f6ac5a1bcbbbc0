// The phase lab's engine: both spectra once per pair, then every rebuild through
// a work grid that ends up holding its real parts and the stretch's scratch.
#include "lab/PhaseLab.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "fourier/FourierTransform.h"
#include "lab/Moments.h"
#include "lab/SinCos.h"
#include "lab/Stretch.h"

namespace lab {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double TwoPi = 2.0 * Pi;
constexpr int Tiles = 7;
constexpr int Rebuilds = 5;
// The transform's own limit on the count of elements.
constexpr std::uint64_t MostPixels = std::uint64_t(1) << 30;
// Angles handed to SinCos at a time: three arrays of them stay in the
// first-level cache.
constexpr std::size_t Chunk = 256;

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// N for sizes the lab takes; throws for others.
std::size_t Pixels(int W, int H)
{
    if (!PowerOfTwo(W) || !PowerOfTwo(H))
        throw std::invalid_argument("phase lab: the size " + std::to_string(W) + "x" +
                                    std::to_string(H) +
                                    " is not a power of two in each direction");
    const std::uint64_t N = std::uint64_t(W) * std::uint64_t(H);
    if (N > MostPixels)
        throw std::invalid_argument("phase lab: " + std::to_string(W) + "x" + std::to_string(H) +
                                    " is more than 2^30 pixels");
    return std::size_t(N);
}

double Clamped(double mix)
{
    if (std::isnan(mix))
        throw std::invalid_argument("phase lab: the mix is not a number");
    return mix < 0.0 ? 0.0 : mix > 1.0 ? 1.0 : mix;
}

int Index(Side side) { return side == Side::Left ? 0 : 1; }
Side Other(Side side) { return side == Side::Left ? Side::Right : Side::Left; }

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

// Calls put(destination, source) for every pixel of a W x H picture, source
// being the index of what the pixel shows: itself, or when centred the one
// half the size further on in each direction (so index 0 lands in the
// middle). Each row takes two runs of consecutive sources.
template <class Put>
void Layout(int W, int H, bool centred, Put put)
{
    const std::size_t w = std::size_t(W);
    const std::size_t h = std::size_t(H);
    const std::size_t dx = centred ? w / 2 : 0;
    const std::size_t dy = centred ? h / 2 : 0;
    for (std::size_t y = 0; y < h; ++y) {
        const std::size_t to = y * w;
        const std::size_t from = ((y + dy) & (h - 1)) * w;
        for (std::size_t x = 0; x < w - dx; ++x)
            put(to + x, from + dx + x);
        for (std::size_t x = w - dx; x < w; ++x)
            put(to + x, from + x - (w - dx));
    }
}

Picture Blank(int W, int H, int channels)
{
    Picture p;
    p.width = W;
    p.height = H;
    p.channels = channels;
    p.bytes.assign(std::size_t(W) * std::size_t(H) * std::size_t(channels), 0);
    return p;
}

}  // namespace

struct PhaseLab::Half {
    std::vector<std::int32_t> samples;
    double mean = 0.0;  // of the samples, summed as Correlation sums
    std::vector<double> magnitude, phase;
    Picture tiles[Tiles];
    std::optional<double> rows[Rebuilds][2];  // [rebuild][input side]
};

PhaseLab::PhaseLab(const std::int32_t* left, const std::int32_t* right, int W, int H,
                   double mix)
    : width(W), height(H), count(Pixels(W, H)), alpha(Clamped(mix))
{
    if (!left || !right)
        throw std::invalid_argument("phase lab: samples missing");
    const std::int32_t* const inputs[2] = {left, right};
    grid.reset(new double[2 * count + 1]);
    for (int s = 0; s < 2; ++s) {
        halves[s] = std::make_unique<Half>();
        Half& half = *halves[s];
        half.samples.assign(inputs[s], inputs[s] + count);
        half.mean = moments::Mean(moments::Samples{half.samples.data()}, count);
        for (int t = 0; t < Tiles; ++t)
            half.tiles[t] = Blank(W, H, Tile(t) == Tile::Phase ? 3 : 1);

        // The split exactly as the main command makes it.
        Load(inputs[s], grid.get());
        Transform(grid.get(), +1);
        half.magnitude.resize(count);
        half.phase.resize(count);
        double* const magnitude = half.magnitude.data();
        double* const phase = half.phase.data();
        const double* const g = grid.get();
        for (std::size_t k = 0; k < count; ++k) {
            const double re = g[2 * k + 1];
            const double im = g[2 * k + 2];
            phase[k] = std::atan2(im, re);
            magnitude[k] = std::sqrt(re * re + im * im);
        }

        // log(1 + m) only grows with m, so the largest magnitude gives the top.
        const double top = std::log1p(*std::max_element(magnitude, magnitude + count));
        if (top > 0.0) {
            const double scale = 255.0 / top;
            std::uint8_t* const bytes = half.tiles[int(Tile::Magnitude)].bytes.data();
            Layout(W, H, true, [&](std::size_t to, std::size_t from) {
                const double v = std::log1p(magnitude[from]) * scale + 0.5;
                bytes[to] = static_cast<std::uint8_t>(v < 255.0 ? v : 255.0);
            });
        }
        std::uint8_t* const rgb = half.tiles[int(Tile::Phase)].bytes.data();
        Layout(W, H, true, [&](std::size_t to, std::size_t from) {
            const auto colour = PhaseColour(phase[from]);
            std::copy(colour.begin(), colour.end(), rgb + 3 * to);
        });
    }

    // Normal of one side and Swap of the other take the cosines and sines of
    // the same phase: a second grid computes them once for both.
    {
        std::unique_ptr<double[]> second(new double[2 * count + 1]);
        for (Side side : {Side::Left, Side::Right}) {
            FillNormalAndSwap(side, grid.get(), second.get());
            Finish(grid.get(), side, Rebuild::Normal);
            Finish(second.get(), Other(side), Rebuild::Swap);
        }
    }
    for (Side side : {Side::Left, Side::Right})
        for (Rebuild rebuild : {Rebuild::MagnitudeOnly, Rebuild::PhaseOnly}) {
            Fill(side, rebuild, alpha, grid.get());
            Finish(grid.get(), side, rebuild);
        }
    Mixes();
}

PhaseLab::PhaseLab(PhaseLab&&) noexcept = default;
PhaseLab& PhaseLab::operator=(PhaseLab&&) noexcept = default;
PhaseLab::~PhaseLab() = default;

void PhaseLab::SetMix(double mix)
{
    const double a = Clamped(mix);
    if (a == alpha)
        return;
    alpha = a;
    Mixes();
}

const Picture& PhaseLab::Image(Side side, Tile tile) const
{
    return halves[Index(side)]->tiles[int(tile)];
}

std::optional<double> PhaseLab::Resemblance(Side magnitudeOf, Rebuild rebuild, Side input) const
{
    return halves[Index(magnitudeOf)]->rows[int(rebuild)][Index(input)];
}

const double* PhaseLab::Magnitudes(Side side) const
{
    return halves[Index(side)]->magnitude.data();
}

const double* PhaseLab::Phases(Side side) const { return halves[Index(side)]->phase.data(); }

void PhaseLab::RebuildGrid(Side side, Rebuild rebuild, double mix, double* out) const
{
    Fill(side, rebuild, rebuild == Rebuild::Mix ? Clamped(mix) : 0.0, out);
    Transform(out, -1);
    const double divisor = double(height) * double(width);
    for (std::size_t i = 1; i <= 2 * count; ++i)
        out[i] = out[i] / divisor;
}

std::uint64_t PhaseLab::BytesNeeded(int W, int H)
{
    const std::uint64_t N = Pixels(W, H);
    const std::uint64_t samples = 2 * N * sizeof(std::int32_t);
    const std::uint64_t planes = 4 * N * sizeof(double);
    const std::uint64_t grids = 2 * (2 * N + 1) * sizeof(double);
    const std::uint64_t tiles = 2 * (Tiles - 1 + 3) * N;
    return samples + planes + grids + tiles + sizeof(PhaseLab) + 2 * sizeof(Half);
}

void PhaseLab::Transform(double* g, std::int32_t sign) const
{
    const std::uint32_t dims[3] = {0, std::uint32_t(height), std::uint32_t(width)};
    fourier::FourierTransform(g, dims, 2, sign);
}

void PhaseLab::Load(const std::int32_t* samples, double* g) const
{
    g[0] = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
        g[2 * k + 1] = double(samples[k]);
        g[2 * k + 2] = 0.0;
    }
}

void PhaseLab::Fill(Side side, Rebuild rebuild, double mix, double* g) const
{
    const double* const m = halves[Index(side)]->magnitude.data();
    const double* const own = halves[Index(side)]->phase.data();
    const double* const other = halves[Index(Other(side))]->phase.data();
    g[0] = 0.0;
    // Polar to Cartesian with the library's cosine and sine, exactly as the
    // main command joins.
    const auto join = [&](const double* phase) {
        for (std::size_t k = 0; k < count; ++k) {
            g[2 * k + 1] = std::cos(phase[k]) * m[k];
            g[2 * k + 2] = std::sin(phase[k]) * m[k];
        }
    };
    double angle[Chunk], sine[Chunk], cosine[Chunk];
    switch (rebuild) {
    case Rebuild::Normal:
        join(own);
        return;
    case Rebuild::Swap:
        join(other);
        return;
    case Rebuild::MagnitudeOnly:
        for (std::size_t k = 0; k < count; ++k) {
            g[2 * k + 1] = m[k];
            g[2 * k + 2] = 0.0;
        }
        return;
    case Rebuild::PhaseOnly:
        for (std::size_t b = 0; b < count; b += Chunk) {
            const std::size_t n = std::min(Chunk, count - b);
            SinCos(own + b, sine, cosine, n);
            for (std::size_t i = 0; i < n; ++i) {
                const bool none = m[b + i] == 0.0;
                g[2 * (b + i) + 1] = none ? 1.0 : cosine[i];
                g[2 * (b + i) + 2] = none ? 0.0 : sine[i];
            }
        }
        return;
    case Rebuild::Mix:
        break;
    }
    if (mix == 0.0)
        return join(own);
    if (mix == 1.0)
        return join(other);
    for (std::size_t b = 0; b < count; b += Chunk) {
        const std::size_t n = std::min(Chunk, count - b);
        for (std::size_t i = 0; i < n; ++i) {
            const double p = own[b + i];
            double d = other[b + i] - p;
            d = d > Pi ? d - TwoPi : d < -Pi ? d + TwoPi : d;
            angle[i] = p + mix * d;
        }
        SinCos(angle, sine, cosine, n);
        for (std::size_t i = 0; i < n; ++i) {
            g[2 * (b + i) + 1] = cosine[i] * m[b + i];
            g[2 * (b + i) + 2] = sine[i] * m[b + i];
        }
    }
}

void PhaseLab::FillNormalAndSwap(Side phaseOf, double* normal, double* swap) const
{
    const double* const phase = halves[Index(phaseOf)]->phase.data();
    const double* const own = halves[Index(phaseOf)]->magnitude.data();
    const double* const other = halves[Index(Other(phaseOf))]->magnitude.data();
    normal[0] = swap[0] = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
        const double c = std::cos(phase[k]);
        const double s = std::sin(phase[k]);
        normal[2 * k + 1] = c * own[k];
        normal[2 * k + 2] = s * own[k];
        swap[2 * k + 1] = c * other[k];
        swap[2 * k + 2] = s * other[k];
    }
}

// Takes a filled grid through the inverse transform and the division by N,
// then makes side's tile and resemblance row of the rebuild from the real
// parts. On return the grid holds those real parts at 1..N (the rest is
// scratch).
void PhaseLab::Finish(double* g, Side side, Rebuild rebuild)
{
    Transform(g, -1);
    const double divisor = double(height) * double(width);
    const std::size_t n = count;
    // The real parts move down to 1..N as they are divided (writing index
    // 1+k only ever overwrites one already read), which frees N+1..2N for
    // the stretch; each block is summed for the mean while it is at hand, in
    // the order Correlation sums.
    double* const x = g + 1;
    const moments::Contiguous values{x};
    moments::Total total;
    for (std::size_t b = 0; b < n; b += moments::Block) {
        const std::size_t e = std::min(n, b + moments::Block);
        for (std::size_t k = b; k < e; ++k)
            x[k] = g[2 * k + 1] / divisor;
        total.Add(moments::BlockSum(values, b, e));
    }
    const double mean = total.Value() / double(n);

    const Half* const inputs[2] = {halves[0].get(), halves[1].get()};
    moments::Spreads toInput[2];
    for (std::size_t b = 0; b < n; b += moments::Block) {
        const std::size_t e = std::min(n, b + moments::Block);
        for (int i = 0; i < 2; ++i)
            toInput[i].Add(moments::BlockSpread(values, mean,
                                                moments::Samples{inputs[i]->samples.data()},
                                                inputs[i]->mean, b, e));
    }
    Half& half = *halves[Index(side)];
    for (int i = 0; i < 2; ++i)
        half.rows[int(rebuild)][i] = moments::Pearson(n, mean, inputs[i]->mean, toInput[i]);

    const Stretch stretch = PercentileStretch(x, n, x + n);
    std::uint8_t* const bytes = half.tiles[int(TileOf(rebuild))].bytes.data();
    Layout(width, height, rebuild == Rebuild::MagnitudeOnly,
           [&](std::size_t to, std::size_t from) { bytes[to] = stretch(x[from]); });
}

// The two mixes at alpha. At the ends they are Normal and Swap bit for bit,
// so their tiles and rows are copied instead of rebuilt.
void PhaseLab::Mixes()
{
    for (Side side : {Side::Left, Side::Right}) {
        if (alpha == 0.0 || alpha == 1.0) {
            Half& half = *halves[Index(side)];
            const Rebuild end = alpha == 0.0 ? Rebuild::Normal : Rebuild::Swap;
            half.tiles[int(Tile::Mix)].bytes = half.tiles[int(TileOf(end))].bytes;
            for (int i = 0; i < 2; ++i)
                half.rows[int(Rebuild::Mix)][i] = half.rows[int(end)][i];
            continue;
        }
        Fill(side, Rebuild::Mix, alpha, grid.get());
        Finish(grid.get(), side, Rebuild::Mix);
    }
}

std::array<std::uint8_t, 3> PhaseColour(double phase)
{
    // Sixths of a turn from red: red, yellow, green, cyan, blue, magenta.
    double h = phase * (3.0 / Pi);
    if (!(h >= -3.0 && h <= 3.0))
        h = std::remainder(h, 6.0);
    if (h < 0.0)
        h += 6.0;
    if (!(h < 6.0))  // a sliver below 0 rounds up to 6; NaN
        h = 0.0;
    const int sector = int(h);
    const double f = h - sector;
    const auto level = [](double v) { return static_cast<std::uint8_t>(v * 255.0 + 0.5); };
    const std::uint8_t up = level(f), down = level(1.0 - f);
    switch (sector) {
    case 0: return {255, up, 0};
    case 1: return {down, 255, 0};
    case 2: return {0, 255, up};
    case 3: return {0, down, 255};
    case 4: return {up, 0, 255};
    default: return {255, 0, down};
    }
}

Picture PhaseLegend(int width, int height)
{
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("phase legend: the size " + std::to_string(width) + "x" +
                                    std::to_string(height) + " is empty");
    Picture legend = Blank(width, height, 3);
    std::uint8_t* const row = legend.bytes.data();
    for (int x = 0; x < width; ++x) {
        const double phase = width == 1 ? 0.0 : -Pi + TwoPi * x / (width - 1);
        const auto colour = PhaseColour(phase);
        std::copy(colour.begin(), colour.end(), row + 3 * std::size_t(x));
    }
    const std::size_t stride = 3 * std::size_t(width);
    for (int y = 1; y < height; ++y)
        std::copy(row, row + stride, row + y * stride);
    return legend;
}

}  // namespace lab
