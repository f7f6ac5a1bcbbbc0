// The phase scramble against its definitions: noise, random phase, weighted mean phase,
// rounding, the manifest's figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fourier/FourierTransform.h"
#include "stimuli/Scramble.h"
#include "stimuli/SplitMix64.h"
#include "stimuli/Statistics.h"

namespace {

using Complex = std::complex<long double>;
constexpr long double Pi = 3.141592653589793238462643383279502884L;

// --- oracles written from the definitions --------------------------------------------

// SplitMix64 as the definition spells it.
std::uint64_t Mix(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

// u_i of variant v under seed S.
long double Noise(std::uint64_t S, std::uint64_t v, std::uint64_t i)
{
    const std::uint64_t z = Mix(S + v * (std::uint64_t(1) << 40) + (i + 1) * 0x9E3779B97F4A7C15u);
    return std::ldexp((long double)(z >> 11), -53);
}

// The 2-D DFT of W x H values (row-major), kernel exp(sign 2 pi i (kx/W + ly/H)), by its sum.
std::vector<Complex> Dft(const std::vector<Complex>& in, int W, int H, int sign)
{
    std::vector<Complex> out(in.size());
    for (int l = 0; l < H; ++l)
        for (int k = 0; k < W; ++k) {
            Complex sum = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const long double turns = (long double)((k * x) % W) / W + (long double)((l * y) % H) / H;
                    sum += in[std::size_t(y) * W + x] * std::polar(1.0L, sign * 2 * Pi * turns);
                }
            out[std::size_t(l) * W + k] = sum;
        }
    return out;
}

std::vector<Complex> Values(const std::vector<std::uint8_t>& bytes, int channels, int channel)
{
    std::vector<Complex> v(bytes.size() / channels);
    for (std::size_t k = 0; k < v.size(); ++k)
        v[k] = bytes[k * channels + channel];
    return v;
}

// Moments of real values, in long double, two passes.
struct Moments {
    long double mean, sd, kurtosis;
};
Moments Describe(const std::vector<long double>& v)
{
    long double sum = 0;
    for (long double x : v)
        sum += x;
    const long double mean = sum / v.size();
    long double m2 = 0, m4 = 0;
    for (long double x : v) {
        const long double d = (x - mean) * (x - mean);
        m2 += d;
        m4 += d * d;
    }
    m2 /= v.size();
    m4 /= v.size();
    return {mean, std::sqrt(m2), m2 > 0 ? m4 / (m2 * m2) : 0};
}

// --- fixtures ------------------------------------------------------------------------

// Random bytes, the same for the same seed.
std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes)
        b = std::uint8_t(random() >> 24);
    return bytes;
}

// A photograph-like gray picture: a dead-leaves scene (discs of random gray with sizes
// spread as in natural scenes, the later covering the earlier), under a soft light from
// one side. Its spectrum falls as in photographs, and its edges give the phase structure
// that scrambling destroys.
std::vector<std::uint8_t> Photograph(int S, std::uint32_t seed)
{
    std::mt19937 random(seed);
    const auto uniform = [&] { return double(random()) / 4294967296.0; };
    std::vector<double> level(std::size_t(S) * S, 128.0);
    const double rMin = 1.5, rMax = S / 4.0;
    for (int disc = 0; disc < 4000; ++disc) {
        // radius density ~ r^-3 between rMin and rMax
        const double r = 1.0 / std::sqrt(uniform() * (1 / (rMin * rMin) - 1 / (rMax * rMax)) + 1 / (rMax * rMax));
        const double cx = uniform() * S, cy = uniform() * S;
        const double gray = 30 + 190 * uniform() * uniform() + 30 * uniform();
        for (int y = std::max(0, int(cy - r)); y <= std::min(S - 1, int(cy + r)); ++y)
            for (int x = std::max(0, int(cx - r)); x <= std::min(S - 1, int(cx + r)); ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                    level[std::size_t(y) * S + x] = gray;
    }
    std::vector<std::uint8_t> bytes(level.size());
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            const double light = 0.75 + 0.25 * double(x) / S;
            bytes[std::size_t(y) * S + x] = std::uint8_t(std::lround(std::min(255.0, level[std::size_t(y) * S + x] * light)));
        }
    return bytes;
}

