// SplitMix64 and the per-pixel states of the stimuli's noise.
#include "stimuli/SplitMix64.h"

namespace stimuli {

std::uint64_t SplitMix64(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

std::uint64_t NoiseState(std::uint64_t seed, std::uint64_t variant, std::uint64_t index)
{
    return seed + (variant << 40) + (index + 1) * 0x9E3779B97F4A7C15u;
}

double Uniform(std::uint64_t state)
{
    return double(SplitMix64(state) >> 11) * 0x1.0p-53;
}

std::optional<std::uint64_t> ParseUnsigned(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const std::uint64_t digit = std::uint64_t(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace stimuli
