// The main command's steps on plain buffers: the whole command against its
// literal form, the steps that take a shortcut against the plain evaluation,
// the pair rule and the memory refusal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "LiteralCommand.h"
#include "phase/Command.h"
#include "phase/Levels.h"
#include "phase/Pair.h"
#include "platform/Exception.h"

namespace {

std::vector<std::int32_t> RandomPixels(int W, int H, bool colour, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<std::int32_t> pixels(std::size_t(W) * std::size_t(H));
    for (auto& p : pixels)
        p = colour ? std::int32_t(random() & 0xffffff) : 65793 * std::int32_t(random() & 0xff);
    return pixels;
}

struct Shape {
    const char* name;
    int W, H;
    bool colour;
};

void PrintTo(const Shape& s, std::ostream* os) { *os << s.name; }

class WholeCommand : public ::testing::TestWithParam<Shape> {};

// The command's gray levels are those of the literal command's doubles.
TEST_P(WholeCommand, PaintsTheLiteralCommandsLevelsInBothModes)
{
    const Shape& s = GetParam();
    const auto left = RandomPixels(s.W, s.H, s.colour, 3u + s.W);
    const auto right = RandomPixels(s.W, s.H, s.colour, 5u + s.H);
    const std::size_t N = std::size_t(s.W) * s.H;
    for (const bool swap : {false, true}) {
        SCOPED_TRACE(swap ? "swap" : "normal");
        std::vector<std::uint8_t> l(N), r(N);
        phase::RunCommand(left.data(), right.data(), s.W, s.H,
                          swap ? phase::Mode::Swap : phase::Mode::Normal, l.data(), r.data());
        const literal::CommandGrids want = literal::Command(left, right, s.W, s.H, swap);
        for (std::size_t k = 0; k < N; ++k) {
            const auto level = [swap](double v) {
                return swap ? levels::Logarithmic(v, 105.0) : levels::Linear(v);
            };
            ASSERT_EQ(l[k], level(want.left[2 * k + 1])) << "left pixel " << k;
            ASSERT_EQ(r[k], level(want.right[2 * k + 1])) << "right pixel " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, WholeCommand,
                         ::testing::Values(Shape{"gray 1x1", 1, 1, false},
                                           Shape{"colour 1x16", 1, 16, true},
                                           Shape{"gray 32x8", 32, 8, false},
                                           Shape{"colour 64x64", 64, 64, true}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == ' ')
                                     c = '_';
                             return name;
                         });

// Values whose quotients by a power of two round in every way there is:
// ordinary, tiny (subnormal results), huge, signed zeros, odd last bits.
std::vector<double> AwkwardValues(std::size_t n)
{
    std::mt19937_64 random(17);
    std::vector<double> v(n);
    const double specials[] = {0.0, -0.0, 1.0, -1.0, 5e-324, -5e-324, 2.2250738585072014e-308,
                               3.0e-310, std::numeric_limits<double>::max(), 1.0 + 0x1p-52};
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t bits = random();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        v[i] = i < std::size(specials) ? specials[i] : std::isfinite(x) ? x : 1.5;
    }
    return v;
}

// Divide multiplies by the inverse where N is a power of two: the quotient's
// bits must not change, whatever the value.
TEST(Divide, GivesThePlainQuotientsBits)
{
    for (const auto& [W, H] : {std::pair{1, 1}, {16, 8}, {64, 1024}, {3, 5}, {6, 4}}) {
        SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H));
        const std::size_t N = std::size_t(W) * H;
        std::vector<double> grid = AwkwardValues(2 * N + 1);
        std::vector<double> want = grid;
        for (std::size_t i = 1; i <= 2 * N; ++i)
            want[i] = want[i] / (double(H) * double(W));
        phase::Divide(grid.data(), W, H);
        EXPECT_TRUE(SameBits(grid, want));
    }
}

