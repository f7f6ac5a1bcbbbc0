// Tests of the phase lab's engine, grouped by behaviour.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "LiteralCommand.h"
#include "fourier/FourierTransform.h"
#include "lab/PhaseLab.h"
#include "lab/Rebuilds.h"
#include "lab/Resemblance.h"
#include "lab/SinCos.h"
#include "lab/Stretch.h"
#include "lab/Team.h"
#include "phase/Command.h"
#include "stimuli/Scramble.h"
#include "stimuli/SplitMix64.h"

namespace {

using lab::PhaseLab;
using lab::Rebuild;
using lab::Side;
using lab::Tile;

constexpr double Pi = 3.14159265358979323846;
constexpr std::int32_t GrayUnit = 65793;  // the sample of gray level 1

using Samples = std::vector<std::int32_t>;
using Rgb = std::array<std::uint8_t, 3>;

Samples RandomSamples(int W, int H, bool colour, std::uint32_t seed)
{
    std::mt19937 random(seed);
    Samples s(std::size_t(W) * std::size_t(H));
    for (auto& v : s)
        v = colour ? std::int32_t(random() & 0xffffff) : GrayUnit * std::int32_t(random() & 0xff);
    return s;
}

std::vector<double> Random(std::size_t n, std::uint64_t seed, double lo, double hi)
{
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<double> v(n);
    for (double& x : v)
        x = u(random);
    return v;
}

Samples Constant(int W, int H, std::int32_t value)
{
    return Samples(std::size_t(W) * std::size_t(H), value);
}

Samples Impulse(int W, int H, int x0, int y0, std::int32_t value)
{
    Samples s = Constant(W, H, 0);
    s[std::size_t(y0) * W + x0] = value;
    return s;
}

using MainResult = literal::CommandGrids;

MainResult MainCommand(const Samples& left, const Samples& right, int W, int H, bool swap)
{
    return literal::Command(left, right, W, H, swap);
}

std::vector<double> Rebuilt(const PhaseLab& lab, Side side, Rebuild rebuild, double mix = 0.0)
{
    std::vector<double> grid(2 * std::size_t(lab.Width()) * lab.Height() + 1, -1.0);
    lab.RebuildGrid(side, rebuild, mix, grid.data());
    return grid;
}

std::vector<double> RealParts(const std::vector<double>& grid)
{
    std::vector<double> re((grid.size() - 1) / 2);
    for (std::size_t k = 0; k < re.size(); ++k)
        re[k] = grid[2 * k + 1];
    return re;
}

// The stretch as its documentation states it, by sorting: the ceil(N/100)-th
// and ceil(99N/100)-th smallest values onto 0 and 255.
std::vector<std::uint8_t> SortedStretch(const std::vector<double>& values)
{
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    const auto rank = [n](std::size_t p) { return (p * n + 99) / 100; };  // 1-based
    const double lo = sorted[rank(1) - 1], hi = sorted[rank(99) - 1];
    std::vector<std::uint8_t> gray(n);
    for (std::size_t k = 0; k < n; ++k) {
        if (hi == lo)
            gray[k] = values[k] < lo ? 0 : values[k] > lo ? 255 : 128;
        else
            gray[k] = std::uint8_t(std::clamp(std::floor(255.0 * (values[k] - lo) / (hi - lo) + 0.5),
                                              0.0, 255.0));
    }
    return gray;
}

std::vector<std::uint8_t> Bytes(const lab::TilePixels& p)
{
    return std::vector<std::uint8_t>(p.bytes, p.bytes + p.Size());
}

std::vector<double> AsDoubles(const Samples& s) { return std::vector<double>(s.begin(), s.end()); }

const Tile AllTiles[] = {Tile::Magnitude,     Tile::Phase,     Tile::Normal, Tile::Swap,
                         Tile::MagnitudeOnly, Tile::PhaseOnly, Tile::Mix};
const Rebuild AllRebuilds[] = {Rebuild::Normal, Rebuild::Swap, Rebuild::Mix,
                               Rebuild::MagnitudeOnly, Rebuild::PhaseOnly};

std::string Shape(int W, int H) { return std::to_string(W) + "x" + std::to_string(H); }

// Angle difference wrapped into [-pi, pi].
double AngleBetween(double a, double b) { return std::remainder(a - b, 2 * Pi); }

// --- known spectra ------------------------------------------------------------

// A picture whose spectrum (forward direction exp(+i...)) is known in closed form.
struct Known {
    std::string name;
    int W, H;
    std::function<Samples(int, int)> picture;
    std::function<std::complex<double>(int kx, int ky)> spectrum;
};

void PrintTo(const Known& c, std::ostream* os) { *os << c.name; }

class KnownSpectrum : public ::testing::TestWithParam<Known> {};

TEST_P(KnownSpectrum, MagnitudeAndPhaseAsComputedByHand)
{
    const Known& c = GetParam();
    const Samples s = c.picture(c.W, c.H);
    const PhaseLab lab(s.data(), s.data(), c.W, c.H);
    const double* magnitude = lab.Magnitudes(Side::Left);
    const double* phase = lab.Phases(Side::Left);
    double scale = 0;
    for (int k = 0; k < c.W * c.H; ++k)
        scale = std::max(scale, std::abs(c.spectrum(k % c.W, k / c.W)));
    for (int ky = 0; ky < c.H; ++ky)
        for (int kx = 0; kx < c.W; ++kx) {
            SCOPED_TRACE("frequency (" + std::to_string(kx) + ", " + std::to_string(ky) + ")");
            const std::complex<double> f = c.spectrum(kx, ky);
            const std::size_t k = std::size_t(ky) * c.W + kx;
            EXPECT_NEAR(magnitude[k], std::abs(f), 1e-12 * scale);
            if (std::abs(f) > 1e-6 * scale) {
                EXPECT_NEAR(AngleBetween(phase[k], std::arg(f)), 0.0, 1e-12);
            }
        }
}

std::complex<double> Turns(double turns, double scale)
{
    return std::polar(scale, 2 * Pi * turns);
}

std::vector<Known> KnownCases()
{
    std::vector<Known> cases;
    for (auto [W, H] : {std::pair{4, 4}, {8, 2}, {1, 4}, {16, 1}, {1, 1}}) {
        cases.push_back({"ImpulseAtOriginIsFlat_" + Shape(W, H), W, H,
                         [](int W, int H) { return Impulse(W, H, 0, 0, 255 * GrayUnit); },
                         [](int, int) { return std::complex<double>(255.0 * GrayUnit); }});
        cases.push_back({"ConstantHasOnlyFrequencyZero_" + Shape(W, H), W, H,
                         [](int W, int H) { return Constant(W, H, 1234567); },
                         [W = W, H = H](int kx, int ky) {
                             return std::complex<double>(kx == 0 && ky == 0 ? 1234567.0 * W * H : 0.0);
                         }});
        const int x0 = W > 1 ? 1 : 0, y0 = H > 2 ? 2 : H - 1;
        cases.push_back({"ShiftedImpulseHasLinearPhase_" + Shape(W, H), W, H,
                         [x0, y0](int W, int H) { return Impulse(W, H, x0, y0, 99); },
                         [W = W, H = H, x0, y0](int kx, int ky) {
                             return Turns(double(kx * x0) / W + double(ky * y0) / H, 99.0);
                         }});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Pictures, KnownSpectrum, ::testing::ValuesIn(KnownCases()),
                         [](const auto& info) { return info.param.name; });

// The magnitude tile: log(1 + |F|) from its 1st to its 99th percentile onto
// 0..255, centred; one level shows mid gray, none black.
struct MagnitudeCase {
    std::string name;
    int W, H;
    Samples picture;
    std::vector<std::uint8_t> tile;
};

void PrintTo(const MagnitudeCase& c, std::ostream* os) { *os << c.name; }

class MagnitudeTile : public ::testing::TestWithParam<MagnitudeCase> {};

TEST_P(MagnitudeTile, IsLogScaledBetweenPercentiles)
{
    const MagnitudeCase& c = GetParam();
    const PhaseLab lab(c.picture.data(), c.picture.data(), c.W, c.H);
    EXPECT_EQ(Bytes(lab.Pixels(Side::Left, Tile::Magnitude)), c.tile);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, MagnitudeTile,
    ::testing::Values(
        // |F| = 4 at frequency 0 and 2 at frequency 1, which the centred tile
        // shows first: the two percentiles of two values are both of them.
        MagnitudeCase{"TwoLevels", 2, 1, {3, 1}, {0, 255}},
        MagnitudeCase{"AllZeroIsBlack", 2, 2, {0, 0, 0, 0}, {0, 0, 0, 0}},
        MagnitudeCase{"ImpulseIsFlatGray", 2, 2, {0, 0, 0, 9}, {128, 128, 128, 128}},
        // Frequency 0 alone stands out of a level of none.
        MagnitudeCase{"ConstantIsOneWhiteDot", 2, 2, {5, 5, 5, 5}, {0, 0, 0, 255}}),
    [](const auto& info) { return info.param.name; });

// Magnitudes 0, 1, ..., 99 in a row: the 1st percentile is log 1 = 0, the
// 99th log 99; each pixel is 255 log(1 + m) / log 99, rounded and clamped,
// at its centred place.
TEST(MagnitudeTile, StretchesTheFirstToTheNinetyNinthPercentile)
{
    const int W = 100;
    std::vector<double> magnitude(W), scratch(2 * W);
    for (int k = 0; k < W; ++k)
        magnitude[k] = k;
    std::vector<std::uint8_t> bytes(W);
    lab::PaintMagnitude(magnitude.data(), W, 1, scratch.data(), bytes.data());
    for (int x = 0; x < W; ++x) {
        const int k = (x + W / 2) % W;
        const long double v = 255.0L * std::log(1.0L + k) / std::log(99.0L);
        EXPECT_EQ(bytes[x], int(std::min(255.0L, std::floor(v + 0.5L)))) << "pixel " << x;
    }
}

// --- where the centred tiles put frequency 0 and the last frequency ------------

struct Placement {
    std::string name;
    int W, H;
    int zeroX, zeroY;  // the pixel showing frequency (0, 0)
    int lastX, lastY;  // the pixel showing frequency (W-1, H-1)
};

void PrintTo(const Placement& c, std::ostream* os) { *os << c.name; }

class Centring : public ::testing::TestWithParam<Placement> {};

const std::uint8_t* Pixel(const lab::TilePixels& p, int x, int y)
{
    return p.bytes + (std::size_t(y) * p.width + x) * p.channels;
}

// A constant picture has frequency 0 alone: one bright pixel in the
// magnitude tile, at the centre.
TEST_P(Centring, FrequencyZeroOfMagnitude)
{
    const Placement& c = GetParam();
    const Samples s = Constant(c.W, c.H, 77 * GrayUnit);
    const PhaseLab lab(s.data(), s.data(), c.W, c.H);
    const lab::TilePixels& tile = lab.Pixels(Side::Left, Tile::Magnitude);
    ASSERT_EQ(tile.Size(), std::size_t(c.W) * c.H);
    // A single pixel is one level: mid gray.
    const int peak = c.W * c.H > 1 ? 255 : 128;
    for (int y = 0; y < c.H; ++y)
        for (int x = 0; x < c.W; ++x)
            EXPECT_EQ(*Pixel(tile, x, y), x == c.zeroX && y == c.zeroY ? peak : 0)
                << "pixel (" << x << ", " << y << ")";
}

// An impulse at (1, 1) (or the nearest place the size has) has phase
// 2 pi (kx x0 / W + ky y0 / H): 0 at frequency 0, and a known hue at the last.
TEST_P(Centring, FrequenciesOfPhase)
{
    const Placement& c = GetParam();
    const int x0 = c.W > 1 ? 1 : 0, y0 = c.H > 1 ? 1 : 0;
    const Samples s = Impulse(c.W, c.H, x0, y0, 1000);
    const PhaseLab lab(s.data(), s.data(), c.W, c.H);
    const lab::TilePixels& tile = lab.Pixels(Side::Left, Tile::Phase);
    ASSERT_EQ(tile.channels, 3);
    const auto expectColour = [&](int x, int y, double phase, const char* what) {
        const Rgb want = lab::PhaseColour(phase);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(Pixel(tile, x, y)[i], want[i], 1)
                << what << " at (" << x << ", " << y << "), component " << i;
    };
    expectColour(c.zeroX, c.zeroY, 0.0, "frequency 0");
    expectColour(c.lastX, c.lastY,
                 2 * Pi * (double((c.W - 1) * x0) / c.W + double((c.H - 1) * y0) / c.H),
                 "the last frequency");
}

// The magnitude-only rebuild of an impulse at the origin is that impulse: in
// its centred tile the one bright pixel sits where frequency 0 does.
TEST_P(Centring, PeakOfMagnitudeOnly)
{
    const Placement& c = GetParam();
    const Samples s = Impulse(c.W, c.H, 0, 0, 255 * GrayUnit);
    const PhaseLab lab(s.data(), s.data(), c.W, c.H);
    const lab::TilePixels& tile = lab.Pixels(Side::Left, Tile::MagnitudeOnly);
    for (int y = 0; y < c.H; ++y)
        for (int x = 0; x < c.W; ++x) {
            const bool peak = x == c.zeroX && y == c.zeroY;
            if (c.W * c.H > 1) {
                EXPECT_EQ(*Pixel(tile, x, y), peak ? 255 : 0) << "pixel (" << x << ", " << y << ")";
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Centring,
                         ::testing::Values(Placement{"W4H4", 4, 4, 2, 2, 1, 1},
                                           Placement{"W8H2", 8, 2, 4, 1, 3, 0},
                                           Placement{"W1H4", 1, 4, 0, 2, 0, 1},
                                           Placement{"W4H1", 4, 1, 2, 0, 1, 0},
                                           Placement{"W1H1", 1, 1, 0, 0, 0, 0},
                                           Placement{"W3H5", 3, 5, 1, 2, 0, 1},
                                           Placement{"W6H3", 6, 3, 3, 1, 2, 0}),
                         [](const auto& info) { return info.param.name; });

// --- rebuilds with known results ----------------------------------------------

struct KnownRebuild {
    std::string name;
    Samples picture;
    int W, H;
    Rebuild rebuild;
    std::vector<double> expected;  // the real parts, row-major
};

void PrintTo(const KnownRebuild& c, std::ostream* os) { *os << c.name; }

class RebuildOfKnownPicture : public ::testing::TestWithParam<KnownRebuild> {};

TEST_P(RebuildOfKnownPicture, RealPartsAsComputedByHand)
{
    const KnownRebuild& c = GetParam();
    const PhaseLab lab(c.picture.data(), c.picture.data(), c.W, c.H);
    const std::vector<double> grid = Rebuilt(lab, Side::Left, c.rebuild);
    EXPECT_EQ(grid[0], 0.0);
    double scale = 1;
    for (double v : c.expected)
        scale = std::max(scale, std::fabs(v));
    for (std::size_t k = 0; k < c.expected.size(); ++k) {
        EXPECT_NEAR(grid[2 * k + 1], c.expected[k], 1e-12 * scale) << "real part " << k;
        EXPECT_NEAR(grid[2 * k + 2], 0.0, 1e-12 * scale) << "imaginary part " << k;
    }
}

std::vector<double> Spike(int W, int H, int x, int y, double value)
{
    std::vector<double> v(std::size_t(W) * H, 0.0);
    v[std::size_t(y) * W + x] = value;
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, RebuildOfKnownPicture,
    ::testing::Values(
        // A flat magnitude with zero phase: the impulse moves to the origin.
        KnownRebuild{"MagnitudeOnlyOfShiftedImpulse", Impulse(8, 4, 3, 2, 5000), 8, 4,
                     Rebuild::MagnitudeOnly, Spike(8, 4, 0, 0, 5000)},
        // Unit magnitude keeps the impulse where it was, with height 1.
        KnownRebuild{"PhaseOnlyOfShiftedImpulse", Impulse(8, 4, 3, 2, 5000), 8, 4,
                     Rebuild::PhaseOnly, Spike(8, 4, 3, 2, 1)},
        // Only frequency 0 has a phase; every other frequency takes 1 + 0i,
        // whatever the signs of the zeros there: an impulse of height 1.
        KnownRebuild{"PhaseOnlyOfConstantTakesOneWhereNoPhase", Constant(4, 8, 4242), 4, 8,
                     Rebuild::PhaseOnly, Spike(4, 8, 0, 0, 1)},
        KnownRebuild{"NormalGivesThePictureBack", Impulse(4, 2, 1, 1, 321), 4, 2, Rebuild::Normal,
                     Spike(4, 2, 1, 1, 321)}),
    [](const auto& info) { return info.param.name; });

// --- the colour wheel ---------------------------------------------------------

struct Hue {
    std::string name;
    double phase;
    Rgb rgb;
};

void PrintTo(const Hue& c, std::ostream* os) { *os << c.name; }

class PhaseColour : public ::testing::TestWithParam<Hue> {};

TEST_P(PhaseColour, IsTheHueOfThePhase)
{
    EXPECT_EQ(lab::PhaseColour(GetParam().phase), GetParam().rgb);
}

INSTANTIATE_TEST_SUITE_P(
    Wheel, PhaseColour,
    ::testing::Values(Hue{"MinusPiIsCyan", -Pi, {0, 255, 255}},
                      Hue{"PiIsCyanToo", Pi, {0, 255, 255}},
                      Hue{"ZeroIsRedOppositeCyan", 0.0, {255, 0, 0}},
                      Hue{"NegativeZeroIsRed", -0.0, {255, 0, 0}},
                      Hue{"JustBelowZeroIsRed", -1e-300, {255, 0, 0}},
                      Hue{"ThirdTurnIsYellow", Pi / 3, {255, 255, 0}},
                      Hue{"TwoThirdsIsGreen", 2 * Pi / 3, {0, 255, 0}},
                      Hue{"MinusTwoThirdsIsBlue", -2 * Pi / 3, {0, 0, 255}},
                      Hue{"MinusThirdIsMagenta", -Pi / 3, {255, 0, 255}},
                      Hue{"QuarterTurnIsChartreuse", Pi / 2, {128, 255, 0}},
                      Hue{"MinusQuarterTurnIsViolet", -Pi / 2, {128, 0, 255}},
                      Hue{"ThreePiWrapsToCyan", 3 * Pi, {0, 255, 255}}),
    [](const auto& info) { return info.param.name; });

TEST(PhaseLegend, RunsFromMinusPiThroughZeroToPi)
{
    const std::vector<std::uint8_t> legend = lab::PhaseLegend(7, 3);
    ASSERT_EQ(legend.size(), 7u * 3 * 3);
    const Rgb columns[7] = {{0, 255, 255}, {0, 0, 255},   {255, 0, 255}, {255, 0, 0},
                            {255, 255, 0}, {0, 255, 0}, {0, 255, 255}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) {
            const std::uint8_t* p = legend.data() + 3 * (7 * y + x);
            EXPECT_EQ((Rgb{p[0], p[1], p[2]}), columns[x]) << "pixel (" << x << ", " << y << ")";
        }
    EXPECT_EQ(lab::PhaseLegend(1, 1), (std::vector<std::uint8_t>{255, 0, 0}));
    EXPECT_THROW(lab::PhaseLegend(0, 4), std::invalid_argument);
    EXPECT_THROW(lab::PhaseLegend(4, -1), std::invalid_argument);
}

// The phase tile is painted a chunk of pixels at a time: each pixel must still
// be PhaseColour of the phase it shows, to the byte, in rows longer than a
// chunk, on the tents' corners and next to them, at the ends and at zero.
TEST(PhaseTile, EveryPixelIsTheColourOfItsPhase)
{
    for (const auto& size : {std::pair<int, int>{7, 5}, {1, 1}, {601, 4}, {2, 300}}) {
        const int W = size.first, H = size.second;
        const std::size_t N = std::size_t(W) * H;
        std::vector<double> phase = Random(N, 41 + N, -Pi, Pi);
        std::vector<double> edges = {-Pi, Pi, 0.0, -0.0, 1e-300, -1e-300};
        for (int k = -3; k <= 3; ++k)
            for (const double corner : {k * Pi / 3, k * Pi / 2})
                for (const double toward : {-4.0, 4.0})
                    edges.insert(edges.end(), {corner, std::nextafter(corner, toward),
                                               std::nextafter(std::nextafter(corner, toward), toward)});
        for (std::size_t i = 0; i < edges.size() && i < N; ++i)
            phase[(i * 7919) % N] = std::clamp(edges[i], -Pi, Pi);
        std::vector<std::uint8_t> tile(3 * N);
        lab::PaintPhase(phase.data(), W, H, tile.data());
        std::size_t wrong = 0;
        lab::Layout(W, H, true, [&](std::size_t to, std::size_t from) {
            const Rgb want = lab::PhaseColour(phase[from]);
            const Rgb got = {tile[3 * to], tile[3 * to + 1], tile[3 * to + 2]};
            if (got != want && wrong++ < 5)
                ADD_FAILURE() << W << "x" << H << ": pixel " << to << " shows phase " << phase[from];
        });
        EXPECT_EQ(wrong, 0u) << W << "x" << H;
    }
}

// --- the two workers ----------------------------------------------------------

// Lists of every length, one after another on one team: each task once, on
// worker 0 or 1, whatever the timing.
TEST(Team, RunsEveryTaskOnceOnEitherWorker)
{
    lab::Team team;
    for (int round = 0; round < 40; ++round)
        for (const std::size_t n : {0, 1, 2, 7, 1000}) {
            std::vector<std::atomic<int>> runs(n);
            std::atomic<bool> strangeWorker{false};
            team.Run(n, [&](std::size_t i, int worker) {
                ++runs[i];
                if (worker != 0 && worker != 1)
                    strangeWorker = true;
            });
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(runs[i].load(), 1) << "task " << i << " of " << n << ", round " << round;
            EXPECT_FALSE(strangeWorker);
        }
}

// A task that throws: the others still run, the first failure comes out of
// Run once they have, and the team takes the next list as before.
TEST(Team, RaisesTheFailureOnceTheOthersHaveRun)
{
    lab::Team team;
    std::vector<std::atomic<int>> runs(64);
    EXPECT_THROW(team.Run(runs.size(),
                          [&](std::size_t i, int) {
                              ++runs[i];
                              if (i % 16 == 3)
                                  throw std::runtime_error("task " + std::to_string(i));
                          }),
                 std::runtime_error);
    for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(runs[i].load(), 1) << "task " << i;
    std::atomic<int> after{0};
    team.Run(5, [&](std::size_t, int) { ++after; });
    EXPECT_EQ(after.load(), 5);
}

// --- the mix's ends are the main command's doubles -----------------------------

struct Pair {
    std::string name;
    int W, H;
    bool colour;
};

void PrintTo(const Pair& c, std::ostream* os) { *os << c.name; }

class MixEnds : public ::testing::TestWithParam<Pair> {
protected:
    void SetUp() override
    {
        const Pair& c = GetParam();
        left = RandomSamples(c.W, c.H, c.colour, 11u + c.W * 131u + c.H);
        right = RandomSamples(c.W, c.H, c.colour, 97u + c.W + c.H * 17u);
        normal = MainCommand(left, right, c.W, c.H, false);
        swapped = MainCommand(left, right, c.W, c.H, true);
    }
    Samples left, right;
    MainResult normal, swapped;
};

TEST_P(MixEnds, GridsAreTheMainCommandsBitForBit)
{
    const Pair& c = GetParam();
    const PhaseLab lab(left.data(), right.data(), c.W, c.H);
    for (Side side : {Side::Left, Side::Right}) {
        SCOPED_TRACE(side == Side::Left ? "left" : "right");
        const int s = side == Side::Left ? 0 : 1;
        const std::vector<double>& own = s == 0 ? normal.left : normal.right;
        const std::vector<double>& other = s == 0 ? swapped.left : swapped.right;
        EXPECT_TRUE(SameBits(Rebuilt(lab, side, Rebuild::Mix, 0.0), own)) << "mix at 0";
        EXPECT_TRUE(SameBits(Rebuilt(lab, side, Rebuild::Mix, 1.0), other)) << "mix at 1";
        EXPECT_TRUE(SameBits(Rebuilt(lab, side, Rebuild::Normal), own)) << "normal";
        EXPECT_TRUE(SameBits(Rebuilt(lab, side, Rebuild::Swap), other)) << "swap";
    }
}

// The opening makes Normal and Swap from each phase's cosines and sines taken
// once; joined so they must be the main command's join, bit for bit, on angles
// of every kind, the unit vectors' grid serving as the output too, and a
// phase joined with two magnitudes at once.
TEST(UnitVectors, JoinedGiveTheMainCommandsJoin)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> phase = {0.0, -0.0, 1e-310, -1e-310, Pi, -Pi, Pi / 2, 1e22,
                                 -1e300, inf, -inf, std::nan("")};
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> angle(-Pi, Pi);
    while (phase.size() < 4096)
        phase.push_back(angle(random));
    const std::size_t N = phase.size();
    std::vector<double> magnitude(N);
    for (std::size_t k = 0; k < N; ++k)
        magnitude[k] = k % 7 == 0 ? 0.0 : std::ldexp(angle(random), int(k % 40) - 20);
    std::vector<double> other(N);
    for (std::size_t k = 0; k < N; ++k)
        other[k] = k % 5 == 0 ? 0.0 : std::ldexp(angle(random), int(k % 30) - 10);
    std::vector<double> want(2 * N + 1, 0.0), wantOther(2 * N + 1, 0.0);
    phase::JoinPolar(want.data(), phase.data(), magnitude.data(), N);
    phase::JoinPolar(wantOther.data(), phase.data(), other.data(), N);
    // Whole, and in ranges as the opening's tasks take them.
    for (const std::size_t piece : {N, std::size_t(1000), std::size_t(1)}) {
        SCOPED_TRACE("ranges of " + std::to_string(piece));
        std::vector<double> unit(2 * N + 1, -1.0), joined(2 * N + 1, -1.0), inPlace(2 * N + 1, -1.0);
        std::vector<double> first(2 * N + 1, -1.0), second(2 * N + 1, -1.0);
        for (std::size_t b = 0; b < N; b += piece) {
            const std::size_t e = std::min(N, b + piece);
            lab::UnitVectors(phase.data(), b, e, unit.data());
            lab::JoinUnits(joined.data(), unit.data(), magnitude.data(), b, e);
            lab::UnitVectors(phase.data(), b, e, inPlace.data());
            lab::JoinUnits(inPlace.data(), inPlace.data(), magnitude.data(), b, e);
            lab::JoinBoth(phase.data(), magnitude.data(), other.data(), b, e, first.data(),
                          second.data());
        }
        EXPECT_TRUE(SameBits(joined, want)) << "joined into another grid";
        EXPECT_TRUE(SameBits(inPlace, want)) << "joined in place";
        EXPECT_TRUE(SameBits(first, want)) << "joined with both magnitudes: the own";
        EXPECT_TRUE(SameBits(second, wantOther)) << "joined with both magnitudes: the other";
    }
}

TEST_P(MixEnds, TilesAndRowsAreNormalAndSwap)
{
    const Pair& c = GetParam();
    PhaseLab lab(left.data(), right.data(), c.W, c.H, 0.0);
    const auto check = [&](Rebuild end, const MainResult& main) {
        for (Side side : {Side::Left, Side::Right}) {
            SCOPED_TRACE(side == Side::Left ? "left" : "right");
            const auto want = SortedStretch(RealParts(side == Side::Left ? main.left : main.right));
            EXPECT_EQ(Bytes(lab.Pixels(side, Tile::Mix)), want);
            EXPECT_EQ(Bytes(lab.Pixels(side, end == Rebuild::Normal ? Tile::Normal : Tile::Swap)), want);
            for (Side input : {Side::Left, Side::Right})
                EXPECT_EQ(lab.Resemblance(side, Rebuild::Mix, input), lab.Resemblance(side, end, input));
        }
    };
    {
        SCOPED_TRACE("opened at 0");
        check(Rebuild::Normal, normal);
    }
    lab.SetMix(0.5);
    lab.SetMix(1.0);
    {
        SCOPED_TRACE("moved to 1");
        check(Rebuild::Swap, swapped);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, MixEnds,
                         ::testing::Values(Pair{"Gray1x1", 1, 1, false}, Pair{"Colour1x1", 1, 1, true},
                                           Pair{"Gray1x8", 1, 8, false}, Pair{"Colour1x8", 1, 8, true},
                                           Pair{"Gray8x1", 8, 1, false}, Pair{"Colour8x1", 8, 1, true},
                                           Pair{"Gray16x16", 16, 16, false},
                                           Pair{"Colour16x16", 16, 16, true},
                                           Pair{"Gray32x8", 32, 8, false},
                                           Pair{"Colour32x8", 32, 8, true}),
                         [](const auto& info) { return info.param.name; });

// --- the mix between its ends --------------------------------------------------

// The mix written out: each side's magnitude with its phase moved by a of the
// way to the other's, the short way round (the difference as
// atan2(sin, cos)), with the library's cosine and sine.
std::vector<double> MixReference(const Samples& left, const Samples& right, int W, int H, Side side,
                                 double a)
{
    const std::size_t N = std::size_t(W) * std::size_t(H);
    const std::uint32_t dims[3] = {0, std::uint32_t(H), std::uint32_t(W)};
    std::vector<std::complex<double>> spectrum[2];
    const Samples* inputs[2] = {&left, &right};
    for (int s = 0; s < 2; ++s) {
        std::vector<double> g(2 * N + 1, 0.0);
        for (std::size_t k = 0; k < N; ++k)
            g[2 * k + 1] = (*inputs[s])[k];
        fourier::FourierTransform(g.data(), dims, 2, +1);
        for (std::size_t k = 0; k < N; ++k)
            spectrum[s].emplace_back(g[2 * k + 1], g[2 * k + 2]);
    }
    const int own = side == Side::Left ? 0 : 1;
    std::vector<double> g(2 * N + 1, 0.0);
    for (std::size_t k = 0; k < N; ++k) {
        const double p = std::arg(spectrum[own][k]);
        const double q = std::arg(spectrum[1 - own][k]);
        const double t = p + a * std::atan2(std::sin(q - p), std::cos(q - p));
        g[2 * k + 1] = std::abs(spectrum[own][k]) * std::cos(t);
        g[2 * k + 2] = std::abs(spectrum[own][k]) * std::sin(t);
    }
    fourier::FourierTransform(g.data(), dims, 2, -1);
    for (double& v : g)
        v /= double(N);
    return g;
}

struct MixPoint {
    std::string name;
    int W, H;
    double a;
};

void PrintTo(const MixPoint& c, std::ostream* os) { *os << c.name; }

class MixBetweenEnds : public ::testing::TestWithParam<MixPoint> {};

TEST_P(MixBetweenEnds, MovesEachPhaseTheShortWayRound)
{
    const MixPoint& c = GetParam();
    const Samples left = RandomSamples(c.W, c.H, true, 41), right = RandomSamples(c.W, c.H, false, 42);
    const PhaseLab lab(left.data(), right.data(), c.W, c.H);
    for (Side side : {Side::Left, Side::Right}) {
        SCOPED_TRACE(side == Side::Left ? "left" : "right");
        const std::vector<double> want = MixReference(left, right, c.W, c.H, side, c.a);
        const std::vector<double> got = Rebuilt(lab, side, Rebuild::Mix, c.a);
        double scale = 0;
        for (double v : want)
            scale = std::max(scale, std::fabs(v));
        for (std::size_t i = 1; i < want.size(); ++i)
            ASSERT_NEAR(got[i], want[i], 1e-12 * scale) << "double " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Mixes, MixBetweenEnds,
                         ::testing::Values(MixPoint{"Half16x16", 16, 16, 0.5},
                                           MixPoint{"Tenth8x32", 8, 32, 0.1},
                                           MixPoint{"NearlySwapped32x4", 32, 4, 0.95},
                                           MixPoint{"Half1x8", 1, 8, 0.5}),
                         [](const auto& info) { return info.param.name; });

// --- correlation --------------------------------------------------------------

struct Series {
    std::string name;
    std::vector<double> a, b;
    std::optional<double> r;
    double tolerance = 0.0;
};

void PrintTo(const Series& c, std::ostream* os) { *os << c.name; }

class CorrelationOf : public ::testing::TestWithParam<Series> {};

TEST_P(CorrelationOf, PairsOfSeries)
{
    const Series& c = GetParam();
    ASSERT_EQ(c.a.size(), c.b.size());
    const auto r = lab::Correlation(c.a.data(), 1, c.b.data(), 1, c.a.size());
    ASSERT_EQ(r.has_value(), c.r.has_value()) << (r ? std::to_string(*r) : "empty");
    if (r) {
        EXPECT_NEAR(*r, *c.r, c.tolerance);
        EXPECT_LE(std::fabs(*r), 1.0);
    }
}

std::vector<double> Pattern(std::size_t n, std::function<double(std::size_t)> f)
{
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = f(i);
    return v;
}

std::vector<Series> SeriesCases()
{
    const std::vector<double> noise = Random(4096, 5, -1.0, 1.0);
    const auto scaled = [&](double offset, double amplitude) {
        return Pattern(noise.size(), [&](std::size_t i) { return offset + amplitude * noise[i]; });
    };
    // Samples near the top of the range, varying by a step or two: a one-pass
    // formula loses them to cancellation.
    const std::size_t n = 3 << 18;
    const auto top = [](std::size_t shift) {
        return [shift](std::size_t i) { return 16777215.0 - double((i + shift) % 3); };
    };
    return {
        {"WithItselfIsOne", scaled(0, 1), scaled(0, 1), 1.0},
        {"WithItsNegativeIsMinusOne", scaled(0, 1), scaled(0, -1), -1.0},
        {"HandComputed", {1, 2, 3, 4, 5}, {2, 1, 4, 3, 5}, 0.8, 1e-15},
        {"LargeOffsetSmallSteps", Pattern(n, top(0)), Pattern(n, top(1)), -0.5, 1e-12},
        {"ConstantIsUndefined", scaled(4242, 0), scaled(0, 1), std::nullopt},
        {"ConstantOnTheOtherSide", scaled(0, 1), scaled(-7, 0), std::nullopt},
        {"AllZeroIsUndefined", scaled(0, 0), scaled(0, 1), std::nullopt},
        // A rebuilt constant picture carries noise far below its size.
        {"ConstantWithRoundingNoiseIsUndefined", scaled(1.6e7, 1e-9), scaled(0, 1), std::nullopt},
        // One sample a step away from the rest, among many: a picture still.
        {"OneStepAmongManyIsDefined",
         Pattern(1 << 20, [](std::size_t i) { return i == 5 ? 16777214.0 : 16777215.0; }),
         Pattern(1 << 20, [](std::size_t i) { return i == 5 ? 1.0 : 0.0; }), -1.0, 1e-9},
        {"SingleValueIsUndefined", {3}, {4}, std::nullopt},
        {"NothingIsUndefined", {}, {}, std::nullopt},
    };
}

INSTANTIATE_TEST_SUITE_P(Series, CorrelationOf, ::testing::ValuesIn(SeriesCases()),
                         [](const auto& info) { return info.param.name; });

TEST(Correlation, StridesReadEveryStrideth)
{
    const std::vector<double> a = {1, -9, 2, -9, 3, -9, 4, -9, 5, -9};
    const std::vector<double> b = {2, 7, 7, 1, 7, 7, 4, 7, 7, 3, 7, 7, 5, 7, 7};
    const auto r = lab::Correlation(a.data(), 2, b.data(), 3, 5);
    ASSERT_TRUE(r.has_value());
    EXPECT_NEAR(*r, 0.8, 1e-15);
    const std::vector<double> same = {6.0};
    EXPECT_FALSE(lab::Correlation(same.data(), 0, a.data(), 1, 5).has_value())
        << "stride 0 reads one value over and over: constant";
}

// --- the resemblance table ----------------------------------------------------

// A small synthetic pair: a face (a bright disc with dark eyes and mouth) and a
// house (a body with a roof and a dark door), gray.
Samples Face(int S)
{
    Samples s = Constant(S, S, 40 * GrayUnit);
    const double c = (S - 1) / 2.0;
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            const auto within = [&](double cx, double cy, double r) {
                return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
            };
            int g = 40;
            if (within(c, c, 0.4 * S))
                g = 210;
            if (within(c - 0.15 * S, c - 0.1 * S, 0.06 * S) || within(c + 0.15 * S, c - 0.1 * S, 0.06 * S))
                g = 20;
            if (y > c + 0.12 * S && y < c + 0.2 * S && std::fabs(x - c) < 0.18 * S)
                g = 60;
            s[std::size_t(y) * S + x] = g * GrayUnit;
        }
    return s;
}

Samples House(int S)
{
    Samples s = Constant(S, S, 30 * GrayUnit);
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            int g = 30;
            if (y >= S / 2 && y < S - 2 && x >= S / 5 && x < S - S / 5)
                g = 170;  // body
            if (y < S / 2 && y >= S / 8 && std::abs(x - S / 2) <= (y - S / 8))
                g = 120;  // roof
            if (y >= S - S / 4 && y < S - 2 && x >= S / 2 - 2 && x < S / 2 + 2)
                g = 10;   // door
            s[std::size_t(y) * S + x] = g * GrayUnit;
        }
    return s;
}

class FaceAndHouse : public ::testing::Test {
protected:
    static constexpr int S = 32;
    Samples face = Face(S), house = House(S);
    PhaseLab lab{face.data(), house.data(), S, S, 0.5};
    double Row(Side of, Rebuild rebuild, Side input) const
    {
        const auto r = lab.Resemblance(of, rebuild, input);
        EXPECT_TRUE(r.has_value());
        return r.value_or(0.0);
    }
};

TEST_F(FaceAndHouse, NormalIsItsOwnInput)
{
    for (Side side : {Side::Left, Side::Right})
        EXPECT_GT(Row(side, Rebuild::Normal, side), 1.0 - 1e-12);
}

TEST_F(FaceAndHouse, SwapResemblesThePhaseDonor)
{
    EXPECT_GT(Row(Side::Left, Rebuild::Swap, Side::Right), Row(Side::Left, Rebuild::Swap, Side::Left));
    EXPECT_GT(Row(Side::Right, Rebuild::Swap, Side::Left), Row(Side::Right, Rebuild::Swap, Side::Right));
}

TEST_F(FaceAndHouse, PhaseOnlyResemblesItsOwnInputMoreThanMagnitudeOnly)
{
    for (Side side : {Side::Left, Side::Right})
        EXPECT_GT(Row(side, Rebuild::PhaseOnly, side), Row(side, Rebuild::MagnitudeOnly, side));
}

// Every row is the correlation of the rebuild's real parts, as RebuildGrid
// gives them, with the input's samples: the same doubles summed the same way.
TEST_F(FaceAndHouse, RowsAreCorrelationsOfTheRebuiltDoubles)
{
    const std::vector<double> inputs[2] = {AsDoubles(face), AsDoubles(house)};
    for (Side side : {Side::Left, Side::Right})
        for (Rebuild rebuild : AllRebuilds) {
            const std::vector<double> grid = Rebuilt(lab, side, rebuild, lab.Mix());
            for (int i = 0; i < 2; ++i)
                EXPECT_EQ(lab.Resemblance(side, rebuild, i == 0 ? Side::Left : Side::Right),
                          lab::Correlation(grid.data() + 1, 2, inputs[i].data(), 1, inputs[i].size()))
                    << "side " << int(side) << ", rebuild " << int(rebuild) << ", input " << i;
        }
}

// A constant left picture: every rebuild of its magnitude is constant but the
// phase-only one (an impulse), and nothing correlates with the left input.
struct ConstantRow {
    std::string name;
    Side of;
    Rebuild rebuild;
    Side input;
    bool defined;
};

void PrintTo(const ConstantRow& c, std::ostream* os) { *os << c.name; }

class ConstantLeft : public ::testing::TestWithParam<ConstantRow> {};

TEST_P(ConstantLeft, UndefinedWhereEitherIsConstant)
{
    const ConstantRow& c = GetParam();
    const Samples flat = Constant(16, 8, 200 * GrayUnit);
    const Samples other = RandomSamples(16, 8, true, 3);
    const PhaseLab lab(flat.data(), other.data(), 16, 8, 0.37);
    EXPECT_EQ(lab.Resemblance(c.of, c.rebuild, c.input).has_value(), c.defined);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConstantLeft,
    ::testing::Values(ConstantRow{"NormalOfConstant", Side::Left, Rebuild::Normal, Side::Right, false},
                      ConstantRow{"SwapOfConstant", Side::Left, Rebuild::Swap, Side::Right, false},
                      ConstantRow{"MixOfConstant", Side::Left, Rebuild::Mix, Side::Right, false},
                      ConstantRow{"MagnitudeOnlyOfConstant", Side::Left, Rebuild::MagnitudeOnly, Side::Right, false},
                      ConstantRow{"PhaseOnlyOfConstantIsAnImpulse", Side::Left, Rebuild::PhaseOnly, Side::Right, true},
                      ConstantRow{"AgainstConstantInput", Side::Right, Rebuild::Normal, Side::Left, false},
                      ConstantRow{"SwapOfOtherAgainstConstantInput", Side::Right, Rebuild::Swap, Side::Left, false},
                      ConstantRow{"OtherAgainstItself", Side::Right, Rebuild::Normal, Side::Right, true},
                      ConstantRow{"OtherWithConstantsPhase", Side::Right, Rebuild::Swap, Side::Right, true}),
    [](const auto& info) { return info.param.name; });

// --- the gray stretch ---------------------------------------------------------

struct StretchCase {
    std::string name;
    std::vector<double> values;
    std::vector<std::pair<double, int>> grays;  // value, expected gray
};

void PrintTo(const StretchCase& c, std::ostream* os) { *os << c.name; }

class PercentileStretch : public ::testing::TestWithParam<StretchCase> {};

TEST_P(PercentileStretch, KnownValues)
{
    const StretchCase& c = GetParam();
    std::vector<double> scratch(c.values.size());
    const lab::Stretch stretch = lab::PercentileStretch(c.values.data(), c.values.size(), scratch.data());
    for (const auto& [value, gray] : c.grays)
        EXPECT_EQ(int(stretch(value)), gray) << "value " << value;
}

// The stretch of a whole row, in vectors, is each value's, on the values it
// is known by and on those next to its ends, out of range and not a number.
TEST_P(PercentileStretch, RowsAreEachValuesGray)
{
    const StretchCase& c = GetParam();
    std::vector<double> scratch(c.values.size());
    const lab::Stretch stretch = lab::PercentileStretch(c.values.data(), c.values.size(), scratch.data());
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> probes = {0.0, -0.0, inf, -inf, std::nan(""), 1e300, -1e300};
    for (const double end : {stretch.Low(), stretch.High()})
        probes.insert(probes.end(), {end, std::nextafter(end, inf), std::nextafter(end, -inf)});
    for (const auto& known : c.grays)
        probes.push_back(known.first);
    std::vector<double> row;
    for (int copy = 0; copy < 11; ++copy)
        row.insert(row.end(), probes.begin(), probes.end());
    std::vector<std::uint8_t> grays(row.size());
    stretch.Apply(row.data(), row.size(), grays.data());
    for (std::size_t i = 0; i < row.size(); ++i)
        EXPECT_EQ(grays[i], stretch(row[i])) << "value " << row[i] << " at " << i;
}

std::vector<double> Range(int from, int to)
{
    std::vector<double> v;
    for (int i = from; i <= to; ++i)
        v.push_back(i);
    return v;
}

std::vector<StretchCase> StretchCases()
{
    std::vector<double> nearlyFlat(1000, 7.0);
    nearlyFlat[10] = 3.0;
    nearlyFlat[500] = 9.0;
    std::vector<double> shuffled = Range(0, 9999);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(4));
    return {
        // n = 100: the 1st and the 99th smallest.
        {"Hundred", Range(1, 100), {{1, 0}, {99, 255}, {100, 255}, {50, 128}, {0, 0}, {25.5, 64}}},
        // n = 200: the 2nd and the 198th smallest.
        {"TwoHundred", Range(0, 199), {{0, 0}, {1, 0}, {197, 255}, {199, 255}, {99, 128}}},
        // n = 10000, shuffled (a histogram pass): the 100th and the 9900th.
        {"TenThousandShuffled", shuffled, {{99, 0}, {98, 0}, {9899, 255}, {4999, 128}}},
        {"Negative", {-3, -1}, {{-3, 0}, {-1, 255}, {-2, 128}}},
        {"ConstantIsMidGray", std::vector<double>(10, 5.0), {{5, 128}, {4.9, 0}, {5.1, 255}}},
        {"NearlyFlatShowsOutliers", nearlyFlat, {{7, 128}, {3, 0}, {9, 255}}},
        {"SingleValue", {42}, {{42, 128}}},
    };
}

INSTANTIATE_TEST_SUITE_P(Values, PercentileStretch, ::testing::ValuesIn(StretchCases()),
                         [](const auto& info) { return info.param.name; });

struct RankCase {
    std::string name;
    std::size_t n;
    unsigned p;
    std::size_t rank;  // 0-based
};

void PrintTo(const RankCase& c, std::ostream* os) { *os << c.name; }

class PercentileRank : public ::testing::TestWithParam<RankCase> {};

TEST_P(PercentileRank, NearestRank)
{
    EXPECT_EQ(lab::PercentileRank(GetParam().n, GetParam().p), GetParam().rank);
}

INSTANTIATE_TEST_SUITE_P(Counts, PercentileRank,
                         ::testing::Values(RankCase{"OneOfOne", 1, 1, 0}, RankCase{"NinetyNinthOfOne", 1, 99, 0},
                                           RankCase{"FirstOfHundred", 100, 1, 0},
                                           RankCase{"FirstOfHundredAndOne", 101, 1, 1},
                                           RankCase{"NinetyNinthOfHundred", 100, 99, 98},
                                           RankCase{"NinetyNinthOfThousand", 1000, 99, 989},
                                           RankCase{"NinetyNinthOfSixteen", 16, 99, 15},
                                           RankCase{"HundredthOfSeven", 7, 100, 6}),
                         [](const auto& info) { return info.param.name; });

// Selection by histogram against std::nth_element, on distributions that
// push the histogram: a peak holding nearly everything, a spread too wide to
// scale, values a unit in the last place apart, duplicates.
struct Distribution {
    std::string name;
    std::function<std::vector<double>()> values;
};

void PrintTo(const Distribution& c, std::ostream* os) { *os << c.name; }

class NearestRanks : public ::testing::TestWithParam<Distribution> {};

TEST_P(NearestRanks, EqualNthElement)
{
    const std::vector<double> v = GetParam().values();
    const std::vector<double> before = v;
    std::vector<double> scratch(v.size());
    const std::size_t n = v.size();
    const std::pair<std::size_t, std::size_t> pairs[] = {
        {0, n - 1}, {lab::PercentileRank(n, 1), lab::PercentileRank(n, 99)}, {n / 2, n / 2},
        {n / 3, std::min(n / 3 + 1, n - 1)}, {0, 0}, {n - 1, n - 1}};
    for (const auto& [low, high] : pairs) {
        std::vector<double> sorted = v;
        std::nth_element(sorted.begin(), sorted.begin() + low, sorted.end());
        const double wantLow = sorted[low];
        std::nth_element(sorted.begin(), sorted.begin() + high, sorted.end());
        const auto got = lab::NearestRanks(v.data(), n, low, high, scratch.data());
        EXPECT_EQ(got.first, wantLow) << "rank " << low;
        EXPECT_EQ(got.second, sorted[high]) << "rank " << high;
    }
    EXPECT_TRUE(SameBits(v, before)) << "the values were changed";
}

INSTANTIATE_TEST_SUITE_P(
    Distributions, NearestRanks,
    ::testing::Values(
        Distribution{"Uniform", [] { return Random(100000, 1, -5.0, 5.0); }},
        Distribution{"Few", [] { return Random(37, 2, 0.0, 1.0); }},
        Distribution{"One", [] { return std::vector<double>{2.5}; }},
        Distribution{"PeakHoldsNearlyAll",
                     [] {
                         std::vector<double> v = Random(200000, 3, -1e-9, 1e-9);
                         for (std::size_t i = 0; i < v.size(); i += 997)
                             v[i] = 1e12 + double(i);
                         return v;
                     }},
        Distribution{"SpreadTooWideToScale",
                     [] {
                         std::vector<double> v = Random(50000, 4, -1.0, 1.0);
                         v[7] = -1.5e308;
                         v[9] = 1.5e308;
                         return v;
                     }},
        Distribution{"UnitsInTheLastPlaceApart",
                     [] {
                         std::vector<double> v(60000);
                         double x = 1.0;
                         for (double& e : v)
                             e = x = std::nextafter(x, 2.0);
                         std::shuffle(v.begin(), v.end(), std::mt19937(5));
                         return v;
                     }},
        Distribution{"FewDistinctValues",
                     [] {
                         std::vector<double> v(70000);
                         std::mt19937 random(6);
                         for (double& e : v)
                             e = double(random() % 5) - 2.0;
                         return v;
                     }},
        Distribution{"AllEqual", [] { return std::vector<double>(9000, -3.25); }}),
    [](const auto& info) { return info.param.name; });

// Everything a lab shows: its tiles and its resemblance table.
struct Snapshot {
    std::vector<std::uint8_t> tiles[2][7];
    std::optional<double> rows[2][5][2];
    explicit Snapshot(const PhaseLab& lab)
    {
        for (int side = 0; side < 2; ++side) {
            for (int t = 0; t < 7; ++t)
                tiles[side][t] = Bytes(lab.Pixels(Side(side), AllTiles[t]));
            for (int r = 0; r < 5; ++r)
                for (int i = 0; i < 2; ++i)
                    rows[side][r][i] = lab.Resemblance(Side(side), AllRebuilds[r], Side(i));
        }
    }
    bool operator==(const Snapshot& o) const
    {
        for (int side = 0; side < 2; ++side) {
            for (int t = 0; t < 7; ++t)
                if (tiles[side][t] != o.tiles[side][t])
                    return false;
            for (int r = 0; r < 5; ++r)
                for (int i = 0; i < 2; ++i)
                    if (rows[side][r][i] != o.rows[side][r][i])
                        return false;
        }
        return true;
    }
};

// --- moving the mix -----------------------------------------------------------

class MovingTheMix : public ::testing::Test {
protected:
    static constexpr int W = 16, H = 8;
    Samples left = RandomSamples(W, H, true, 21), right = RandomSamples(W, H, false, 22);
    PhaseLab lab{left.data(), right.data(), W, H, 0.25};

    Snapshot Take() const { return Snapshot(lab); }
};

TEST_F(MovingTheMix, RecomputesTheMixesOnly)
{
    const Snapshot before = Take();
    lab.SetMix(0.7);
    EXPECT_EQ(lab.Mix(), 0.7);
    const Snapshot after = Take();
    const std::vector<double> inputs[2] = {AsDoubles(left), AsDoubles(right)};
    for (int side = 0; side < 2; ++side) {
        SCOPED_TRACE(side == 0 ? "left" : "right");
        for (int t = 0; t < 7; ++t) {
            if (AllTiles[t] != Tile::Mix) {
                EXPECT_EQ(after.tiles[side][t], before.tiles[side][t]) << "tile " << t;
            }
        }
        for (int r = 0; r < 5; ++r) {
            if (AllRebuilds[r] == Rebuild::Mix)
                continue;
            for (int i = 0; i < 2; ++i) {
                EXPECT_EQ(after.rows[side][r][i], before.rows[side][r][i]) << "row " << r;
            }
        }
        // The mix itself is the rebuild at the new mix.
        const std::vector<double> grid = Rebuilt(lab, Side(side), Rebuild::Mix, 0.7);
        EXPECT_EQ(after.tiles[side][int(Tile::Mix)], SortedStretch(RealParts(grid)));
        EXPECT_NE(after.tiles[side][int(Tile::Mix)], before.tiles[side][int(Tile::Mix)]);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(after.rows[side][int(Rebuild::Mix)][i],
                      lab::Correlation(grid.data() + 1, 2, inputs[i].data(), 1, inputs[i].size()));
    }
}

TEST_F(MovingTheMix, BackAndForthGivesTheSameMix)
{
    const Snapshot before = Take();
    lab.SetMix(0.9);
    lab.SetMix(0.25);
    const Snapshot again = Take();
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(again.tiles[side][int(Tile::Mix)], before.tiles[side][int(Tile::Mix)]);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(again.rows[side][int(Rebuild::Mix)][i], before.rows[side][int(Rebuild::Mix)][i]);
    }
}

TEST_F(MovingTheMix, NotANumberIsRefusedAndChangesNothing)
{
    const Snapshot before = Take();
    EXPECT_THROW(lab.SetMix(std::nan("")), std::invalid_argument);
    EXPECT_EQ(lab.Mix(), 0.25);
    EXPECT_EQ(Take().tiles[0][int(Tile::Mix)], before.tiles[0][int(Tile::Mix)]);
}

struct Clamp {
    std::string name;
    double mix, clamped;
};

void PrintTo(const Clamp& c, std::ostream* os) { *os << c.name; }

class MixClamps : public ::testing::TestWithParam<Clamp> {};

TEST_P(MixClamps, IntoZeroToOne)
{
    const Samples left = RandomSamples(8, 4, true, 31), right = RandomSamples(8, 4, true, 32);
    PhaseLab lab(left.data(), right.data(), 8, 4, 0.5);
    lab.SetMix(GetParam().mix);
    EXPECT_EQ(lab.Mix(), GetParam().clamped);
    const Tile end = GetParam().clamped == 0.0 ? Tile::Normal : Tile::Swap;
    for (Side side : {Side::Left, Side::Right})
        EXPECT_EQ(Bytes(lab.Pixels(side, Tile::Mix)), Bytes(lab.Pixels(side, end)));
    const PhaseLab opened(left.data(), right.data(), 8, 4, GetParam().mix);
    EXPECT_EQ(opened.Mix(), GetParam().clamped) << "the constructor clamps as well";
    EXPECT_TRUE(SameBits(Rebuilt(lab, Side::Left, Rebuild::Mix, GetParam().mix),
                         Rebuilt(lab, Side::Left, Rebuild::Mix, GetParam().clamped)))
        << "RebuildGrid clamps as well";
}

INSTANTIATE_TEST_SUITE_P(Mixes, MixClamps,
                         ::testing::Values(Clamp{"BelowZero", -0.5, 0.0}, Clamp{"AboveOne", 1.5, 1.0},
                                           Clamp{"MinusInfinity", -INFINITY, 0.0},
                                           Clamp{"PlusInfinity", INFINITY, 1.0}),
                         [](const auto& info) { return info.param.name; });

// --- rounding noise is not a picture -------------------------------------------

// One bright pixel: the rebuilds that are that pixel again carry rounding
// noise around 1e-16 of it elsewhere, which must show as the flat field it
// is, with the one dot on it.
TEST(NoiseIsFlat, OneBrightPixelShowsAsADotOnMidGray)
{
    // More than 100 pixels, so that the 99th percentile is not the dot.
    const int W = 16, H = 16;
    const Samples dot = Impulse(W, H, 3, 2, 255 * GrayUnit);
    const PhaseLab lab(dot.data(), dot.data(), W, H, 0.5);
    std::size_t noisy = 0;  // the fixture shows the fault only where there is noise
    for (const Rebuild rebuild : {Rebuild::Normal, Rebuild::PhaseOnly, Rebuild::MagnitudeOnly}) {
        const std::vector<double> values = RealParts(Rebuilt(lab, Side::Left, rebuild));
        for (double v : values)
            noisy += v != 0.0 && std::fabs(v) < 1e-6;
    }
    ASSERT_GT(noisy, 0u) << "no rounding noise to hide";
    const struct {
        const char* name;
        Tile tile;
        int x, y;  // where the dot shows
    } cases[] = {{"normal", Tile::Normal, 3, 2},
                 {"mix", Tile::Mix, 3, 2},
                 {"phase only", Tile::PhaseOnly, 3, 2},
                 {"magnitude only (centred)", Tile::MagnitudeOnly, W / 2, H / 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const lab::TilePixels tile = lab.Pixels(Side::Left, c.tile);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                EXPECT_EQ(*Pixel(tile, x, y), x == c.x && y == c.y ? 255 : 128)
                    << "pixel (" << x << ", " << y << ")";
    }
}

// --- labs at once -----------------------------------------------------------------

// A lab opens its two sides on two threads, and the transforms share a
// workspace and a spare. Labs opened at once on several threads (so that some
// transforms find both lent and run in place, and the sides interleave every
// way) must show exactly what a lab opened alone shows.
TEST(LabsAtOnce, ShowWhatALabAloneShows)
{
    for (const auto& [W, H] : {std::pair{64, 64}, std::pair{60, 45}}) {
        SCOPED_TRACE(Shape(W, H));
        const Samples left = RandomSamples(W, H, true, 71), right = RandomSamples(W, H, true, 73);
        const Snapshot alone(PhaseLab(left.data(), right.data(), W, H, 0.3));
        constexpr int Labs = 3;
        std::vector<std::optional<Snapshot>> shown(Labs);
        std::atomic<int> ready{0};
        const auto open = [&](int k) {
            ready.fetch_add(1);
            while (ready.load() < Labs) {
            }
            shown[k].emplace(PhaseLab(left.data(), right.data(), W, H, 0.3));
        };
        std::vector<std::thread> others;
        for (int k = 1; k < Labs; ++k)
            others.emplace_back(open, k);
        open(0);
        for (std::thread& t : others)
            t.join();
        for (int k = 0; k < Labs; ++k)
            EXPECT_TRUE(*shown[k] == alone) << "lab " << k;
    }
}

// --- any size -------------------------------------------------------------------

// The DFT written out in long double: the spectrum of N packed colours with
// the forward direction's exp(+2 pi i (kx x / W + ky y / H)).
std::vector<std::complex<long double>> LongDoubleSpectrum(const Samples& s, int W, int H)
{
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<std::complex<long double>> F(s.size());
    for (int ky = 0; ky < H; ++ky)
        for (int kx = 0; kx < W; ++kx) {
            std::complex<long double> sum = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const long double turn = (long double)((kx * x) % W) / W +
                                             (long double)((ky * y) % H) / H;
                    sum += (long double)s[std::size_t(y) * W + x] *
                           std::polar(1.0L, 2 * pi * turn);
                }
            F[std::size_t(ky) * W + kx] = sum;
        }
    return F;
}

struct Size {
    const char* name;
    int W, H;
    bool colour;
};

void PrintTo(const Size& c, std::ostream* os) { *os << c.name; }

class AnySize : public ::testing::TestWithParam<Size> {};

// Spectra as the definition gives them, and the Normal rebuild is the picture.
TEST_P(AnySize, SpectraAreTheDftsAndNormalGivesThePictureBack)
{
    const Size& c = GetParam();
    const Samples left = RandomSamples(c.W, c.H, c.colour, 41u + c.W);
    const Samples right = RandomSamples(c.W, c.H, c.colour, 43u + c.H);
    const PhaseLab lab(left.data(), right.data(), c.W, c.H);
    const auto F = LongDoubleSpectrum(left, c.W, c.H);
    long double top = 0;
    for (const auto& f : F)
        top = std::max(top, std::abs(f));
    for (std::size_t k = 0; k < F.size(); ++k) {
        ASSERT_NEAR(lab.Magnitudes(Side::Left)[k], double(std::abs(F[k])), 1e-12 * double(top))
            << "frequency " << k;
        if (std::abs(F[k]) > 1e-6 * top) {
            const double d = std::remainder(lab.Phases(Side::Left)[k] - double(std::arg(F[k])), 2 * Pi);
            ASSERT_NEAR(d, 0.0, 1e-9) << "phase of frequency " << k;
        }
    }
    const std::vector<double> normal = RealParts(Rebuilt(lab, Side::Left, Rebuild::Normal));
    for (std::size_t k = 0; k < left.size(); ++k)
        ASSERT_NEAR(normal[k], double(left[k]), 1e-9 * 16777216.0) << "pixel " << k;
    EXPECT_NEAR(*lab.Resemblance(Side::Left, Rebuild::Normal, Side::Left), 1.0, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Shapes, AnySize,
                         ::testing::Values(Size{"gray_3x5", 3, 5, false},
                                           Size{"colour_7x1", 7, 1, true},
                                           Size{"colour_12x7", 12, 7, true},
                                           Size{"gray_17x9", 17, 9, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- refused inputs -----------------------------------------------------------

struct Refusal {
    std::string name;
    int W, H;
    bool nullSamples;
    double mix;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, ThrowsInvalidArgument)
{
    const Refusal& c = GetParam();
    const Samples s(64, 1);
    EXPECT_THROW({ PhaseLab lab(c.nullSamples ? nullptr : s.data(), s.data(), c.W, c.H, c.mix); },
                 std::invalid_argument);
    if (!c.nullSamples && !std::isnan(c.mix)) {
        EXPECT_THROW(PhaseLab::BytesNeeded(c.W, c.H), std::invalid_argument);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Refused,
    ::testing::Values(Refusal{"ZeroWidth", 0, 4, false, 0.5}, Refusal{"NegativeHeight", 4, -4, false, 0.5},
                      Refusal{"MoreThanTheTransformTakes", 65536, 32768, false, 0.5},
                      Refusal{"OneRowMoreThanTheTransformTakes", 16384, 16385, false, 0.5},
                      Refusal{"NoSamples", 4, 4, true, 0.5},
                      Refusal{"MixNotANumber", 4, 4, false, std::nan("")}),
    [](const auto& info) { return info.param.name; });

// --- the fast sine and cosine -------------------------------------------------

struct PathCase {
    std::string name;
    lab::SinCosPath path;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class SinCosPath : public ::testing::TestWithParam<PathCase> {};

std::vector<double> Angles()
{
    std::vector<double> x = Random(200000, 9, -3 * Pi, 3 * Pi);
    for (double special : {0.0, -0.0, Pi, -Pi, Pi / 2, -Pi / 2, Pi / 4, 3 * Pi, -3 * Pi, 2 * Pi,
                           1e-300, -1e-20, 5 * Pi / 4, std::nextafter(Pi / 4, 1.0)})
        x.push_back(special);
    return x;
}

// Within two units in the last place of the true value.
TEST_P(SinCosPath, AccurateOnThreeTurnsBothWays)
{
    if (!lab::Supported(GetParam().path))
        GTEST_SKIP() << "this processor has no " << GetParam().name;
    const std::vector<double> x = Angles();
    std::vector<double> s(x.size()), c(x.size());
    lab::SinCos(GetParam().path, x.data(), s.data(), c.data(), x.size());
    const auto ulps = [](double got, long double truth) {
        const double t = double(truth);
        const double unit = std::nextafter(std::fabs(t), INFINITY) - std::fabs(t);
        return double(std::fabs((long double)got - truth) / unit);
    };
    for (std::size_t i = 0; i < x.size(); ++i) {
        ASSERT_LE(ulps(s[i], std::sin((long double)x[i])), 2.0) << "sin " << x[i];
        ASSERT_LE(ulps(c[i], std::cos((long double)x[i])), 2.0) << "cos " << x[i];
    }
}

TEST_P(SinCosPath, SameBitsAsScalar)
{
    if (!lab::Supported(GetParam().path))
        GTEST_SKIP() << "this processor has no " << GetParam().name;
    const std::vector<double> x = Angles();
    for (std::size_t n : {x.size(), std::size_t(3), std::size_t(1)}) {
        std::vector<double> s(n), c(n), s0(n), c0(n);
        lab::SinCos(GetParam().path, x.data(), s.data(), c.data(), n);
        lab::SinCos(lab::SinCosPath::Scalar, x.data(), s0.data(), c0.data(), n);
        EXPECT_TRUE(SameBits(s, s0)) << n << " sines";
        EXPECT_TRUE(SameBits(c, c0)) << n << " cosines";
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, SinCosPath,
                         ::testing::Values(PathCase{"Scalar", lab::SinCosPath::Scalar},
                                           PathCase{"Avx2", lab::SinCosPath::Avx2}),
                         [](const auto& info) { return info.param.name; });

// --- the mix toward a random phase, and by the weighted mean -------------------

using lab::MixRule;
using lab::MixSettings;
using lab::MixToward;

MixSettings Way(MixToward toward, MixRule rule, std::uint64_t seed = 1)
{
    MixSettings settings;
    settings.toward = toward;
    settings.rule = rule;
    settings.seed = seed;
    return settings;
}

const MixSettings Scrambling = Way(MixToward::RandomPhase, MixRule::WeightedMean);

std::vector<std::uint8_t> GrayLevels(int W, int H, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> levels(std::size_t(W) * std::size_t(H));
    for (auto& v : levels)
        v = std::uint8_t(random() & 0xff);
    return levels;
}

Samples GraySamples(const std::vector<std::uint8_t>& levels)
{
    Samples s(levels.size());
    for (std::size_t k = 0; k < s.size(); ++k)
        s[k] = GrayUnit * std::int32_t(levels[k]);
    return s;
}

// The scramble of a gray picture at coherence c before rounding, variant 1.
std::vector<double> Scrambled(const std::vector<std::uint8_t>& levels, int W, int H,
                              std::uint64_t seed, double c)
{
    const std::size_t N = levels.size();
    const stimuli::Scrambler picture(levels.data(), W, H, 1);
    std::vector<double> noise(2 * N + 1), grid(2 * N + 1);
    stimuli::NoisePhase(seed, 1, W, H, noise.data());
    stimuli::WeightedMeanRebuild(picture.Spectrum(0), nullptr, noise.data(), W, H, c, grid.data());
    return RealParts(grid);
}

double Largest(const std::vector<double>& values)
{
    double top = 0;
    for (double v : values)
        top = std::max(top, std::fabs(v));
    return top;
}

std::string MixName(double a) { return "mix " + std::to_string(a); }

// Toward the random phase by the weighted mean, the Mix of a gray picture at
// mix a is 65793 times its scramble at coherence 1 - a before rounding, the
// same seed's variant 1: the lab's phases and the scramble's are each other's
// negatives, so the rebuilds agree up to rounding (1e-12 of the largest value).
struct ScrambleCase {
    std::string name;
    int W, H;
    std::uint64_t seed;
};

void PrintTo(const ScrambleCase& c, std::ostream* os) { *os << c.name; }

class MixAsScramble : public ::testing::TestWithParam<ScrambleCase> {};

constexpr double ScrambleTolerance = 1e-12;

TEST_P(MixAsScramble, IsTheScrambleAtOneMinusTheMix)
{
    const ScrambleCase& c = GetParam();
    const std::vector<std::uint8_t> levels[2] = {GrayLevels(c.W, c.H, 5u + c.W),
                                                 GrayLevels(c.W, c.H, 7u + c.H)};
    const Samples left = GraySamples(levels[0]), right = GraySamples(levels[1]);
    PhaseLab lab(left.data(), right.data(), c.W, c.H);
    lab.SetMixSettings(Way(MixToward::RandomPhase, MixRule::WeightedMean, c.seed));
    for (double a : {0.0, 0.25, 0.5, 0.75, 1.0})
        for (Side side : {Side::Left, Side::Right}) {
            SCOPED_TRACE(MixName(a) + (side == Side::Left ? ", left" : ", right"));
            std::vector<double> want = Scrambled(levels[side == Side::Left ? 0 : 1], c.W, c.H,
                                                 c.seed, 1.0 - a);
            for (double& v : want)
                v *= GrayUnit;
            const std::vector<double> got = RealParts(Rebuilt(lab, side, Rebuild::Mix, a));
            const double tolerance = ScrambleTolerance * Largest(want);
            for (std::size_t k = 0; k < want.size(); ++k)
                ASSERT_NEAR(got[k], want[k], tolerance) << "pixel " << k;
        }
}

INSTANTIATE_TEST_SUITE_P(Shapes, MixAsScramble,
                         ::testing::Values(ScrambleCase{"Even8x8", 8, 8, 1},
                                           ScrambleCase{"Mixed12x7", 12, 7, 2024},
                                           ScrambleCase{"Odd5x3", 5, 3, 7},
                                           ScrambleCase{"Row16x1", 16, 1, 99},
                                           ScrambleCase{"Column1x6", 1, 6, 3},
                                           ScrambleCase{"Single1x1", 1, 1, 5},
                                           ScrambleCase{"LargeSeed9x4", 9, 4,
                                                        0xFFFFFFFFFFFFFFFFull}),
                         [](const auto& info) { return info.param.name; });

// A 2 x 1 picture has two real frequencies. Chosen so that its phase at
// frequency 1 is opposite the noise's, the weighted mean at 1/2 has no
// direction there and takes 0, as the scramble does: the spectrum becomes
// (a + b, |a - b|), the picture (max, min).
TEST(MixAsScramble, OppositePhasesAtHalfTakeDirectionZero)
{
    for (std::uint64_t seed : {1ull, 2ull, 3ull, 4ull}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const double u0 = stimuli::Uniform(stimuli::NoiseState(seed, 1, 0));
        const double u1 = stimuli::Uniform(stimuli::NoiseState(seed, 1, 1));
        // The noise's frequency 1 is u0 - u1: phase 0 when positive, pi when not.
        const std::vector<std::uint8_t> levels =
            u0 > u1 ? std::vector<std::uint8_t>{10, 200} : std::vector<std::uint8_t>{200, 10};
        const Samples picture = GraySamples(levels);
        PhaseLab lab(picture.data(), picture.data(), 2, 1);
        lab.SetMixSettings(Way(MixToward::RandomPhase, MixRule::WeightedMean, seed));
        const std::vector<double> got = RealParts(Rebuilt(lab, Side::Left, Rebuild::Mix, 0.5));
        const std::vector<double> scrambled = Scrambled(levels, 2, 1, seed, 0.5);
        const double want[2] = {200.0, 10.0};
        for (int k = 0; k < 2; ++k) {
            EXPECT_NEAR(scrambled[k], want[k], 1e-12 * 200) << "the scramble, pixel " << k;
            EXPECT_NEAR(got[k], want[k] * GrayUnit, 1e-12 * 200 * GrayUnit) << "pixel " << k;
        }
    }
}

// The weighted mean toward the other picture, written out: psi by atan2 from
// the library's sine and cosine, 0 where the weighted sum is shorter than the
// scramble's threshold.
std::vector<double> WeightedMeanReference(const PhaseLab& lab, Side side, double a)
{
    const int W = lab.Width(), H = lab.Height();
    const std::size_t N = std::size_t(W) * std::size_t(H);
    const double* m = lab.Magnitudes(side);
    const double* p = lab.Phases(side);
    const double* q = lab.Phases(lab::Other(side));
    std::vector<double> g(2 * N + 1, 0.0);
    for (std::size_t k = 0; k < N; ++k) {
        const double x = (1 - a) * std::cos(p[k]) + a * std::cos(q[k]);
        const double y = (1 - a) * std::sin(p[k]) + a * std::sin(q[k]);
        const double psi = std::hypot(x, y) < stimuli::NoDirection ? 0.0 : std::atan2(y, x);
        g[2 * k + 1] = m[k] * std::cos(psi);
        g[2 * k + 2] = m[k] * std::sin(psi);
    }
    const std::uint32_t dims[3] = {0, std::uint32_t(H), std::uint32_t(W)};
    fourier::Dft(g.data(), dims, 2, -1);
    for (double& v : g)
        v /= double(N);
    return g;
}

class WeightedMeanTowardOther : public ::testing::TestWithParam<MixPoint> {};

TEST_P(WeightedMeanTowardOther, IsTheAtan2OfTheWeightedPhasors)
{
    const MixPoint& c = GetParam();
    const Samples left = RandomSamples(c.W, c.H, true, 51), right = RandomSamples(c.W, c.H, false, 52);
    PhaseLab lab(left.data(), right.data(), c.W, c.H);
    lab.SetMixSettings(Way(MixToward::OtherPicture, MixRule::WeightedMean));
    for (Side side : {Side::Left, Side::Right}) {
        SCOPED_TRACE(side == Side::Left ? "left" : "right");
        const std::vector<double> want = WeightedMeanReference(lab, side, c.a);
        const std::vector<double> got = Rebuilt(lab, side, Rebuild::Mix, c.a);
        const double tolerance = 1e-12 * Largest(want);
        for (std::size_t i = 1; i < want.size(); ++i)
            ASSERT_NEAR(got[i], want[i], tolerance) << "double " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Mixes, WeightedMeanTowardOther,
                         ::testing::Values(MixPoint{"Third16x16", 16, 16, 1.0 / 3},
                                           MixPoint{"Half12x7", 12, 7, 0.5},
                                           MixPoint{"NearlyOther5x3", 5, 3, 0.9}),
                         [](const auto& info) { return info.param.name; });

// The ends of every way: at mix 0 the Normal rebuild, at 1 the Swap toward
// the other picture and the random phase itself toward it, whatever the rule:
// bit for bit, and the tiles and rows with them.
struct WayCase {
    std::string name;
    MixToward toward;
    MixRule rule;
};

void PrintTo(const WayCase& c, std::ostream* os) { *os << c.name; }

class EndsOfEveryWay : public ::testing::TestWithParam<WayCase> {};

TEST_P(EndsOfEveryWay, AreNormalAndTheTarget)
{
    const WayCase& c = GetParam();
    constexpr int W = 12, H = 7;
    const Samples left = RandomSamples(W, H, true, 61), right = RandomSamples(W, H, true, 62);
    PhaseLab lab(left.data(), right.data(), W, H, 0.0);
    lab.SetMixSettings(Way(c.toward, c.rule, 17));
    PhaseLab other(left.data(), right.data(), W, H, 0.0);
    other.SetMixSettings(Way(c.toward, c.rule == MixRule::WeightedMean ? MixRule::ShortWayRound
                                                                       : MixRule::WeightedMean,
                             17));
    for (Side side : {Side::Left, Side::Right}) {
        SCOPED_TRACE(side == Side::Left ? "left" : "right");
        EXPECT_TRUE(SameBits(Rebuilt(lab, side, Rebuild::Mix, 0.0), Rebuilt(lab, side, Rebuild::Normal)))
            << "mix at 0";
        EXPECT_EQ(Bytes(lab.Pixels(side, Tile::Mix)), Bytes(lab.Pixels(side, Tile::Normal)));
        const std::vector<double> one = Rebuilt(lab, side, Rebuild::Mix, 1.0);
        EXPECT_TRUE(SameBits(one, Rebuilt(other, side, Rebuild::Mix, 1.0)))
            << "mix at 1 by the other rule";
        if (c.toward == MixToward::OtherPicture) {
            EXPECT_TRUE(SameBits(one, Rebuilt(lab, side, Rebuild::Swap))) << "mix at 1";
        }
    }
    lab.SetMix(1.0);
    for (Side side : {Side::Left, Side::Right}) {
        SCOPED_TRACE(side == Side::Left ? "left, tile at 1" : "right, tile at 1");
        const std::vector<double> one = Rebuilt(lab, side, Rebuild::Mix, 1.0);
        EXPECT_EQ(Bytes(lab.Pixels(side, Tile::Mix)), SortedStretch(RealParts(one)));
        if (c.toward == MixToward::OtherPicture) {
            EXPECT_EQ(Bytes(lab.Pixels(side, Tile::Mix)), Bytes(lab.Pixels(side, Tile::Swap)));
            for (Side input : {Side::Left, Side::Right})
                EXPECT_EQ(lab.Resemblance(side, Rebuild::Mix, input),
                          lab.Resemblance(side, Rebuild::Swap, input));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, EndsOfEveryWay,
    ::testing::Values(WayCase{"OtherShortWay", MixToward::OtherPicture, MixRule::ShortWayRound},
                      WayCase{"OtherWeightedMean", MixToward::OtherPicture, MixRule::WeightedMean},
                      WayCase{"RandomShortWay", MixToward::RandomPhase, MixRule::ShortWayRound},
                      WayCase{"RandomWeightedMean", MixToward::RandomPhase, MixRule::WeightedMean}),
    [](const auto& info) { return info.param.name; });

// Settings there and back: the ends are today's bytes again, the main
// command's (the other tests of MixEnds hold them at the defaults).
TEST_P(MixEnds, BackToTheDefaultSettingsGivesTodaysTiles)
{
    const Pair& c = GetParam();
    PhaseLab lab(left.data(), right.data(), c.W, c.H, 1.0);
    const auto check = [&](const MainResult& main, Tile end, const char* what) {
        for (Side side : {Side::Left, Side::Right}) {
            SCOPED_TRACE(std::string(what) + (side == Side::Left ? ", left" : ", right"));
            const auto want = SortedStretch(RealParts(side == Side::Left ? main.left : main.right));
            EXPECT_EQ(Bytes(lab.Pixels(side, Tile::Mix)), want);
            EXPECT_EQ(Bytes(lab.Pixels(side, end)), want);
        }
    };
    lab.SetMixSettings(Scrambling);
    lab.SetMixSettings(MixSettings{});
    check(swapped, Tile::Swap, "at 1");
    lab.SetMixSettings(Way(MixToward::OtherPicture, MixRule::WeightedMean));
    lab.SetMix(0.0);
    lab.SetMixSettings(Scrambling);
    check(normal, Tile::Normal, "at 0, scrambling");
    lab.SetMixSettings(MixSettings{});
    check(normal, Tile::Normal, "at 0");
    EXPECT_TRUE(SameBits(Rebuilt(lab, Side::Left, Rebuild::Mix, 1.0), swapped.left));
}

// Toward the random phase the magnitudes stay the picture's own: the forward
// transform of the rebuild (real and imaginary parts) has the lab's
// magnitudes, and for the weighted mean, whose phase is odd-symmetric, so
// does that of its real parts alone, which is the picture. 1e-12 of the
// largest magnitude.
struct KeptCase {
    std::string name;
    int W, H;
    MixRule rule;
    double a;
};

void PrintTo(const KeptCase& c, std::ostream* os) { *os << c.name; }

class RandomPhaseKeepsMagnitude : public ::testing::TestWithParam<KeptCase> {};

TEST_P(RandomPhaseKeepsMagnitude, ForwardTransformOfTheRebuild)
{
    const KeptCase& c = GetParam();
    const Samples left = RandomSamples(c.W, c.H, true, 71), right = RandomSamples(c.W, c.H, false, 72);
    PhaseLab lab(left.data(), right.data(), c.W, c.H);
    lab.SetMixSettings(Way(MixToward::RandomPhase, c.rule, 1234));
    const std::uint32_t dims[3] = {0, std::uint32_t(c.H), std::uint32_t(c.W)};
    for (Side side : {Side::Left, Side::Right}) {
        SCOPED_TRACE(side == Side::Left ? "left" : "right");
        const double* magnitude = lab.Magnitudes(side);
        const std::size_t N = std::size_t(c.W) * std::size_t(c.H);
        const double tolerance = 1e-12 * *std::max_element(magnitude, magnitude + N);
        std::vector<double> whole = Rebuilt(lab, side, Rebuild::Mix, c.a);
        std::vector<double> real(whole.size(), 0.0);
        for (std::size_t k = 0; k < N; ++k)
            real[2 * k + 1] = whole[2 * k + 1];
        fourier::Dft(whole.data(), dims, 2, +1);
        fourier::Dft(real.data(), dims, 2, +1);
        for (std::size_t k = 0; k < N; ++k) {
            ASSERT_NEAR(std::hypot(whole[2 * k + 1], whole[2 * k + 2]), magnitude[k], tolerance)
                << "frequency " << k;
            if (c.rule == MixRule::WeightedMean) {
                ASSERT_NEAR(std::hypot(real[2 * k + 1], real[2 * k + 2]), magnitude[k], tolerance)
                    << "frequency " << k << " of the real parts";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mixes, RandomPhaseKeepsMagnitude,
    ::testing::Values(KeptCase{"WeightedMeanHalf8x8", 8, 8, MixRule::WeightedMean, 0.5},
                      KeptCase{"WeightedMeanTenth12x7", 12, 7, MixRule::WeightedMean, 0.1},
                      KeptCase{"WeightedMeanAll5x3", 5, 3, MixRule::WeightedMean, 1.0},
                      KeptCase{"ShortWayHalf8x8", 8, 8, MixRule::ShortWayRound, 0.5},
                      KeptCase{"ShortWayMost12x7", 12, 7, MixRule::ShortWayRound, 0.8},
                      KeptCase{"ShortWayAll5x3", 5, 3, MixRule::ShortWayRound, 1.0}),
    [](const auto& info) { return info.param.name; });

// The seed chooses the random phase: another seed, another Mix; the same
// seed, the same bits, drawn again or in another lab.
struct SeedCase {
    std::string name;
    MixRule rule;
};

void PrintTo(const SeedCase& c, std::ostream* os) { *os << c.name; }

class RandomPhaseSeed : public ::testing::TestWithParam<SeedCase> {};

TEST_P(RandomPhaseSeed, ChoosesTheMix)
{
    constexpr int W = 9, H = 6;
    const Samples left = RandomSamples(W, H, false, 81), right = RandomSamples(W, H, true, 82);
    PhaseLab lab(left.data(), right.data(), W, H, 0.4);
    const MixRule rule = GetParam().rule;
    lab.SetMixSettings(Way(MixToward::RandomPhase, rule, 5));
    const std::vector<double> five = Rebuilt(lab, Side::Left, Rebuild::Mix, 0.4);
    const auto fiveTile = Bytes(lab.Pixels(Side::Left, Tile::Mix));
    lab.SetMixSettings(Way(MixToward::RandomPhase, rule, 6));
    EXPECT_FALSE(SameBits(Rebuilt(lab, Side::Left, Rebuild::Mix, 0.4), five)) << "seed 6";
    EXPECT_NE(Bytes(lab.Pixels(Side::Left, Tile::Mix)), fiveTile) << "seed 6";
    lab.SetMixSettings(Way(MixToward::OtherPicture, rule, 6));
    lab.SetMixSettings(Way(MixToward::RandomPhase, rule, 5));
    EXPECT_TRUE(SameBits(Rebuilt(lab, Side::Left, Rebuild::Mix, 0.4), five)) << "seed 5 again";
    EXPECT_EQ(Bytes(lab.Pixels(Side::Left, Tile::Mix)), fiveTile) << "seed 5 again";
    PhaseLab another(left.data(), right.data(), W, H, 0.4);
    another.SetMixSettings(Way(MixToward::RandomPhase, rule, 5));
    EXPECT_TRUE(SameBits(Rebuilt(another, Side::Left, Rebuild::Mix, 0.4), five)) << "another lab";
    EXPECT_EQ(Bytes(another.Pixels(Side::Left, Tile::Mix)), fiveTile) << "another lab";
}

INSTANTIATE_TEST_SUITE_P(Rules, RandomPhaseSeed,
                         ::testing::Values(SeedCase{"ShortWayRound", MixRule::ShortWayRound},
                                           SeedCase{"WeightedMean", MixRule::WeightedMean}),
                         [](const auto& info) { return info.param.name; });

// New settings recompute the Mix rebuilds (tiles and rows as RebuildGrid
// gives them), and leave every other tile and row as it was.
TEST_F(MovingTheMix, NewSettingsRecomputeTheMixesOnly)
{
    const Snapshot first = Take();
    EXPECT_EQ(lab.GetMixSettings(), MixSettings{}) << "the constructor's settings";
    const std::vector<double> inputs[2] = {AsDoubles(left), AsDoubles(right)};
    const MixSettings ways[] = {Way(MixToward::RandomPhase, MixRule::WeightedMean, 3),
                                Way(MixToward::RandomPhase, MixRule::ShortWayRound, 3),
                                Way(MixToward::RandomPhase, MixRule::ShortWayRound, 4),
                                Way(MixToward::OtherPicture, MixRule::WeightedMean, 4),
                                MixSettings{}};
    for (std::size_t w = 0; w < std::size(ways); ++w) {
        SCOPED_TRACE("settings " + std::to_string(w));
        const Snapshot before = Take();
        lab.SetMixSettings(ways[w]);
        EXPECT_EQ(lab.GetMixSettings(), ways[w]);
        EXPECT_EQ(lab.Mix(), 0.25);
        const Snapshot after = Take();
        for (int side = 0; side < 2; ++side) {
            SCOPED_TRACE(side == 0 ? "left" : "right");
            for (int t = 0; t < 7; ++t) {
                if (AllTiles[t] != Tile::Mix) {
                    EXPECT_EQ(after.tiles[side][t], before.tiles[side][t]) << "tile " << t;
                }
            }
            for (int r = 0; r < 5; ++r) {
                if (AllRebuilds[r] == Rebuild::Mix)
                    continue;
                for (int i = 0; i < 2; ++i) {
                    EXPECT_EQ(after.rows[side][r][i], before.rows[side][r][i]) << "row " << r;
                }
            }
            const std::vector<double> grid = Rebuilt(lab, Side(side), Rebuild::Mix, 0.25);
            EXPECT_EQ(after.tiles[side][int(Tile::Mix)], SortedStretch(RealParts(grid)));
            EXPECT_NE(after.tiles[side][int(Tile::Mix)], before.tiles[side][int(Tile::Mix)]);
            for (int i = 0; i < 2; ++i)
                EXPECT_EQ(after.rows[side][int(Rebuild::Mix)][i],
                          lab::Correlation(grid.data() + 1, 2, inputs[i].data(), 1,
                                           inputs[i].size()));
        }
    }
    const Snapshot last = Take();
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(last.tiles[side][int(Tile::Mix)], first.tiles[side][int(Tile::Mix)])
            << "back to the defaults, side " << side;
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(last.rows[side][int(Rebuild::Mix)][i], first.rows[side][int(Rebuild::Mix)][i]);
    }
}

TEST_F(MovingTheMix, UnknownSettingsAreRefusedAndChangeNothing)
{
    lab.SetMixSettings(Scrambling);
    const Snapshot before = Take();
    MixSettings bad = Way(MixToward::OtherPicture, MixRule::WeightedMean, 8);
    bad.toward = MixToward(2);
    EXPECT_THROW(lab.SetMixSettings(bad), std::invalid_argument);
    bad = Way(MixToward::OtherPicture, MixRule::WeightedMean, 8);
    bad.rule = MixRule(-1);
    EXPECT_THROW(lab.SetMixSettings(bad), std::invalid_argument);
    EXPECT_EQ(lab.GetMixSettings(), Scrambling);
    for (int side = 0; side < 2; ++side)
        EXPECT_EQ(Take().tiles[side][int(Tile::Mix)], before.tiles[side][int(Tile::Mix)]);
}


}  // namespace
