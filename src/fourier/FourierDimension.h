// One dimension of the transform: what the entry hands to the routines that
// run it, and those routines (internal to the library).
#pragma once

#include <cstddef>
#include <cstdint>

namespace fourier {

// Symbols, per dimension (as in the algorithm; 1-based indices into x):
//   n  its length            P  product of the lengths already done (faster dims)
//   Q  product of the lengths still to do     s  2P, the doubles between neighbours
//   R  s*n, one block in which P lines interleave
// Example: a 2x4x8 grid has N = 64. For the last dimension (n = 8): P = 1,
// s = 2, R = 16, Q = 8 blocks of one line each. For the middle one (n = 4):
// P = 8, s = 16, R = 64, so 8 lines interleave in each of Q = 2 blocks. For
// the first (n = 2): P = 32, s = 64, R = 128, one block of 32 interleaved lines.

// Lines up to this length are gathered into a scratch buffer and run through
// all their passes there; longer ones are transformed in place, pass by pass.
constexpr std::uint32_t Gathered = 4096;

// The lines of one dimension with 2 <= n <= Gathered, and what the passes
// need for them. grid is element 0 (index 1 of the caller's array).
struct Lines {
    double* grid;
    std::uint32_t n;
    std::uint32_t P;
    std::uint32_t Q;
    const double* twiddles;     // TwiddleTable(n, sign), 64-byte aligned
    const std::uint16_t* rev;   // ReversalTable(n)
    double* scratch;            // ScratchDoubles, 64-byte aligned
};

// Lines gathered side by side: rows of the fastest dimension four at a time
// (64 bytes per element position); lines of slower dimensions, which already
// lie side by side, sixteen at a time while that fits in a quarter of a
// megabyte (lines up to 1024), else eight (two cache lines per position). The
// more of them, the fewer strided sweeps over the grid; the fewer, the better
// the scratch buffer stays in the core's cache.
constexpr std::uint32_t RowLines = 4;
constexpr std::uint32_t WideColumns = 16;
constexpr std::uint32_t ColumnLines = 8;
constexpr std::uint32_t WideColumnsUpTo = 1024;
constexpr std::size_t ScratchDoubles = std::size_t(2) * Gathered * ColumnLines;
static_assert(2 * WideColumnsUpTo * WideColumns <= ScratchDoubles, "scratch too small");

// How many lines of the dimension are gathered side by side: a power of two,
// 1 to WideColumns. A scratch row holds 2 * SideBySide(lines) doubles.
inline std::uint32_t SideBySide(const Lines& lines)
{
    if (lines.P == 1)
        return lines.Q < RowLines ? lines.Q : RowLines;
    if (lines.P >= WideColumns && lines.n <= WideColumnsUpTo)
        return WideColumns;
    return lines.P < ColumnLines ? lines.P : ColumnLines;
}

// The dimension of length n in place, pass by pass, in scalar arithmetic: for
// lines longer than Gathered. x is the caller's array (used from index 1), N
// the count of elements, P as above; n a power of two.
void InPlace(double* x, std::uint32_t N, std::uint32_t n, std::uint32_t P, std::int32_t sign);

// Every dimension through InPlace, without the shared workspace: the route of
// a call that finds the workspace lent to another. The contract of
// FourierTransform, and its bits.
void TransformInPlace(double* x, const std::uint32_t* dims, std::int32_t count,
                      std::int32_t sign);

// The gathered lines of a dimension, on one instruction set each. A set whose
// registers are wider than a scratch row hands the lines to the next narrower
// set. Every one gives the bits of the algorithm.
namespace sse2 {
void Transform(const Lines& lines);
}
namespace avx2 {
void Transform(const Lines& lines);
}
namespace avx512 {
void Transform(const Lines& lines);
}

}  // namespace fourier
