// Sine and cosine of many arguments at once, for the phase mix.
#pragma once

#include <cstddef>

namespace lab {

// The ways SinCos can run; every path gives the same bits.
enum class SinCosPath {
    Scalar,  // plain code, on every processor
    Avx2,    // four arguments per instruction, when the processor has AVX2
};

bool Supported(SinCosPath path);

// s[i] = sin(x[i]) and c[i] = cos(x[i]) for i < n, within about two units in
// the last place for |x| <= 3*pi (and still close to that well beyond). Not
// the bits of std::sin and std::cos: callers that need those call them.
// Runs on the widest path this processor has.
void SinCos(const double* x, double* s, double* c, std::size_t n);

// SinCos on the given path, which must be supported.
void SinCos(SinCosPath path, const double* x, double* s, double* c, std::size_t n);

}  // namespace lab
