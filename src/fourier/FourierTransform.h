// The multidimensional radix-2 FFT on its own: no window, no toolkit.
#pragma once

#include <cstdint>

namespace fourier {

// In-place, unnormalised discrete Fourier transform of a grid of complex
// doubles, used from index 1 (element k: real part at 2k+1, imaginary at
// 2k+2), row-major with dims[count] varying fastest. dims[1..count] must be
// powers of two; sign +1 takes exp(+i...) (the forward direction here), -1
// exp(-i...). A round trip +1 then -1 gives count-of-elements times the
// input. A zero or non-power-of-two length leaves the grid untouched. Runs on
// the widest vector path this processor has, in the calling thread, without
// allocating; calls on several threads at once are safe (one uses the shared
// buffers, the others run slower, all give the same bits).
void FourierTransform(double* grid, const std::uint32_t* dims, std::int32_t count,
                      std::int32_t sign);

// The vector paths, exposed so that tests can run each of them.

enum class Path {
    Sse2,    // 128-bit vectors, on every x86-64
    Avx2,    // 256-bit vectors, when the processor has them
    Avx512,  // 512-bit vectors (AVX-512F), when the processor has them and AVX2
};

// Whether this processor can run the path.
bool Supported(Path path);

// FourierTransform on the given path, which must be supported.
// Every path gives the same bits.
void Transform(Path path, double* x, const std::uint32_t* dims, std::int32_t count,
               std::int32_t sign);

}  // namespace fourier

namespace fourier {

// The same transform for any lengths >= 1: the layout (from index 1,
// row-major, dims[count] fastest), the sign (+1 takes exp(+i...)) and the
// missing normalisation of FourierTransform, up to 2^28 elements in all.
// Power-of-two lengths give exactly FourierTransform's bits (a power-of-two
// dimension of a grid with other lengths runs its algorithm along it too);
// other lengths run by mixed radix (2, 3, 4, 5, ... up to 61) or, for a
// larger prime factor, by Bluestein's chirp. A zero length, or more elements than that,
// leaves the grid untouched. Safe on several threads at once, each call
// giving the same bits whatever its thread; the tables of the last few
// lengths are kept, so that a call on a length seen before allocates
// nothing (unless its work lines need more than 32 MiB, as a single line of
// a million elements or more does: those are let go after each call). Throws std::bad_alloc, the grid untouched, when the memory for
// the tables or work lines cannot be had (a few times the grid at most,
// for a long line of prime length).
void Dft(double* grid, const std::uint32_t* dims, std::int32_t count, std::int32_t sign);

}  // namespace fourier
