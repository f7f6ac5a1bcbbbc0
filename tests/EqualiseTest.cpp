// Tests of the equalising engine against oracles written from the steps'
// definitions: long double transforms, literal rankings, written-out sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "stimuli/Equalise.h"
#include "stimuli/EqualiseMeasures.h"
#include "stimuli/SplitMix64.h"
#include "stimuli/Ssim.h"

namespace {

using stimuli::PictureSet;
using stimuli::Rescale;
using stimuli::Step;

using Levels = std::vector<std::uint8_t>;
using Complex = std::pair<long double, long double>;

// A set of K pictures W x H with random levels in [low, high].
PictureSet RandomSet(int W, int H, std::size_t K, int low, int high, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> level(low, high);
    PictureSet set(W, H, K);
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t i = 0; i < set.Pixels(); ++i)
            set.Levels(k)[i] = std::uint8_t(level(random));
    return set;
}

// A set given level by level: one vector a picture.
PictureSet SetOf(int W, int H, const std::vector<Levels>& pictures)
{
    PictureSet set(W, H, pictures.size());
    for (std::size_t k = 0; k < pictures.size(); ++k)
        std::copy(pictures[k].begin(), pictures[k].end(), set.Levels(k));
    return set;
}

Levels Picture(const PictureSet& set, std::size_t k)
{
    return Levels(set.Levels(k), set.Levels(k) + set.Pixels());
}

// A disc of used pixels in the middle, with a ragged edge: about half.
Levels DiscMask(int W, int H)
{
    Levels mask(std::size_t(W) * std::size_t(H));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double dx = x - (W - 1) / 2.0, dy = y - (H - 1) / 2.0;
            mask[std::size_t(y) * std::size_t(W) + std::size_t(x)] =
                std::uint8_t(dx * dx + dy * dy <= W * H / 5.0 ? 1 + (x % 200) : 0);
        }
    return mask;
}

// The DFT with exp(-i ...), literally, in long double: F[v][u] = sum over
// rows y and columns x of p[y][x] exp(-2 pi i (u x / W + v y / H)).
std::vector<Complex> LiteralDft(const std::vector<long double>& p, int W, int H)
{
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<Complex> F(std::size_t(W) * std::size_t(H));
    for (int v = 0; v < H; ++v)
        for (int u = 0; u < W; ++u) {
            long double re = 0, im = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const long double angle =
                        -2 * pi * ((long double)(u * x % W) / W + (long double)(v * y % H) / H);
                    re += p[std::size_t(y) * std::size_t(W) + std::size_t(x)] * std::cos(angle);
                    im += p[std::size_t(y) * std::size_t(W) + std::size_t(x)] * std::sin(angle);
                }
            F[std::size_t(v) * std::size_t(W) + std::size_t(u)] = {re, im};
        }
    return F;
}

std::vector<long double> AsLongDouble(const std::uint8_t* levels, std::size_t n)
{
    return std::vector<long double>(levels, levels + n);
}

long double Abs(const Complex& c) { return std::sqrt(c.first * c.first + c.second * c.second); }

// ----------------------------------------------------------------------------
// lum

struct LumCase {
    const char* name;
    int W, H;
    std::size_t K;
    int low, high;  // the random levels' range: no output reaches 0 or 255
    bool masked;
};

void PrintTo(const LumCase& c, std::ostream* os) { *os << c.name; }

class Luminance : public ::testing::TestWithParam<LumCase> {};