std::vector<double> NoiseGrid(std::uint64_t seed, std::uint64_t variant, int W, int H)
{
    std::vector<double> grid(2 * std::size_t(W) * H + 1);
    stimuli::NoisePhase(seed, variant, W, H, grid.data());
    return grid;
}

// The rebuild of one channel before rounding, as its real and imaginary parts.
struct Rebuilt {
    std::vector<long double> re, im;
};
Rebuilt Rebuild(const stimuli::Scrambler& picture, int channel, const std::vector<double>& noise, double c,
                const double* amplitude = nullptr)
{
    const std::size_t N = std::size_t(picture.Width()) * picture.Height();
    std::vector<double> grid(2 * N + 1);
    stimuli::WeightedMeanRebuild(picture.Spectrum(channel), amplitude, noise.data(), picture.Width(),
                                 picture.Height(), c, grid.data());
    Rebuilt r{std::vector<long double>(N), std::vector<long double>(N)};
    for (std::size_t k = 0; k < N; ++k) {
        r.re[k] = grid[2 * k + 1];
        r.im[k] = grid[2 * k + 2];
    }
    return r;
}

std::vector<std::uint8_t> Scrambled(const stimuli::Scrambler& picture, std::uint64_t seed, std::uint64_t variant,
                                    double c, const double* const* amplitudes = nullptr)
{
    const std::size_t N = std::size_t(picture.Width()) * picture.Height();
    const auto noise = NoiseGrid(seed, variant, picture.Width(), picture.Height());
    std::vector<double> work(2 * N + 1);
    std::vector<std::uint8_t> out(N * picture.Channels());
    picture.Scramble(noise.data(), c, amplitudes, work.data(), out.data());
    return out;
}

// --- the noise -----------------------------------------------------------------------

// SplitMix64's published first outputs for seed 1234567 are the states S + (i + 1) gamma,
// that is, variant 0; the others were computed from the definition apart from this code.
struct KnownNoise {
    const char* name;
    std::uint64_t seed, variant, index, z;
};

void PrintTo(const KnownNoise& c, std::ostream* os) { *os << c.name; }

class NoiseValues : public ::testing::TestWithParam<KnownNoise> {};

TEST_P(NoiseValues, AreSplitMix64AtTheStateOfThePixel)
{
    const KnownNoise& c = GetParam();
    const std::uint64_t z = stimuli::SplitMix64(stimuli::NoiseState(c.seed, c.variant, c.index));
    EXPECT_EQ(z, c.z) << "seed " << c.seed << ", variant " << c.variant << ", pixel " << c.index;
    EXPECT_EQ(Mix(stimuli::NoiseState(c.seed, c.variant, c.index)), c.z) << "the oracle disagrees";
    EXPECT_EQ(stimuli::Uniform(stimuli::NoiseState(c.seed, c.variant, c.index)), double(c.z >> 11) * 0x1.0p-53);
}

