// Gray levels of the renderers: the worked values, wrapping, and values that
// a 32-bit integer cannot hold.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "phase/Levels.h"

namespace {

// A reconstructed value and the gray level it must show.
struct LevelCase {
    double v;
    int level;
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << "v = " << c.v; }

class LinearLevel : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LinearLevel, TruncatesAndWraps)
{
    EXPECT_EQ(levels::Linear(GetParam().v), GetParam().level) << "v = " << GetParam().v;
}

const double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    WorkedValues, LinearLevel,
    ::testing::Values(LevelCase{-1.0, 255}, LevelCase{-0.5, 0}, LevelCase{0.99, 0},
                      LevelCase{255.9, 255}, LevelCase{256.0, 0}, LevelCase{300.0, 44},
                      LevelCase{-300.0, 212},
                      // a gray level reconstructed a hair low shows one level darker
                      LevelCase{65793.0 * 200 - 1e-9, 199}, LevelCase{65793.0 * 200, 200},
                      // red 0 with some green, a hair low: the low byte is 255, white
                      LevelCase{256.0 * 7 - 1e-9, 255}));

INSTANTIATE_TEST_SUITE_P(
    OutsideInt32, LinearLevel,
    ::testing::Values(LevelCase{2147483647.0, 255}, LevelCase{2147483648.0, 255},
                      LevelCase{1e300, 255}, LevelCase{Inf, 255},
                      LevelCase{-2147483648.0, 0}, LevelCase{-2147483649.5, 0},
                      LevelCase{-1e300, 0}, LevelCase{-Inf, 0}, LevelCase{NaN, 0}));

class LogLevel : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LogLevel, TakesLogOfMagnitudeTimesScale)
{
    EXPECT_EQ(levels::Logarithmic(GetParam().v, 105.0), GetParam().level)
        << "v = " << GetParam().v;
}

// (t, level): ln(|t| + 1) * 105 truncated, low byte.
INSTANTIATE_TEST_SUITE_P(
    WorkedValues, LogLevel,
    ::testing::Values(LevelCase{0, 0}, LevelCase{1, 72}, LevelCase{2, 115}, LevelCase{10, 251},
                      LevelCase{11, 4}, LevelCase{-11, 4}, LevelCase{255, 70}, LevelCase{65793, 140},
                      LevelCase{10.7, 251}, LevelCase{-0.9, 0}));

// ln(2^31) * 105 = 2256.2: the most negative integer has an absolute value,
// so both ends of the range show the same gray as their neighbours.
INSTANTIATE_TEST_SUITE_P(
    OutsideInt32, LogLevel,
    ::testing::Values(LevelCase{-2147483648.0, 2256 & 0xff}, LevelCase{-1e300, 2256 & 0xff},
                      LevelCase{2147483647.0, 2256 & 0xff}, LevelCase{Inf, 2256 & 0xff},
                      LevelCase{NaN, 0}));

TEST(LogLevel, ScaleMultipliesTheLogarithm)
{
    EXPECT_EQ(levels::Logarithmic(1.0, 1.0), 0);  // ln 2 = 0.69
    EXPECT_EQ(levels::Logarithmic(10.0, 100.0), 239);  // ln 11 * 100 = 239.8
}

}  // namespace
