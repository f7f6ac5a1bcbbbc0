// Gray levels of the result pictures, from the real part of a reconstructed pixel.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace levels {

// Truncation toward zero to a signed 32-bit integer, saturating outside its
// range; NaN gives 0.
inline std::int32_t Truncate(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483648.0)
        return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483649.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// Levels wrap: only the low 8 bits of the integer level are shown.
inline std::uint8_t LowByte(std::int32_t level) { return static_cast<std::uint8_t>(level & 0xff); }

inline std::uint8_t Linear(double v) { return LowByte(Truncate(v)); }

// ln(|t| + 1) * scale, with |t| taken in 64 bits so that the most negative
// integer has an absolute value too.
inline std::uint8_t Logarithmic(double v, double scale)
{
    const std::int64_t t = Truncate(v);
    const std::int64_t a = (t < 0 ? -t : t) + 1;
    return LowByte(Truncate(std::log(static_cast<double>(a)) * scale));
}

inline std::int32_t Gray(std::uint8_t b) { return static_cast<std::int32_t>(b) * 65793; }

}  // namespace levels
