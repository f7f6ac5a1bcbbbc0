// The phase lab's engine: both spectra once per pair, rebuilds through one grid.
#include "lab/PhaseLab.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "fourier/FourierTransform.h"
#include "lab/Memory.h"
#include "lab/Moments.h"
#include "lab/SinCos.h"
#include "lab/Stretch.h"

namespace lab {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double TwoPi = 2.0 * Pi;
constexpr int Tiles = 7;
constexpr int Rebuilds = 5;
// Bytes of all tiles of a side, per pixel: one each, three for the phase.
constexpr std::size_t PixelBytes = Tiles - 1 + 3;
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

// The mix clamped into [0, 1]; throws for NaN, which has no place there.
double Clamped(double mix)
{
    if (std::isnan(mix))
        throw std::invalid_argument("phase lab: the mix is not a number");
    return mix < 0.0 ? 0.0 : mix > 1.0 ? 1.0 : mix;
}

int Channels(Tile tile) { return tile == Tile::Phase ? 3 : 1; }

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

// The colour of a phase in [-pi, pi] with full saturation and value, in
// straight-line code (random phases would make branches guess wrong half the
// time). With h the phase in sixths of a turn (-3..3, red at 0, cyan at both
// ends), each channel is a tent clamped to [0, 1]: red 2 - |h|; green and
// blue, whose tents straddle the ends, take the nearer of their two copies.
// (|v| - |v - 1| + 1) / 2 is v clamped to [0, 1].
inline std::array<std::uint8_t, 3> Hue(double phase)
{
    const double h = phase * (3.0 / Pi);
    const auto level = [](double v) {
        return static_cast<std::uint8_t>((std::fabs(v) - std::fabs(v - 1.0) + 1.0) * 127.5 + 0.5);
    };
    return {level(2.0 - std::fabs(h)),
            level(2.0 - std::min(std::fabs(h - 2.0), std::fabs(h + 4.0))),
            level(2.0 - std::min(std::fabs(h - 4.0), std::fabs(h + 2.0)))};
}

}  // namespace

struct PhaseLab::Half {
    Array<std::int32_t> samples;
    double mean = 0.0;  // of the samples, summed as Correlation sums
    Array<double> magnitude, phase;
    std::uint8_t* tiles[Tiles];  // in Data's pixels
    std::optional<double> rows[Rebuilds][2];  // [rebuild][input side]
};

struct PhaseLab::Data {
    Half halves[2];
    Array<double> grid;  // 2N+1 doubles, the rebuilds' work space
    Array<std::uint8_t> pixels;  // every tile of both halves, in one block
    Half& operator[](Side side) { return halves[Index(side)]; }
    const Half& operator[](Side side) const { return halves[Index(side)]; }
};

