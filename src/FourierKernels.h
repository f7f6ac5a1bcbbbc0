// The transform's vector paths, exposed so that tests can run each of them.
#pragma once

#include <cstdint>

namespace fourier {

enum class Path {
    Sse2,    // 128-bit vectors, on every x86-64
    Avx2,    // 256-bit vectors, when the processor has them
    Avx512,  // 512-bit vectors (AVX-512F), when the processor has them
};

// Whether this processor can run the path.
bool Supported(Path path);

// TKorvanith::FourierTransform on the given path, which must be supported.
// Every path gives the same bits.
void Transform(Path path, double* x, const std::uint32_t* dims, std::int32_t count,
               std::int32_t sign);

}  // namespace fourier