// Every output's mean is M and its deviation S to within the rounding (each
// level moves by at most 1/2); with a mask over the used pixels only, and the
// pixels outside keep their levels.
TEST_P(Luminance, GivesEveryPictureTheSetsMeanAndDeviation)
{
    const LumCase& c = GetParam();
    PictureSet set = RandomSet(c.W, c.H, c.K, c.low, c.high, 17);
    // Different contrasts and means, as in a real set.
    for (std::size_t k = 0; k < c.K; ++k)
        for (std::size_t i = 0; i < set.Pixels(); ++i)
            set.Levels(k)[i] = std::uint8_t(set.Levels(k)[i] / (k + 1) + 20 * k);
    const PictureSet before = set;
    const Levels mask = c.masked ? DiscMask(c.W, c.H) : Levels();
    const std::uint8_t* m = c.masked ? mask.data() : nullptr;
    const auto used = [&](std::size_t i) { return !m || m[i]; };
    const auto moments = [&](const std::uint8_t* x) {
        long double sum = 0, count = 0;
        for (std::size_t i = 0; i < set.Pixels(); ++i)
            if (used(i)) {
                sum += x[i];
                count += 1;
            }
        const long double mean = sum / count;
        long double squares = 0;
        for (std::size_t i = 0; i < set.Pixels(); ++i)
            if (used(i))
                squares += (x[i] - mean) * (x[i] - mean);
        return std::pair<long double, long double>(mean, std::sqrt(squares / (count - 1)));
    };
    long double M = 0, S = 0, count = 0;
    for (std::size_t k = 0; k < c.K; ++k) {
        M += moments(before.Levels(k)).first / c.K;
        S += moments(before.Levels(k)).second / c.K;
    }
    for (std::size_t i = 0; i < set.Pixels(); ++i)
        count += used(i);
    stimuli::MatchLuminance(set, m, 2);
    const long double slack = 0.5L * std::sqrt(count / (count - 1));
    for (std::size_t k = 0; k < c.K; ++k) {
        const auto [mean, deviation] = moments(set.Levels(k));
        EXPECT_NEAR(double(mean), double(M), 0.5) << "picture " << k;
        EXPECT_NEAR(double(deviation), double(S), double(slack)) << "picture " << k;
        for (std::size_t i = 0; i < set.Pixels(); ++i)
            if (!used(i)) {
                ASSERT_EQ(set.Levels(k)[i], before.Levels(k)[i]) << "picture " << k << ", pixel " << i;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Luminance,
                         ::testing::Values(LumCase{"three_16x12", 16, 12, 3, 60, 180, false},
                                           LumCase{"five_7x9", 7, 9, 5, 80, 160, false},
                                           LumCase{"three_16x12_masked", 16, 12, 3, 60, 180, true},
                                           LumCase{"four_33x20_masked", 33, 20, 4, 70, 170, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Written out: a constant picture becomes M; the other's +-10 around 10 with
// deviation 2 S becomes +-5 around M.
TEST(LuminanceWrittenOut, ConstantPictureBecomesTheMean)
{
    PictureSet set = SetOf(2, 2, {{10, 10, 10, 10}, {0, 20, 0, 20}});
    stimuli::MatchLuminance(set, nullptr, 1);
    EXPECT_EQ(Picture(set, 0), (Levels{10, 10, 10, 10}));
    EXPECT_EQ(Picture(set, 1), (Levels{5, 15, 5, 15}));
}

// ----------------------------------------------------------------------------
// hist

struct TargetCase {
    const char* name;
    int W, H;
    std::vector<Levels> pictures;
    std::vector<std::pair<int, std::uint32_t>> target;  // (level, count), the rest 0
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class Target : public ::testing::TestWithParam<TargetCase> {};

TEST_P(Target, IsTheMeanHistogramByLargestRemainder)
{
    const TargetCase& c = GetParam();
    const std::vector<std::uint32_t> target = stimuli::TargetHistogram(SetOf(c.W, c.H, c.pictures), nullptr);
    std::vector<std::uint32_t> expected(256, 0);
    for (const auto& [level, count] : c.target)
        expected[std::size_t(level)] = count;
    for (int l = 0; l < 256; ++l)
        EXPECT_EQ(target[std::size_t(l)], expected[std::size_t(l)]) << "level " << l;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Target,
    ::testing::Values(
        // 5/3, 3/3, 4/3: floors 1, 1, 1; the one left goes to level 0 (remainder 2).
        TargetCase{"largest_remainder", 2, 2, {{0, 0, 0, 1}, {0, 0, 1, 1}, {2, 2, 2, 2}}, {{0, 2}, {1, 1}, {2, 1}}},
        // 3/2, 3/2, 2/2: levels 0 and 1 tie; the lower one gets the pixel left.
        TargetCase{"tie_to_lower_level", 2, 2, {{0, 0, 1, 2}, {0, 1, 1, 2}}, {{0, 2}, {1, 1}, {2, 1}}},
        // Means 1/3 each on levels 10, 20, 30 of a one-pixel set: level 10.
        TargetCase{"three_thirds", 1, 1, {{10}, {20}, {30}}, {{10, 1}}},
        TargetCase{"equal_pictures", 3, 1, {{7, 7, 200}, {7, 200, 7}}, {{7, 2}, {200, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The ranking, literally: the used pixels sorted by (level, key), and the r-th
// given the lowest level whose cumulative target count exceeds r.
Levels LiteralHistogramMatch(const std::uint8_t* x, std::size_t n, const std::uint8_t* mask,
                             const std::vector<std::uint32_t>& target, std::uint64_t seed)
{
    std::vector<std::size_t> pixels;
    for (std::size_t i = 0; i < n; ++i)
        if (!mask || mask[i])
            pixels.push_back(i);
    std::sort(pixels.begin(), pixels.end(), [&](std::size_t a, std::size_t b) {
        if (x[a] != x[b])
            return x[a] < x[b];
        return stimuli::SplitMix64(stimuli::NoiseState(seed, 0, a)) <
               stimuli::SplitMix64(stimuli::NoiseState(seed, 0, b));
    });
    Levels out(x, x + n);
    for (std::size_t r = 0; r < pixels.size(); ++r) {
        std::uint64_t cumulative = 0;
        int level = 0;
        for (; level < 256; ++level) {
            cumulative += target[std::size_t(level)];
            if (cumulative > r)
                break;
        }
        out[pixels[r]] = std::uint8_t(level);
    }
    return out;
}

struct HistCase {
    const char* name;
    int W, H;
    std::size_t K;
    int low, high;  // few levels: many ties
    bool masked;
    std::uint64_t seed;
};

void PrintTo(const HistCase& c, std::ostream* os) { *os << c.name; }

class Histogram : public ::testing::TestWithParam<HistCase> {};

// Every output has exactly the target histogram on its used pixels, each pixel
// is where the literal ranking puts it, and pixels outside the mask keep theirs.
TEST_P(Histogram, GivesEveryPictureTheTargetByTheLiteralRanking)
{
    const HistCase& c = GetParam();
    PictureSet set = RandomSet(c.W, c.H, c.K, c.low, c.high, 23);
    for (std::size_t k = 0; k < c.K; ++k)
        for (std::size_t i = 0; i < set.Pixels(); ++i)
            set.Levels(k)[i] = std::uint8_t(set.Levels(k)[i] + 3 * k);
    const PictureSet before = set;
    const Levels mask = c.masked ? DiscMask(c.W, c.H) : Levels();
    const std::uint8_t* m = c.masked ? mask.data() : nullptr;
    const std::vector<std::uint32_t> target = stimuli::TargetHistogram(before, m);
    stimuli::MatchHistogram(set, m, c.seed, 2);
    for (std::size_t k = 0; k < c.K; ++k) {
        SCOPED_TRACE("picture " + std::to_string(k));
        std::vector<std::uint32_t> histogram(256, 0);
        for (std::size_t i = 0; i < set.Pixels(); ++i)
            if (!m || m[i])
                ++histogram[set.Levels(k)[i]];
        EXPECT_EQ(histogram, target);
        const Levels expected = LiteralHistogramMatch(before.Levels(k), set.Pixels(), m, target, c.seed);
        for (std::size_t i = 0; i < set.Pixels(); ++i)
            ASSERT_EQ(set.Levels(k)[i], expected[i]) << "pixel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Histogram,
                         ::testing::Values(HistCase{"three_16x12_few_levels", 16, 12, 3, 0, 4, false, 1},
                                           HistCase{"four_31x17_wide", 31, 17, 4, 0, 250, false, 99},
                                           HistCase{"three_16x12_masked", 16, 12, 3, 0, 4, true, 5},
                                           HistCase{"two_40x30_masked", 40, 30, 2, 100, 110, true, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// Ties: a flat picture's pixels are ranked by their keys alone. The seed
// decides which pixels come first: the same seed gives the same picture, and
// another seed another.
TEST(HistogramTies, FollowTheSeedReproducibly)
{
    const int W = 16, H = 16;
    const std::size_t n = std::size_t(W) * H;
    const auto run = [&](std::uint64_t seed) {
        PictureSet set = SetOf(W, H, {Levels(n, 5), Levels(n, 7)});
        stimuli::MatchHistogram(set, nullptr, seed, 1);
        return Picture(set, 0);
    };
    const Levels first = run(42);
    EXPECT_EQ(run(42), first);
    EXPECT_NE(run(43), first);
    // Half the pixels go to each level: those of the 128 smallest keys to 5.
    std::vector<std::uint64_t> keys(n);
    for (std::size_t i = 0; i < n; ++i)
        keys[i] = stimuli::SplitMix64(stimuli::NoiseState(42, 0, i));
    std::vector<std::uint64_t> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < n; ++i)
        EXPECT_EQ(first[i], keys[i] < sorted[n / 2] ? 5 : 7) << "pixel " << i;
}

// ----------------------------------------------------------------------------
// the spectrum steps

struct SpectrumCase {
    const char* name;
    int W, H;
    std::size_t K;
};

void PrintTo(const SpectrumCase& c, std::ostream* os) { *os << c.name; }

class Spectra : public ::testing::TestWithParam<SpectrumCase> {};

// The relative agreement of double transforms with the long double oracle.
constexpr long double Close = 1e-10L;

// Amplitude: every output, before the rescale, has the set's mean amplitude T and
// keeps its own phase.
TEST_P(Spectra, AmplitudeStepGivesEveryPictureTheMeanAmplitude)
{
    const SpectrumCase& c = GetParam();
    const PictureSet set = RandomSet(c.W, c.H, c.K, 0, 255, 31);
    const std::size_t n = set.Pixels();
    std::vector<std::vector<Complex>> F(c.K);
    std::vector<long double> T(n, 0);
    for (std::size_t k = 0; k < c.K; ++k) {
        F[k] = LiteralDft(AsLongDouble(set.Levels(k), n), c.W, c.H);
        for (std::size_t i = 0; i < n; ++i)
            T[i] += Abs(F[k][i]) / c.K;
    }
    const long double scale = *std::max_element(T.begin(), T.end());
    std::size_t seen = 0;
    stimuli::SpectrumValues(set, 2, [&](std::size_t k, const double* values) {
        ++seen;
        const std::vector<Complex> G = LiteralDft(std::vector<long double>(values, values + n), c.W, c.H);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_NEAR(double(Abs(G[i])), double(T[i]), double(Close * scale)) << "picture " << k << ", element " << i;
            // The phase: G_k is F_k scaled by a positive factor.
            const long double cross = G[i].first * F[k][i].second - G[i].second * F[k][i].first;
            ASSERT_NEAR(double(cross / scale / scale), 0.0, double(Close)) << "picture " << k << ", element " << i;
        }
    });
    EXPECT_EQ(seen, c.K);
}

// Elements that are 0 in exact arithmetic (a picture of vertical stripes has
// nothing at any vertical frequency) have no phase: they get T with phase 0,
// a real positive value, not T turned by the phase of the transform's rounding
// noise.
TEST_P(Spectra, AmplitudeStepGivesZeroElementsTheMeanAmplitudeWithPhaseZero)
{
    const SpectrumCase& c = GetParam();
    PictureSet set = RandomSet(c.W, c.H, c.K, 0, 255, 43);
    for (int y = 1; y < c.H; ++y)
        std::copy(set.Levels(0), set.Levels(0) + c.W, set.Levels(0) + std::size_t(y) * std::size_t(c.W));
    const std::size_t n = set.Pixels();
    std::vector<std::vector<Complex>> F(c.K);
    std::vector<long double> T(n, 0);
    for (std::size_t k = 0; k < c.K; ++k) {
        F[k] = LiteralDft(AsLongDouble(set.Levels(k), n), c.W, c.H);
        for (std::size_t i = 0; i < n; ++i)
            T[i] += (std::size_t(i) < std::size_t(c.W) || k > 0 ? Abs(F[k][i]) : 0) / c.K;
    }
    const long double scale = *std::max_element(T.begin(), T.end());
    stimuli::SpectrumValues(set, 1, [&](std::size_t k, const double* values) {
        if (k != 0)
            return;
        const std::vector<Complex> G = LiteralDft(std::vector<long double>(values, values + n), c.W, c.H);
        for (std::size_t i = std::size_t(c.W); i < n; ++i) {
            ASSERT_NEAR(double(G[i].first), double(T[i]), double(Close * scale)) << "element " << i;
            ASSERT_NEAR(double(G[i].second), 0.0, double(Close * scale)) << "element " << i;
        }
    });
}

// The ring of a centred frequency (u, v), from the definition.
int LiteralRing(long long u, long long v) { return int(std::llround(std::sqrt((long double)(u * u + v * v)))); }

// Rings: every output, before the rescale, has the set's ring sums: the mean
// over the set of each ring's summed amplitude.
TEST_P(Spectra, RingStepGivesEveryPictureTheSetsRingSums)
{
    const SpectrumCase& c = GetParam();
    const PictureSet set = RandomSet(c.W, c.H, c.K, 0, 255, 37);
    const std::size_t n = set.Pixels();
    // The element of each centred frequency: u in [-floor(W/2), ceil(W/2)).
    std::vector<int> ring(n);
    for (long long v = -(c.H / 2); v < (c.H + 1) / 2; ++v)
        for (long long u = -(c.W / 2); u < (c.W + 1) / 2; ++u)
            ring[std::size_t((v + c.H) % c.H) * std::size_t(c.W) + std::size_t((u + c.W) % c.W)] = LiteralRing(u, v);
    const int rings = *std::max_element(ring.begin(), ring.end()) + 1;
    const auto ringSums = [&](const std::vector<Complex>& F) {
        std::vector<long double> sums(std::size_t(rings), 0);
        for (std::size_t i = 0; i < n; ++i)
            sums[std::size_t(ring[i])] += Abs(F[i]);
        return sums;
    };
    std::vector<long double> target(std::size_t(rings), 0);
    for (std::size_t k = 0; k < c.K; ++k) {
        const std::vector<long double> own = ringSums(LiteralDft(AsLongDouble(set.Levels(k), n), c.W, c.H));
        for (int r = 0; r < rings; ++r)
            target[std::size_t(r)] += own[std::size_t(r)] / c.K;
    }
    std::size_t seen = 0;
    stimuli::RotationalValues(set, 2, [&](std::size_t k, const double* values) {
        ++seen;
        const std::vector<long double> sums =
            ringSums(LiteralDft(std::vector<long double>(values, values + n), c.W, c.H));
        for (int r = 0; r < rings; ++r)
            ASSERT_NEAR(double(sums[std::size_t(r)]), double(target[std::size_t(r)]),
                        double(Close * target[std::size_t(r)]))
                << "picture " << k << ", ring " << r;
    });
    EXPECT_EQ(seen, c.K);
    for (int y = 0; y < c.H; ++y)
        for (int x = 0; x < c.W; ++x)
            ASSERT_EQ(stimuli::Ring(x, y, c.W, c.H), ring[std::size_t(y) * std::size_t(c.W) + std::size_t(x)])
                << "column " << x << ", row " << y;
    EXPECT_EQ(stimuli::RingCount(c.W, c.H), rings);
}

INSTANTIATE_TEST_SUITE_P(Cases, Spectra,
                         ::testing::Values(SpectrumCase{"three_8x8", 8, 8, 3},
                                           SpectrumCase{"two_16x4", 16, 4, 2},
                                           SpectrumCase{"three_7x5_odd", 7, 5, 3},
                                           SpectrumCase{"four_6x9", 6, 9, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// The rescale, from the values before it: Set takes the set's extremes to 0
// and 255, Mean the means of the pictures' extremes.
class RescaleMap : public ::testing::TestWithParam<Rescale> {};

TEST_P(RescaleMap, TakesTheChosenExtremesTo0And255)
{
    const PictureSet before = RandomSet(12, 10, 3, 0, 255, 41);
    const std::size_t K = before.Count(), n = before.Pixels();
    std::vector<std::vector<double>> values(K);
    stimuli::SpectrumValues(before, 1, [&](std::size_t k, const double* v) { values[k].assign(v, v + n); });
    long double lo = 0, hi = 0;
    double setLo = values[0][0], setHi = values[0][0];
    for (const auto& v : values) {
        lo += *std::min_element(v.begin(), v.end()) / (long double)K;
        hi += *std::max_element(v.begin(), v.end()) / (long double)K;
        setLo = std::min(setLo, *std::min_element(v.begin(), v.end()));
        setHi = std::max(setHi, *std::max_element(v.begin(), v.end()));
    }
    if (GetParam() == Rescale::Set) {
        lo = setLo;
        hi = setHi;
    }
    PictureSet set = before;
    stimuli::MatchSpectrum(set, GetParam(), 2);
    bool black = false, white = false;
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t i = 0; i < n; ++i) {
            const long double mapped = (values[k][i] - lo) / (hi - lo) * 255;
            const long double clipped = std::min<long double>(255, std::max<long double>(0, mapped));
            const int level = set.Levels(k)[i];
            black = black || level == 0;
            white = white || level == 255;
            // Halves up; a value within a hair of a half may go either way.
            const long double fraction = clipped - std::floor(clipped);
            if (std::fabs(fraction - 0.5L) > 1e-9L) {
                ASSERT_EQ(level, int(std::floor(clipped + 0.5L))) << "picture " << k << ", pixel " << i;
            }
        }
    EXPECT_TRUE(black && white);
}

INSTANTIATE_TEST_SUITE_P(Cases, RescaleMap, ::testing::Values(Rescale::Set, Rescale::Mean),
                         [](const auto& info) { return std::string(info.param == Rescale::Set ? "set" : "mean"); });

// ----------------------------------------------------------------------------
// rounding, steps, the whole run

struct LevelCase {
    const char* name;
    double value;
    int level;
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << c.name; }

class Rounding : public ::testing::TestWithParam<LevelCase> {};

TEST_P(Rounding, IsHalvesUpThenClipped)
{
    EXPECT_EQ(int(stimuli::Level(GetParam().value)), GetParam().level) << "value " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rounding,
    ::testing::Values(LevelCase{"half_up", 2.5, 3}, LevelCase{"half_below_one", 0.5, 1},
                      LevelCase{"just_below_half", 0.49999999999999994, 0}, LevelCase{"down", 7.4999, 7},
                      LevelCase{"top_half", 254.5, 255}, LevelCase{"above", 300.0, 255},
                      LevelCase{"below", -0.4, 0}, LevelCase{"negative_half", -0.5, 0},
                      LevelCase{"huge", 1e300, 255}, LevelCase{"not_a_number", std::nan(""), 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct ParseCase {
    const char* name;
    const char* text;
    std::vector<Step> steps;  // empty: refused
    const char* said;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class Steps : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Steps, ParseOrNameTheWrongWord)
{
    const ParseCase& c = GetParam();
    if (!c.steps.empty()) {
        EXPECT_EQ(stimuli::ParseSteps(c.text), c.steps);
        return;
    }
    try {
        stimuli::ParseSteps(c.text);
        FAIL() << "accepted " << c.text;
    } catch (const stimuli::EqualiseError& e) {
        EXPECT_NE(std::string(e.what()).find(c.said), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Steps,
    ::testing::Values(ParseCase{"one", "lum", {Step::Luminance}, ""},
                      ParseCase{"sequence", "sf,hist,lum", {Step::Rotational, Step::Histogram, Step::Luminance}, ""},
                      ParseCase{"twice", "amp,hist,amp", {Step::Spectrum, Step::Histogram, Step::Spectrum}, ""},
                      ParseCase{"amplitude_or_short", "amplitude,amp", {Step::Spectrum, Step::Spectrum}, ""},
                      ParseCase{"unknown", "amp,hsit", {}, "unknown step 'hsit'"},
                      ParseCase{"capitals", "LUM", {}, "unknown step 'LUM'"},
                      ParseCase{"empty_word", "amp,,hist", {}, "empty step"},
                      ParseCase{"nothing", "", {}, "empty step"}),
    [](const auto& info) { return std::string(info.param.name); });

// The same set and options give the same bytes on one thread and on several:
// every sum over the set is made in picture order.
TEST(EqualiseThreads, GiveTheSameBytesForAnyNumberOfJobs)
{
    const PictureSet start = RandomSet(24, 18, 7, 0, 255, 47);
    const Levels mask = DiscMask(24, 18);
    for (const char* steps : {"amp,hist", "sf,hist,lum", "lum,amp"}) {
        SCOPED_TRACE(steps);
        stimuli::EqualiseOptions options;
        options.steps = stimuli::ParseSteps(steps);
        options.iterations = 2;
        options.seed = 9;
        options.mask = std::string(steps) == "sf,hist,lum" ? mask.data() : nullptr;
        PictureSet one = start;
        options.jobs = 1;
        stimuli::Equalise(one, options);
        for (int jobs : {2, 3, 16}) {
            PictureSet many = start;
            options.jobs = jobs;
            std::size_t last = 0, total = 0;
            options.progress = [&](std::size_t done, std::size_t all) {
                EXPECT_EQ(done, last + 1);
                last = done;
                total = all;
            };
            stimuli::Equalise(many, options);
            options.progress = nullptr;
            EXPECT_EQ(last, total) << jobs << " jobs";
            for (std::size_t k = 0; k < start.Count(); ++k)
                EXPECT_EQ(std::memcmp(one.Levels(k), many.Levels(k), start.Pixels()), 0)
                    << jobs << " jobs, picture " << k;
        }
    }
}

struct RefusalCase {
    const char* name;
    std::size_t K;
    int iterations;
    bool emptyMask;
    const char* said;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class EqualiseRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(EqualiseRefusal, SaysWhyAndChangesNothing)
{
    const RefusalCase& c = GetParam();
    PictureSet set = RandomSet(4, 4, c.K, 0, 255, 3);
    const PictureSet before = set;
    const Levels mask(16, 0);
    stimuli::EqualiseOptions options;
    options.steps = {Step::Luminance};
    options.iterations = c.iterations;
    options.mask = c.emptyMask ? mask.data() : nullptr;
    try {
        stimuli::Equalise(set, options);
        FAIL() << "accepted";
    } catch (const stimuli::EqualiseError& e) {
        EXPECT_NE(std::string(e.what()).find(c.said), std::string::npos) << e.what();
    }
    for (std::size_t k = 0; k < c.K; ++k)
        EXPECT_EQ(Picture(set, k), Picture(before, k)) << "picture " << k;
}

INSTANTIATE_TEST_SUITE_P(Cases, EqualiseRefusal,
                         ::testing::Values(RefusalCase{"one_picture", 1, 1, false, "at least two pictures"},
                                           RefusalCase{"no_iteration", 2, 0, false, "at least 1"},
                                           RefusalCase{"empty_mask", 2, 1, true, "no used"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------------------
// SSIM

// The index literally: at each valid position the 11 x 11 weights
// exp(-(s^2 + t^2) / 4.5) over their sum, in long double.
long double LiteralSsim(const Levels& a, const Levels& b, int W, int H)
{
    long double weights[11][11], sum = 0;
    for (int s = -5; s <= 5; ++s)
        for (int t = -5; t <= 5; ++t)
            sum += weights[s + 5][t + 5] = std::exp(-(long double)(s * s + t * t) / 4.5L);
    const long double C1 = 6.5025L, C2 = 58.5225L;  // (0.01 * 255)^2, (0.03 * 255)^2
    long double total = 0;
    int count = 0;
    for (int y = 5; y < H - 5; ++y)
        for (int x = 5; x < W - 5; ++x) {
            long double mx = 0, my = 0;
            for (int s = -5; s <= 5; ++s)
                for (int t = -5; t <= 5; ++t) {
                    const std::size_t i = std::size_t(y + s) * std::size_t(W) + std::size_t(x + t);
                    mx += weights[s + 5][t + 5] / sum * a[i];
                    my += weights[s + 5][t + 5] / sum * b[i];
                }
            long double vx = 0, vy = 0, cxy = 0;
            for (int s = -5; s <= 5; ++s)
                for (int t = -5; t <= 5; ++t) {
                    const std::size_t i = std::size_t(y + s) * std::size_t(W) + std::size_t(x + t);
                    const long double w = weights[s + 5][t + 5] / sum;
                    vx += w * (a[i] - mx) * (a[i] - mx);
                    vy += w * (b[i] - my) * (b[i] - my);
                    cxy += w * (a[i] - mx) * (b[i] - my);
                }
            total += (2 * mx * my + C1) * (2 * cxy + C2) / ((mx * mx + my * my + C1) * (vx + vy + C2));
            ++count;
        }
    return total / count;
}

struct SsimCase {
    const char* name;
    int W, H;
    std::function<Levels(int W, int H)> a, b;
};

void PrintTo(const SsimCase& c, std::ostream* os) { *os << c.name; }

class Ssim : public ::testing::TestWithParam<SsimCase> {};

TEST_P(Ssim, MatchesTheLiteralIndex)
{
    const SsimCase& c = GetParam();
    const Levels a = c.a(c.W, c.H), b = c.b(c.W, c.H);
    EXPECT_NEAR(stimuli::Ssim(a.data(), b.data(), c.W, c.H), double(LiteralSsim(a, b, c.W, c.H)), 1e-12);
    EXPECT_EQ(stimuli::Ssim(a.data(), a.data(), c.W, c.H), 1.0) << "a picture and itself";
}

Levels Random(int W, int H, unsigned seed)
{
    const PictureSet set = RandomSet(W, H, 1, 0, 255, seed);
    return Picture(set, 0);
}

Levels Blurred(int W, int H, unsigned seed)
{
    Levels x = Random(W, H, seed);
    for (std::size_t i = 1; i < x.size(); ++i)
        x[i] = std::uint8_t((x[i] + x[i - 1]) / 2);
    return x;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Ssim,
    ::testing::Values(SsimCase{"random_pair_14x12", 14, 12, [](int W, int H) { return Random(W, H, 1); },
                               [](int W, int H) { return Random(W, H, 2); }},
                      SsimCase{"blurred_copy_20x11", 20, 11, [](int W, int H) { return Random(W, H, 3); },
                               [](int W, int H) { return Blurred(W, H, 3); }},
                      SsimCase{"one_window_11x11", 11, 11, [](int W, int H) { return Random(W, H, 4); },
                               [](int W, int H) { return Levels(std::size_t(W) * H, 128); }},
                      SsimCase{"wide_67x23", 67, 23, [](int W, int H) { return Random(W, H, 5); },
                               [](int W, int H) { return Blurred(W, H, 6); }}),
    [](const auto& info) { return std::string(info.param.name); });

// The index in its plain order, in double: at each valid position, each
// row's window sums over t = 0..10, then the column's sum of those over
// t = 0..10, each from 0. The routine's loops, arranged for speed, must give
// these very bits.
double PlainSsim(const Levels& a, const Levels& b, int W, int H)
{
    double w[11], sum = 0.0;
    for (int t = -5; t <= 5; ++t)
        sum += w[t + 5] = std::exp(-double(t * t) / (2.0 * 1.5 * 1.5));
    for (double& v : w)
        v /= sum;
    const double C1 = (0.01 * 255.0) * (0.01 * 255.0), C2 = (0.03 * 255.0) * (0.03 * 255.0);
    double total = 0.0;
    for (int y = 0; y + 11 <= H; ++y) {
        double rowTotal = 0.0;
        for (int x = 0; x + 11 <= W; ++x) {
            double m[5] = {0, 0, 0, 0, 0};
            for (int s = 0; s < 11; ++s) {
                double r[5] = {0, 0, 0, 0, 0};
                for (int t = 0; t < 11; ++t) {
                    const std::size_t i = std::size_t(y + s) * std::size_t(W) + std::size_t(x + t);
                    const double p = a[i], q = b[i];
                    r[0] += w[t] * p;
                    r[1] += w[t] * q;
                    r[2] += w[t] * (p * p);
                    r[3] += w[t] * (q * q);
                    r[4] += w[t] * (p * q);
                }
                for (int c = 0; c < 5; ++c)
                    m[c] += w[s] * r[c];
            }
            const double vx = m[2] - m[0] * m[0], vy = m[3] - m[1] * m[1], cxy = m[4] - m[0] * m[1];
            rowTotal += ((2.0 * m[0] * m[1] + C1) * (2.0 * cxy + C2)) / ((m[0] * m[0] + m[1] * m[1] + C1) * (vx + vy + C2));
        }
        total += rowTotal;
    }
    return total / double((W - 10) * (H - 10));
}

TEST_P(Ssim, GivesThePlainOrdersBits)
{
    const SsimCase& c = GetParam();
    const Levels a = c.a(c.W, c.H), b = c.b(c.W, c.H);
    const double fast = stimuli::Ssim(a.data(), b.data(), c.W, c.H), plain = PlainSsim(a, b, c.W, c.H);
    EXPECT_EQ(std::memcmp(&fast, &plain, sizeof fast), 0) << fast << " against " << plain;
}

// Written out: flat pictures of levels a and b have no variance, so SSIM is
// (2 a b + C1) / (a^2 + b^2 + C1) at every window (to within the cancellation
// in E[x^2] - mu^2: a few units in the last place of 10^4, against C2 = 58.5).
TEST(SsimWrittenOut, FlatPicturesCompareByTheirLevelsAlone)
{
    const Levels a(16 * 13, 100), b(16 * 13, 110);
    EXPECT_NEAR(stimuli::Ssim(a.data(), b.data(), 16, 13), 22006.5025 / 22106.5025, 1e-12);
    const Levels small(10 * 40, 7);
    EXPECT_TRUE(std::isnan(stimuli::Ssim(small.data(), small.data(), 10, 40))) << "no window fits";
}

// ----------------------------------------------------------------------------
// the report's figures

struct LumaCase {
    const char* name;
    int r, g, b, y;
};

void PrintTo(const LumaCase& c, std::ostream* os) { *os << c.name; }

class Luma : public ::testing::TestWithParam<LumaCase> {};

TEST_P(Luma, IsTheWeightedSumRoundedHalfUp)
{
    const LumaCase& c = GetParam();
    EXPECT_EQ(int(stimuli::Luma(c.r, c.g, c.b)), c.y);
}

INSTANTIATE_TEST_SUITE_P(Cases, Luma,
                         ::testing::Values(LumaCase{"white", 255, 255, 255, 255}, LumaCase{"black", 0, 0, 0, 0},
                                           LumaCase{"gray", 77, 77, 77, 77},
                                           LumaCase{"red_below_half", 1, 0, 0, 0},      // 0.299
                                           LumaCase{"red_above_half", 2, 0, 0, 1},      // 0.598
                                           LumaCase{"blue_exact_half", 0, 0, 250, 29},  // 28.5
                                           LumaCase{"mixed", 200, 100, 50, 124}),       // 124.2
                         [](const auto& info) { return std::string(info.param.name); });

// A set whose rotational spectra fall exactly as r^-2 fits a slope of -2.
TEST(SetFigures, SlopeOfAPowerLaw)
{
    std::vector<stimuli::PictureMeasures> pictures(3);
    for (std::size_t k = 0; k < pictures.size(); ++k) {
        pictures[k].rotational.assign(std::size_t(stimuli::RingCount(32, 32)), 0.0);
        for (std::size_t r = 1; r < pictures[k].rotational.size(); ++r)
            pictures[k].rotational[r] = double(k + 1) / double(r * r);
    }
    EXPECT_NEAR(stimuli::FittedSlope(pictures, 32, 32), -2.0, 1e-12);
    // Each picture's log spectrum lies log10(k+1) from the others' mean.
    const long double mean = (std::log10(1.0L) + std::log10(2.0L) + std::log10(3.0L)) / 3;
    const long double rms = std::sqrt((std::pow(std::log10(1.0L) - mean, 2) + std::pow(std::log10(2.0L) - mean, 2) +
                                       std::pow(std::log10(3.0L) - mean, 2)) / 3);
    EXPECT_NEAR(stimuli::Spread(pictures, 32, 32).spectrumSpread, double(rms), 1e-12);
}

// Written out: the spreads of a set of three 2 x 2 pictures.
TEST(SetFigures, SpreadsOfAWrittenOutSet)
{
    const PictureSet set = SetOf(2, 2, {{0, 0, 0, 0}, {0, 0, 2, 2}, {10, 10, 10, 10}});
    const std::vector<stimuli::PictureMeasures> m = stimuli::Measure(set, nullptr, 2);
    EXPECT_EQ(m[1].mean, 1.0);
    EXPECT_NEAR(m[1].deviation, std::sqrt(4.0 / 3.0), 1e-15);
    const stimuli::SetSpread s = stimuli::Spread(m, 2, 2);
    EXPECT_EQ(s.meanRange, 10.0);
    EXPECT_NEAR(s.deviationRange, std::sqrt(4.0 / 3.0), 1e-15);
    EXPECT_EQ(s.histogramDifference, 1.0) << "the flat 10s share no level with the others";
    // Ring 0 holds frequency 0 alone: its mean amplitude is the sum of levels.
    EXPECT_EQ(m[2].rotational[0], 40.0);
    const std::uint8_t a[4] = {0, 0, 0, 0}, b[4] = {0, 0, 2, 2};
    EXPECT_EQ(stimuli::Rmse(a, b, 4), std::sqrt(2.0));
}

}  // namespace
