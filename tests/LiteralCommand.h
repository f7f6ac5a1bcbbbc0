// The main command written out the slow way, as it is defined: samples,
// literal forward transforms, polar split, phases kept or exchanged, join,
// literal inverse transforms, division by the pixel count. The oracle that the
// engine, the window and the lab must equal bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <utility>
#include <vector>

#include "LiteralFourier.h"

namespace literal {

// Both result grids: 2N+1 doubles, index 0 zero, every value divided by N.
struct CommandGrids {
    std::vector<double> left, right;
};

inline CommandGrids Command(const std::vector<std::int32_t>& leftIn,
                            const std::vector<std::int32_t>& rightIn, int W, int H, bool swap)
{
    const std::size_t N = std::size_t(W) * std::size_t(H);
    CommandGrids g{std::vector<double>(2 * N + 1, 0.0), std::vector<double>(2 * N + 1, 0.0)};
    std::vector<double>& l = g.left;
    std::vector<double>& r = g.right;
    for (std::size_t k = 0; k < N; ++k) {
        l[2 * k + 1] = double(leftIn[k]);
        r[2 * k + 1] = double(rightIn[k]);
    }
    const std::uint32_t dims[] = {0, std::uint32_t(H), std::uint32_t(W)};
    FourierTransform(r.data(), dims, 2, +1);
    FourierTransform(l.data(), dims, 2, +1);
    std::vector<double> lPhase(N), rPhase(N), lMag(N), rMag(N);
    for (std::size_t k = 0; k < N; ++k) {
        lPhase[k] = std::atan2(l[2 * k + 2], l[2 * k + 1]);
        rPhase[k] = std::atan2(r[2 * k + 2], r[2 * k + 1]);
        lMag[k] = std::sqrt(l[2 * k + 1] * l[2 * k + 1] + l[2 * k + 2] * l[2 * k + 2]);
        rMag[k] = std::sqrt(r[2 * k + 1] * r[2 * k + 1] + r[2 * k + 2] * r[2 * k + 2]);
    }
    if (swap)
        std::swap(lPhase, rPhase);
    for (std::size_t k = 0; k < N; ++k) {
        l[2 * k + 1] = std::cos(lPhase[k]) * lMag[k];
        l[2 * k + 2] = std::sin(lPhase[k]) * lMag[k];
        r[2 * k + 1] = std::cos(rPhase[k]) * rMag[k];
        r[2 * k + 2] = std::sin(rPhase[k]) * rMag[k];
    }
    FourierTransform(r.data(), dims, 2, -1);
    FourierTransform(l.data(), dims, 2, -1);
    for (std::size_t i = 1; i <= 2 * N; ++i) {
        l[i] = l[i] / (double(H) * double(W));
        r[i] = r[i] / (double(H) * double(W));
    }
    return g;
}

}  // namespace literal

// Whether two arrays of doubles hold the same bits; when not, the first index
// that differs and both values, to the last digit.
inline ::testing::AssertionResult SameBits(const std::vector<double>& actual,
                                           const std::vector<double>& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure()
               << actual.size() << " values where " << expected.size() << " were expected";
    for (std::size_t i = 0; i < actual.size(); ++i)
        if (std::memcmp(&actual[i], &expected[i], sizeof(double)) != 0) {
            std::ostringstream text;
            text.precision(17);
            text << "index " << i << ": " << actual[i] << " where " << expected[i]
                 << " was expected";
            return ::testing::AssertionFailure() << text.str();
        }
    return ::testing::AssertionSuccess();
}
