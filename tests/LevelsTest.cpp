// Gray levels of the renderers: the worked values, wrapping, and values that
// a 32-bit integer cannot hold.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "Levels.h"

namespace {

struct LinearCase {
    double v;
    int level;
};

void PrintTo(const LinearCase& c, std::ostream* os) { *os << "v = " << c.v; }

class LinearLevel : public ::testing::TestWithParam<LinearCase> {};

TEST_P(LinearLevel, TruncatesAndWraps)
{
    EXPECT_EQ(levels::Linear(GetParam().v), GetParam().level) << "v = " << GetParam().v;
}

const double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    WorkedValues, LinearLevel,
    ::testing::Values(LinearCase{-1.0, 255}, LinearCase{-0.5, 0}, LinearCase{0.99, 0},
                      LinearCase{255.9, 255}, LinearCase{256.0, 0}, LinearCase{300.0, 44},
                      LinearCase{-300.0, 212},
                      // a gray level reconstructed a hair low shows one level darker
                      LinearCase{65793.0 * 200 - 1e-9, 199}, LinearCase{65793.0 * 200, 200},
                      // red 0 with some green, a hair low: the low byte is 255, white
                      LinearCase{256.0 * 7 - 1e-9, 255}));

INSTANTIATE_TEST_SUITE_P(
    OutsideInt32, LinearLevel,
    ::testing::Values(LinearCase{2147483647.0, 255}, LinearCase{2147483648.0, 255},
                      LinearCase{1e300, 255}, LinearCase{Inf, 255},
                      LinearCase{-2147483648.0, 0}, LinearCase{-2147483649.5, 0},
                      LinearCase{-1e300, 0}, LinearCase{-Inf, 0}, LinearCase{NaN, 0}));

struct LogCase {
    double v;
    int level;
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << "v = " << c.v; }

class LogLevel : public ::testing::TestWithParam<LogCase> {};

TEST_P(LogLevel, TakesLogOfMagnitudeTimesScale)
{
    EXPECT_EQ(levels::Logarithmic(GetParam().v, 105.0), GetParam().level)
        << "v = " << GetParam().v;
}

// (t, level): ln(|t| + 1) * 105 truncated, low byte.
INSTANTIATE_TEST_SUITE_P(
    WorkedValues, LogLevel,
    ::testing::Values(LogCase{0, 0}, LogCase{1, 72}, LogCase{2, 115}, LogCase{10, 251},
                      LogCase{11, 4}, LogCase{-11, 4}, LogCase{255, 70}, LogCase{65793, 140},
                      LogCase{10.7, 251}, LogCase{-0.9, 0}));

// ln(2^31) * 105 = 2256.2: the most negative integer has an absolute value,
// so both ends of the range show the same gray as their neighbours.
INSTANTIATE_TEST_SUITE_P(
    OutsideInt32, LogLevel,
    ::testing::Values(LogCase{-2147483648.0, 2256 & 0xff}, LogCase{-1e300, 2256 & 0xff},
                      LogCase{2147483647.0, 2256 & 0xff}, LogCase{Inf, 2256 & 0xff},
                      LogCase{NaN, 0}));

TEST(LogLevel, ScaleMultipliesTheLogarithm)
{
    EXPECT_EQ(levels::Logarithmic(1.0, 1.0), 0);  // ln 2 = 0.69
    EXPECT_EQ(levels::Logarithmic(10.0, 100.0), 239);  // ln 11 * 100 = 239.8
}

}  // namespace