INSTANTIATE_TEST_SUITE_P(
    Written, NoiseValues,
    ::testing::Values(KnownNoise{"seed_1234567_z0", 1234567, 0, 0, 6457827717110365317u},
                      KnownNoise{"seed_1234567_z1", 1234567, 0, 1, 3203168211198807973u},
                      KnownNoise{"seed_1234567_z2", 1234567, 0, 2, 9817491932198370423u},
                      KnownNoise{"seed_1234567_variant_1", 1234567, 1, 0, 8167026932855855028u},
                      KnownNoise{"largest_seed_wraps_variant_3", 18446744073709551615u, 3, 0, 15769146901492972564u},
                      KnownNoise{"largest_seed_wraps_pixel_1", 18446744073709551615u, 3, 1, 14299745370145613224u}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NoiseValues, UniformOfAWrittenOutState)
{
    // z = 8167026932855855028: (z >> 11) 2^-53 = 0.4427354171674971
    EXPECT_EQ(stimuli::Uniform(stimuli::NoiseState(1234567, 1, 0)), 0.4427354171674971);
}

// --- the random phase ----------------------------------------------------------------

struct Size {
    const char* name;
    int W, H;
};

void PrintTo(const Size& c, std::ostream* os) { *os << c.name; }

const Size Sizes[] = {{"1x1", 1, 1}, {"5x3", 5, 3}, {"4x4", 4, 4}, {"8x6", 8, 6}, {"7x9", 7, 9}, {"16x8", 16, 8}};

std::string SizeName(const ::testing::TestParamInfo<Size>& info) { return info.param.name; }

class RandomPhase : public ::testing::TestWithParam<Size> {};

// theta is the argument of the numpy-kernel DFT of u; theta(0,0) is exactly 0; and the
// phase is odd: theta(-k) = -theta(k).
TEST_P(RandomPhase, IsTheArgumentOfTheNoisesSpectrum)
{
    const auto [name, W, H] = GetParam();
    const std::size_t N = std::size_t(W) * H;
    for (std::uint64_t variant : {1u, 2u}) {
        SCOPED_TRACE("variant " + std::to_string(variant));
        std::vector<Complex> u(N);
        for (std::size_t i = 0; i < N; ++i)
            u[i] = Noise(77, variant, i);
        const auto U = Dft(u, W, H, -1);
        const auto grid = NoiseGrid(77, variant, W, H);
        EXPECT_EQ(grid[1], 1.0);
        EXPECT_EQ(grid[2], 0.0);
        for (std::size_t k = 0; k < N; ++k) {
            const long double theta = std::arg(U[k]);
            EXPECT_NEAR(grid[2 * k + 1], double(std::cos(theta)), 1e-12) << "element " << k;
            EXPECT_NEAR(grid[2 * k + 2], double(std::sin(theta)), 1e-12) << "element " << k;
            const std::size_t x = k % W, y = k / W;
            const std::size_t mirror = ((H - y) % H) * W + (W - x) % W;
            EXPECT_NEAR(grid[2 * mirror + 1], grid[2 * k + 1], 1e-12) << "element " << k;
            EXPECT_NEAR(grid[2 * mirror + 2], -grid[2 * k + 2], 1e-12) << "element " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RandomPhase, ::testing::ValuesIn(Sizes), SizeName);

// --- the rebuild: real, with the picture's amplitude, mean and contrast -----------------

const double Coherences[] = {0.0, 0.25, 0.5, 0.6, 1.0};

class WeightedMean : public ::testing::TestWithParam<Size> {};

// At every coherence the rebuild is real to rounding, and (before rounding) keeps the
// picture's |F| in every channel, hence its mean and RMS contrast; at c = 0 its phase is
// the noise's. Several variants, so that at c = 1/2 some self-conjugate frequency (where
// both phases are 0 or pi) meets opposite phases.
TEST_P(WeightedMean, KeepsAmplitudeMeanAndContrastAtEveryCoherence)
{
    const auto [name, W, H] = GetParam();
    const std::size_t N = std::size_t(W) * H;
    const auto bytes = RandomBytes(3 * N, 5);
    const stimuli::Scrambler picture(bytes.data(), W, H, 3);
    for (std::uint64_t variant = 1; variant <= 4; ++variant) {
        const auto noise = NoiseGrid(9, variant, W, H);
        for (double c : Coherences)
            for (int ch = 0; ch < 3; ++ch) {
                SCOPED_TRACE("variant " + std::to_string(variant) + ", c " + std::to_string(c) + ", channel " +
                             std::to_string(ch));
                const auto in = Values(bytes, 3, ch);
                const auto F = Dft(in, W, H, -1);
                const Rebuilt r = Rebuild(picture, ch, noise, c);
                std::vector<Complex> out(N);
                for (std::size_t k = 0; k < N; ++k) {
                    EXPECT_NEAR(double(r.im[k]), 0.0, 1e-10) << "element " << k << ": not real";
                    out[k] = r.re[k];
                }
                const auto G = Dft(out, W, H, -1);
                for (std::size_t k = 0; k < N; ++k) {
                    EXPECT_NEAR(double(std::abs(G[k])), double(std::abs(F[k])), 1e-9 * (1 + std::abs(F[k])))
                        << "|F| of element " << k;
                    if (c == 0.0 && std::abs(F[k]) > 1e-6) {
                        EXPECT_NEAR(double(std::abs(G[k] / std::abs(G[k]) -
                                                    Complex(noise[2 * k + 1], noise[2 * k + 2]))),
                                    0.0, 1e-9)
                            << "the phase at c = 0 of element " << k << " is not the noise's";
                    }
                }
                std::vector<long double> original(N);
                for (std::size_t k = 0; k < N; ++k)
                    original[k] = in[k].real();
                const Moments a = Describe(original), b = Describe(r.re);
                EXPECT_NEAR(double(b.mean), double(a.mean), 1e-9) << "mean";
                EXPECT_NEAR(double(b.sd), double(a.sd), 1e-9) << "RMS contrast";
            }
    }
}

// c = 1 gives the picture back, byte for byte, gray or colour.
TEST_P(WeightedMean, FullCoherenceGivesThePictureBack)
{
    const auto [name, W, H] = GetParam();
    for (int channels : {1, 3}) {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        const auto bytes = RandomBytes(std::size_t(W) * H * channels, 11);
        const stimuli::Scrambler picture(bytes.data(), W, H, channels);
        for (std::uint64_t variant : {1u, 7u}) {
            const auto out = Scrambled(picture, 3, variant, 1.0);
            for (std::size_t j = 0; j < out.size(); ++j)
                ASSERT_EQ(int(out[j]), int(bytes[j])) << "value " << j << ", variant " << variant;
        }
    }
}

// Colour is phase-aligned: each channel of a colour scramble is, byte for byte, the scramble
// of that channel alone as a gray picture with the same seed and variant (one shared theta).
TEST_P(WeightedMean, ColourChannelsShareTheNoisePhase)
{
    const auto [name, W, H] = GetParam();
    const std::size_t N = std::size_t(W) * H;
    const auto bytes = RandomBytes(3 * N, 13);
    const stimuli::Scrambler colour(bytes.data(), W, H, 3);
    for (double c : Coherences) {
        const auto mixed = Scrambled(colour, 21, 2, c);
        for (int ch = 0; ch < 3; ++ch) {
            std::vector<std::uint8_t> one(N);
            for (std::size_t k = 0; k < N; ++k)
                one[k] = bytes[3 * k + ch];
            const auto alone = Scrambled(stimuli::Scrambler(one.data(), W, H, 1), 21, 2, c);
            for (std::size_t k = 0; k < N; ++k)
                ASSERT_EQ(int(mixed[3 * k + ch]), int(alone[k]))
                    << "c " << c << ", channel " << ch << ", pixel " << k;
        }
    }
}

// --amplitude mean: the rebuild's |F| is the set's mean |F|, channel by channel, whatever the
// picture's own.
TEST_P(WeightedMean, MeanAmplitudeOfASetReplacesTheOwn)
{
    const auto [name, W, H] = GetParam();
    const std::size_t N = std::size_t(W) * H;
    std::vector<std::vector<std::uint8_t>> set;
    for (std::uint32_t seed : {31u, 32u, 33u})
        set.push_back(RandomBytes(3 * N, seed));
    stimuli::AmplitudeMean mean(W, H, 3);
    for (const auto& bytes : set)
        mean.Add(stimuli::Scrambler(bytes.data(), W, H, 3));
    const double* const* planes = mean.Planes();
    const stimuli::Scrambler picture(set[1].data(), W, H, 3);
    const auto noise = NoiseGrid(4, 1, W, H);
    for (double c : {0.0, 0.5, 1.0})
        for (int ch = 0; ch < 3; ++ch) {
            SCOPED_TRACE("c " + std::to_string(c) + ", channel " + std::to_string(ch));
            std::vector<long double> expected(N, 0);
            for (const auto& bytes : set) {
                const auto F = Dft(Values(bytes, 3, ch), W, H, -1);
                for (std::size_t k = 0; k < N; ++k)
                    expected[k] += std::abs(F[k]) / set.size();
            }
            const Rebuilt r = Rebuild(picture, ch, noise, c, planes[ch]);
            std::vector<Complex> out(N);
            for (std::size_t k = 0; k < N; ++k)
                out[k] = Complex(r.re[k], r.im[k]);
            const auto G = Dft(out, W, H, -1);
            for (std::size_t k = 0; k < N; ++k)
                EXPECT_NEAR(double(std::abs(G[k])), double(expected[k]), 1e-9 * (1 + expected[k]))
                    << "element " << k;
        }
}

INSTANTIATE_TEST_SUITE_P(Sizes, WeightedMean, ::testing::ValuesIn(Sizes), SizeName);

// Where the picture has no spectrum (a constant, black) nothing turns into a NaN: the
// picture comes back at every coherence, and a borrowed amplitude gives finite values.
TEST(WeightedMeanEdges, ZeroCoefficientsGiveThePictureOrFiniteValues)
{
    for (int level : {0, 7, 255}) {
        SCOPED_TRACE("level " + std::to_string(level));
        const std::vector<std::uint8_t> flat(8 * 6, std::uint8_t(level));
        const stimuli::Scrambler picture(flat.data(), 8, 6, 1);
        for (double c : Coherences) {
            const auto out = Scrambled(picture, 1, 1, c);
            for (std::size_t k = 0; k < out.size(); ++k)
                ASSERT_EQ(int(out[k]), level) << "c " << c << ", pixel " << k;
        }
        const std::vector<double> borrowed(8 * 6, 100.0);
        const double* planes[] = {borrowed.data()};
        const Rebuilt r = Rebuild(picture, 0, NoiseGrid(1, 1, 8, 6), 0.5, planes[0]);
        for (std::size_t k = 0; k < r.re.size(); ++k)
            ASSERT_TRUE(std::isfinite(double(r.re[k]))) << "pixel " << k;
    }
}

TEST(WeightedMeanEdges, RefusesACoherenceOutsideTheUnitInterval)
{
    const std::vector<std::uint8_t> bytes(4, 1);
    const stimuli::Scrambler picture(bytes.data(), 2, 2, 1);
    const auto noise = NoiseGrid(1, 1, 2, 2);
    std::vector<double> grid(9);
    for (double c : {-0.01, 1.01, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_THROW(stimuli::WeightedMeanRebuild(picture.Spectrum(0), nullptr, noise.data(), 2, 2, c, grid.data()),
                     std::invalid_argument)
            << "c " << c;
    EXPECT_THROW(stimuli::Scrambler(bytes.data(), 0, 2, 1), std::invalid_argument);
    EXPECT_THROW(stimuli::Scrambler(bytes.data(), 2, 2, 2), std::invalid_argument);
}

// --- kurtosis on a photograph ---------------------------------------------------------

// Averaged over a few variants, the kurtosis of the rebuild (before rounding) at every
// coherence stays between its values at c = 0 and c = 1, widened by a fifth of their
// distance. The literal linear mix of the two phases, c phi + (1 - c) theta, which
// over-represents phases near 0, must break that bound on the same picture: otherwise the
// picture could not tell the two apart.
TEST(Kurtosis, StaysBetweenTheEndsOnAPhotograph)
{
    const int S = 128;
    const std::size_t N = std::size_t(S) * S;
    const auto bytes = Photograph(S, 2002);
    const stimuli::Scrambler picture(bytes.data(), S, S, 1);
    const double* F = picture.Spectrum(0);
    const int variants = 4;
    std::vector<double> levels, weighted, linear;
    for (int step = 0; step <= 10; ++step)
        levels.push_back(step / 10.0);
    for (double c : levels) {
        double w = 0, l = 0;
        for (int v = 1; v <= variants; ++v) {
            const auto noise = NoiseGrid(1, std::uint64_t(v), S, S);
            w += double(Describe(Rebuild(picture, 0, noise, c).re).kurtosis) / variants;
            // the fault's rebuild, through the production transform: it is not the oracle here
            std::vector<double> mixed(2 * N + 1, 0.0);
            for (std::size_t k = 0; k < N; ++k) {
                const double phi = std::atan2(F[2 * k + 2], F[2 * k + 1]);
                const double theta = std::atan2(noise[2 * k + 2], noise[2 * k + 1]);
                const double A = std::hypot(F[2 * k + 1], F[2 * k + 2]), psi = c * phi + (1 - c) * theta;
                mixed[2 * k + 1] = A * std::cos(psi);
                mixed[2 * k + 2] = A * std::sin(psi);
            }
            const std::uint32_t dims[3] = {0, std::uint32_t(S), std::uint32_t(S)};
            fourier::Dft(mixed.data(), dims, 2, +1);
            std::vector<long double> re(N);
            for (std::size_t k = 0; k < N; ++k)
                re[k] = mixed[2 * k + 1] / double(N);
            l += double(Describe(re).kurtosis) / variants;
        }
        weighted.push_back(w);
        linear.push_back(l);
    }
    const double k0 = weighted.front(), k1 = weighted.back();
    const double widen = std::abs(k1 - k0) / 5;
    const double low = std::min(k0, k1) - widen, high = std::max(k0, k1) + widen;
    std::printf("kurtosis, mean of %d variants, %dx%d dead-leaves photograph\n  c       weighted   linear\n",
                variants, S, S);
    for (std::size_t i = 0; i < levels.size(); ++i)
        std::printf("  %.1f  %9.3f %9.3f\n", levels[i], weighted[i], linear[i]);
    for (std::size_t i = 0; i < levels.size(); ++i)
        EXPECT_TRUE(weighted[i] >= low && weighted[i] <= high)
            << "c " << levels[i] << ": kurtosis " << weighted[i] << " outside [" << low << ", " << high << "]";
    EXPECT_GT(*std::max_element(linear.begin(), linear.end()), high)
        << "the linear mix stays within the bound: the picture does not show the fault";
}

// --- rounding and the manifest's figures ----------------------------------------------

struct Rounded {
    const char* name;
    double value;
    int level;
    bool clipped;
};

void PrintTo(const Rounded& c, std::ostream* os) { *os << c.name; }

class Quantise : public ::testing::TestWithParam<Rounded> {};

TEST_P(Quantise, RoundsHalvesUpThenClips)
{
    const Rounded& c = GetParam();
    const double grid[3] = {0.0, c.value, 0.0};
    std::uint8_t out = 99;
    EXPECT_EQ(stimuli::Quantise(grid, 1, 1, &out, 1), c.clipped ? 1u : 0u) << c.value;
    EXPECT_EQ(int(out), c.level) << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, Quantise,
    ::testing::Values(Rounded{"zero", 0.0, 0, false}, Rounded{"negative_zero", -0.0, 0, false},
                      Rounded{"half_goes_up", 0.5, 1, false}, Rounded{"one_and_a_half", 1.5, 2, false},
                      Rounded{"just_below_a_half", 0.49999999999999994, 0, false},
                      Rounded{"minus_a_half_goes_up_to_0", -0.5, 0, false},
                      Rounded{"just_below_minus_a_half_clips", -0.5000001, 0, true},
                      Rounded{"large_negative_clips", -1e300, 0, true},
                      Rounded{"top_half_goes_up_to_255", 254.5, 255, false},
                      Rounded{"above_255_and_a_half_clips", 255.5, 255, true},
                      Rounded{"infinite_clips", std::numeric_limits<double>::infinity(), 255, true},
                      Rounded{"nan_clips_to_0", std::numeric_limits<double>::quiet_NaN(), 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct Figures {
    const char* name;
    std::vector<std::uint8_t> x, y;
};

void PrintTo(const Figures& c, std::ostream* os) { *os << c.name; }

class ManifestFigures : public ::testing::TestWithParam<Figures> {};

TEST_P(ManifestFigures, MatchTheirDefinitions)
{
    const Figures& c = GetParam();
    std::vector<long double> x(c.x.begin(), c.x.end()), y(c.y.begin(), c.y.end());
    const Moments a = Describe(x), b = Describe(y);
    const stimuli::Levels levels = stimuli::Describe(c.x.data(), c.x.size());
    EXPECT_NEAR(levels.mean, double(a.mean), 1e-13 * (1 + a.mean));
    EXPECT_NEAR(levels.rmsContrast, double(a.sd), 1e-13 * (1 + a.sd));
    long double xy = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
        xy += (x[i] - a.mean) * (y[i] - b.mean);
    const std::optional<double> r = stimuli::Correlation(c.x.data(), c.y.data(), c.x.size());
    if (a.sd == 0 || b.sd == 0) {
        EXPECT_FALSE(r.has_value()) << *r;
    } else {
        ASSERT_TRUE(r.has_value());
        EXPECT_NEAR(*r, double(xy / x.size() / (a.sd * b.sd)), 1e-13);
    }
}

std::vector<std::uint8_t> Ramp(int n, int from, int step)
{
    std::vector<std::uint8_t> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = std::uint8_t(from + i * step);
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManifestFigures,
    ::testing::Values(Figures{"black_and_white", {0, 255}, {255, 0}},
                      Figures{"written_out", {1, 2, 3, 4}, {2, 4, 5, 9}},
                      Figures{"constant_has_no_r", {7, 7, 7}, {1, 2, 3}},
                      Figures{"identical_ramps", Ramp(256, 0, 1), Ramp(256, 0, 1)},
                      Figures{"opposite_ramps", Ramp(256, 0, 1), Ramp(256, 255, -1)},
                      Figures{"random", RandomBytes(4096, 1), RandomBytes(4096, 2)},
                      Figures{"nearly_constant_bright",
                              [] {
                                  auto v = std::vector<std::uint8_t>(100000, 255);
                                  v[5] = 254;
                                  return v;
                              }(),
                              RandomBytes(100000, 3)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ManifestFigures, WrittenOutValues)
{
    const std::uint8_t bw[] = {0, 255};
    EXPECT_EQ(stimuli::Describe(bw, 2).mean, 127.5);
    EXPECT_EQ(stimuli::Describe(bw, 2).rmsContrast, 127.5);
    const std::uint8_t x[] = {1, 2, 3, 4}, y[] = {2, 4, 5, 9};
    // deviations -1.5 -0.5 0.5 1.5 and -3 -1 0 4: r = 11 / sqrt(5 * 26)
    EXPECT_NEAR(*stimuli::Correlation(x, y, 4), 11 / std::sqrt(130.0), 1e-15);
    // 1 exactly, not a rounding above it, for a picture against itself
    const auto photo = Photograph(64, 1);
    EXPECT_EQ(*stimuli::Correlation(photo.data(), photo.data(), photo.size()), 1.0);
}

}  // namespace
