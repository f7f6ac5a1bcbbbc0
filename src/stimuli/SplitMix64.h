// The seeded generator behind every random choice of the stimuli: SplitMix64,
// evaluated at a state computed from the seed, so that any value can be
// reproduced on its own from the manifest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace stimuli {

// SplitMix64's output for the state z:
// z <- (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9, z <- (z ^ (z >> 27)) * 0x94D049BB133111EB,
// z <- z ^ (z >> 31).
std::uint64_t SplitMix64(std::uint64_t z);

// The state of pixel i (row-major, from 0) of variant v under seed S:
// S + v * 2^40 + (i + 1) * 0x9E3779B97F4A7C15, modulo 2^64.
std::uint64_t NoiseState(std::uint64_t seed, std::uint64_t variant, std::uint64_t index);

// A uniform value in [0, 1): the top 53 bits of SplitMix64(state) times 2^-53.
double Uniform(std::uint64_t state);

// A seed (or a count) as the user writes it: decimal digits only, no sign, no
// spaces, at most 2^64 - 1. Nothing for any other text.
std::optional<std::uint64_t> ParseUnsigned(const std::string& text);

}  // namespace stimuli