PhaseLab::PhaseLab(const std::int32_t* left, const std::int32_t* right, int W, int H,
                   double mix)
    : width(W), height(H), count(Pixels(W, H)), alpha(Clamped(mix))
{
    if (!left || !right)
        throw std::invalid_argument("phase lab: samples missing");
    const std::int32_t* const inputs[2] = {left, right};
    data = std::make_unique<Data>();
    data->grid = Array<double>(2 * count + 1);
    data->pixels = Array<std::uint8_t>(2 * PixelBytes * count);
    double* const g = data->grid.data();
    std::uint8_t* next = data->pixels.data();
    for (int s = 0; s < 2; ++s) {
        Half& half = data->halves[s];
        for (int t = 0; t < Tiles; ++t) {
            half.tiles[t] = next;
            next += count * Channels(Tile(t));
        }
        half.samples = Array<std::int32_t>(count);
        std::copy(inputs[s], inputs[s] + count, half.samples.data());
        half.mean = moments::Mean(moments::Samples{half.samples.data()}, count);

        // The split exactly as the main command makes it.
        Load(inputs[s], g);
        Transform(g, +1);
        half.magnitude = Array<double>(count);
        half.phase = Array<double>(count);
        double* const magnitude = half.magnitude.data();
        double* const phase = half.phase.data();
        for (std::size_t k = 0; k < count; ++k) {
            const double re = g[2 * k + 1];
            const double im = g[2 * k + 2];
            phase[k] = std::atan2(im, re);
            magnitude[k] = std::sqrt(re * re + im * im);
        }

        // log(1 + m) only grows with m, so the largest magnitude gives the top.
        // (std::log1p would be exact for tiny m, but those are black anyway,
        // and it takes several times as long.)
        const double top = std::log(1.0 + *std::max_element(magnitude, magnitude + count));
        std::uint8_t* const bytes = half.tiles[int(Tile::Magnitude)];
        if (top > 0.0) {
            const double scale = 255.0 / top;
            Layout(W, H, true, [&](std::size_t to, std::size_t from) {
                const double v = std::log(1.0 + magnitude[from]) * scale + 0.5;
                bytes[to] = static_cast<std::uint8_t>(v < 255.0 ? v : 255.0);
            });
        } else {
            std::fill(bytes, bytes + count, std::uint8_t(0));
        }
        std::uint8_t* const rgb = half.tiles[int(Tile::Phase)];
        Layout(W, H, true, [&](std::size_t to, std::size_t from) {
            const auto colour = Hue(phase[from]);
            std::copy(colour.begin(), colour.end(), rgb + 3 * to);
        });
    }

    // Normal of one side and Swap of the other take the cosines and sines of
    // the same phase: a second grid computes them once for both.
    {
        Array<double> second(2 * count + 1);
        for (Side side : {Side::Left, Side::Right}) {
            FillNormalAndSwap(side, g, second.data());
            Finish(g, side, Rebuild::Normal);
            Finish(second.data(), Other(side), Rebuild::Swap);
        }
    }
    for (Side side : {Side::Left, Side::Right})
        for (Rebuild rebuild : {Rebuild::MagnitudeOnly, Rebuild::PhaseOnly}) {
            Fill(side, rebuild, alpha, g);
            Finish(g, side, rebuild);
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

Picture PhaseLab::Image(Side side, Tile tile) const
{
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.channels = Channels(tile);
    picture.bytes = (*data)[side].tiles[int(tile)];
    return picture;
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

void PhaseLab::RebuildGrid(Side side, Rebuild rebuild, double mix, double* out) const
{
    Fill(side, rebuild, rebuild == Rebuild::Mix ? Clamped(mix) : 0.0, out);
    Transform(out, -1);
    const double inverse = Inverse();
    for (std::size_t i = 1; i <= 2 * count; ++i)
        out[i] = out[i] * inverse;
}

// 1 / (double(H) * double(W)). N is a power of two, so this is exact, and a
// product with it is the correctly rounded x * 2^-k just as the main
// command's quotient x / N is: the same double, without a division.
double PhaseLab::Inverse() const { return 1.0 / (double(height) * double(width)); }

std::uint64_t PhaseLab::BytesNeeded(int W, int H)
{
    const std::size_t N = Pixels(W, H);
    const std::uint64_t samples = 2 * LargeBytes(N * sizeof(std::int32_t));
    const std::uint64_t planes = 4 * LargeBytes(N * sizeof(double));
    const std::uint64_t grids = 2 * LargeBytes((2 * N + 1) * sizeof(double));
    const std::uint64_t tiles = LargeBytes(2 * PixelBytes * N);
    return samples + planes + grids + tiles + sizeof(PhaseLab) + sizeof(Data);
}

// The 2-D transform of an H x W grid, in place, in the given direction.
void PhaseLab::Transform(double* g, std::int32_t sign) const
{
    const std::uint32_t dims[3] = {0, std::uint32_t(height), std::uint32_t(width)};
    fourier::FourierTransform(g, dims, 2, sign);
}

// The grid the main command transforms: each sample as a real part, every
// imaginary part and index 0 zero.
void PhaseLab::Load(const std::int32_t* samples, double* g) const
{
    g[0] = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
        g[2 * k + 1] = double(samples[k]);
        g[2 * k + 2] = 0.0;
    }
}

// Writes the spectrum of one rebuild of side into g (2N+1 doubles, index 0
// zero), as the table in PhaseLab.h states it; mix, already clamped, is read
// by Rebuild::Mix only.
void PhaseLab::Fill(Side side, Rebuild rebuild, double mix, double* g) const
{
    const double* const m = (*data)[side].magnitude.data();
    const double* const own = (*data)[side].phase.data();
    const double* const other = (*data)[Other(side)].phase.data();
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

// Normal of side phaseOf into normal and Swap of the other side into swap: the
// same doubles Fill writes for each, from one cosine and sine per element.
void PhaseLab::FillNormalAndSwap(Side phaseOf, double* normal, double* swap) const
{
    const double* const phase = (*data)[phaseOf].phase.data();
    const double* const own = (*data)[phaseOf].magnitude.data();
    const double* const other = (*data)[Other(phaseOf)].magnitude.data();
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
    const double inverse = Inverse();
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
            x[k] = g[2 * k + 1] * inverse;
        total.Add(moments::BlockSum(values, b, e));
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

    const Stretch stretch = PercentileStretch(x, n, x + n);
    std::uint8_t* const bytes = half.tiles[int(TileOf(rebuild))];
    Layout(width, height, rebuild == Rebuild::MagnitudeOnly,
           [&](std::size_t to, std::size_t from) { bytes[to] = stretch(x[from]); });
}

// The two mixes at alpha. At the ends they are Normal and Swap bit for bit,
// so their tiles and rows are copied instead of rebuilt.
void PhaseLab::Mixes()
{
    for (Side side : {Side::Left, Side::Right}) {
        if (alpha == 0.0 || alpha == 1.0) {
            Half& half = (*data)[side];
            const Rebuild end = alpha == 0.0 ? Rebuild::Normal : Rebuild::Swap;
            const std::uint8_t* const from = half.tiles[int(TileOf(end))];
            std::copy(from, from + count, half.tiles[int(Tile::Mix)]);
            for (int i = 0; i < 2; ++i)
                half.rows[int(Rebuild::Mix)][i] = half.rows[int(end)][i];
            continue;
        }
        Fill(side, Rebuild::Mix, alpha, data->grid.data());
        Finish(data->grid.data(), side, Rebuild::Mix);
    }
}

std::array<std::uint8_t, 3> PhaseColour(double phase)
{
    if (!(phase >= -Pi && phase <= Pi))
        phase = std::isnan(phase) ? 0.0 : std::remainder(phase, TwoPi);
    return Hue(phase);
}

std::vector<std::uint8_t> PhaseLegend(int width, int height)
{
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("phase legend: the size " + std::to_string(width) + "x" +
                                    std::to_string(height) + " is empty");
    const std::size_t stride = 3 * std::size_t(width);
    std::vector<std::uint8_t> legend(stride * std::size_t(height));
    for (int x = 0; x < width; ++x) {
        const double phase = width == 1 ? 0.0 : -Pi + TwoPi * x / (width - 1);
        const auto colour = PhaseColour(phase);
        std::copy(colour.begin(), colour.end(), legend.begin() + 3 * std::size_t(x));
    }
    for (int y = 1; y < height; ++y)
        std::copy(legend.begin(), legend.begin() + stride, legend.begin() + y * stride);
    return legend;
}

}  // namespace lab