// JoinPolar may take its cosine and sine from one call of the C library:
// they must be the bits of cos and sin taken one at a time, here each in a
// loop of its own, over angles of every kind (huge, tiny, near the multiples
// of pi/2, the ends of atan2's range) and magnitudes that round.
TEST(JoinPolar, GivesTheBitsOfCosAndSinTakenAlone)
{
    std::vector<double> phase = {0.0, -0.0, 1e-300, 5e-324, 3.141592653589793, -3.141592653589793,
                                 1.5707963267948966, -1.5707963267948966, 1e22, -1e300,
                                 std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 random(29);
    std::uniform_real_distribution<double> angle(-3.2, 3.2), near(-1e-12, 1e-12), size(0.0, 1e9);
    for (int k = 0; k < 20000; ++k)
        phase.push_back(angle(random));
    for (int q = -8; q <= 8; ++q)
        for (int k = 0; k < 50; ++k)
            phase.push_back(q * 0.7853981633974483 + near(random));
    const std::size_t N = phase.size();
    std::vector<double> magnitude(N);
    for (double& m : magnitude)
        m = size(random);
    std::vector<double> cosine(N), sine(N);
    for (std::size_t k = 0; k < N; ++k)
        cosine[k] = std::cos(phase[k]);
    for (std::size_t k = 0; k < N; ++k)
        sine[k] = std::sin(phase[k]);
    std::vector<double> want(2 * N + 1, 0.0), grid(2 * N + 1, 0.0);
    for (std::size_t k = 0; k < N; ++k) {
        want[2 * k + 1] = cosine[k] * magnitude[k];
        want[2 * k + 2] = sine[k] * magnitude[k];
    }
    phase::JoinPolar(grid.data(), phase.data(), magnitude.data(), N);
    EXPECT_TRUE(SameBits(grid, want));
}

const char Rule[] = ". Both pictures must be loaded and have the same size, with a width and a "
                    "height that are each a power of two (1, 2, 4, 8, \u2026).";

struct PairCase {
    const char* name;
    TPairSizes sizes;
    bool fits;
    std::optional<TCropSize> crop;
    const char* message;  // of the refusal, without its remedy; empty when it fits
};

void PrintTo(const PairCase& c, std::ostream* os) { *os << c.name; }

class PairRule : public ::testing::TestWithParam<PairCase> {};

TEST_P(PairRule, FitsOrSaysWhyAndHowToCrop)
{
    const PairCase& c = GetParam();
    EXPECT_EQ(PairFits(c.sizes), c.fits);
    const std::optional<TCropSize> crop = CropToFit(c.sizes);
    ASSERT_EQ(crop.has_value(), c.crop.has_value());
    if (crop) {
        EXPECT_EQ(crop->width, c.crop->width);
        EXPECT_EQ(crop->height, c.crop->height);
    }
    if (c.fits) {
        EXPECT_NO_THROW(CheckPairFits(c.sizes));
        return;
    }
    try {
        CheckPairFits(c.sizes);
        ADD_FAILURE() << "the pair was taken";
    } catch (const EMisfitPair& misfit) {
        EXPECT_EQ(misfit.Sizes, std::string(c.message) + Rule);
        const std::string remedy =
            crop ? " To cut both to their centre " + crop->Text() +
                       ", right-click a picture and choose \"Crop both to " + crop->Text() + "\"."
                 : "";
        EXPECT_EQ(misfit.Message, std::string(c.message) + Rule + remedy);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, PairRule,
    ::testing::Values(
        PairCase{"equal_powers", {256, 128, 256, 128}, true, std::nullopt, ""},
        PairCase{"one_pixel", {1, 1, 1, 1}, true, std::nullopt, ""},
        PairCase{"photographs", {451, 300, 600, 400}, false, TCropSize{256, 256},
                 "Cannot transform: the left picture is 451\u00d7300 and the right picture is "
                 "600\u00d7400"},
        PairCase{"equal_not_powers", {300, 300, 300, 300}, false, TCropSize{256, 256},
                 "Cannot transform: the left picture is 300\u00d7300 and the right picture is "
                 "300\u00d7300"},
        PairCase{"different_powers", {64, 32, 32, 64}, false, TCropSize{32, 32},
                 "Cannot transform: the left picture is 64\u00d732 and the right picture is "
                 "32\u00d764"},
        PairCase{"right_missing", {64, 64, 0, 0}, false, std::nullopt,
                 "Cannot transform: the left picture is 64\u00d764 and the right picture is "
                 "not loaded"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandMemory, IsEightDoublesAPixelAndARefusalSaysHowMuch)
{
    EXPECT_EQ(phase::CommandBytes(256, 256), (8u * 65536u + 2u) * 8u);
    EXPECT_EQ(phase::Mebibytes(phase::CommandBytes(2048, 2048)), 257u);  // 256 MiB and 16 bytes
    // A million pixels square needs 64 TiB, more than any machine here has.
    try {
        phase::CheckCommandMemory(1 << 20, 1 << 20);
        ADD_FAILURE() << "no refusal";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "Cannot transform: not enough memory for a 1048576\u00d71048576 "
                             "transform (needs 67108865 MiB).");
    }
}

}  // namespace
