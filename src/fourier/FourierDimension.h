// One dimension of the transform: its lines, workspace and routines (internal).
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

// Lines gathered side by side: rows of the fastest dimension four at a time
// (64 bytes per position, an AVX-512 register, so that the twiddles of a
// butterfly serve as many values on every set); lines of slower dimensions,
// which already lie side by side, up to 32 at a time (512 bytes per position,
// so that the strided trips over the grid are few and each reads or writes
// whole cache lines).
constexpr std::uint32_t RowLines = 4;
constexpr std::uint32_t ColumnLines = 32;

// A stage of the passes keeps its rows in the first-level cache between
// sweeps: up to this many doubles (32 KiB) of them. Lines whose rows all fit
// run in one stage, longer ones in two (see FourierPasses.h).
constexpr std::size_t StageDoubles = 4096;

// A grid larger than this is taken to lie in memory rather than in the
// last-level cache (16 to 32 MiB on the processors we run on): lines gathered
// from it in bit-reversed order are prefetched (see FourierPasses.h).
constexpr std::size_t CachedBytes = std::size_t(32) << 20;

// The second stage of long rows of the fastest dimension runs this many
// groups at a time, so that it writes back runs of this many elements.
constexpr std::uint32_t FastestBatch = 16;

// Whether lines of length n, gathered into rows of `width` doubles, run in one
// stage: all their rows fit in the first-level cache.
inline constexpr bool OneStage(std::uint32_t n, std::uint32_t width)
{
    return std::size_t(n) * width <= StageDoubles;
}

// The workspace: scratch for the gathered lines (n rows of up to
// 2 * ColumnLines doubles, 2 MiB), and a block for a stage's rows between
// sweeps or a batch of groups' results (64 KiB).
constexpr std::size_t ScratchDoubles = std::size_t(2) * Gathered * ColumnLines;
constexpr std::size_t BlockDoubles = 2 * StageDoubles;

// The lines of one dimension with 2 <= n <= Gathered, and what the passes
// need for them. grid is element 0 (index 1 of the caller's array).
struct Lines {
    double* grid;
    std::uint32_t n;
    std::uint32_t P;
    std::uint32_t Q;
    const double* twiddles;     // TwiddleTable(n, sign), 64-byte aligned
    const std::uint16_t* rev;   // ReversalTable(n)
    const double* pairs;        // PairTable(n) for n >= 4, 64-byte aligned
    double* scratch;            // ScratchDoubles, 64-byte aligned
    double* block;              // BlockDoubles, 64-byte aligned
};

// Whether the lines are rows of the fastest dimension that can run one at a
// time, two elements to an AVX2 register (see FourierPasses.h).
inline bool PairableRows(const Lines& lines) { return lines.P == 1 && lines.n >= 4; }

// How many lines of the dimension are gathered side by side: a power of two,
// 1 to RowLines for the fastest dimension, 2 to ColumnLines for a slower one.
// A gathered row holds 2 * SideBySide(lines) doubles.
inline std::uint32_t SideBySide(const Lines& lines)
{
    if (lines.P == 1)
        return lines.Q < RowLines ? lines.Q : RowLines;
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
// registers the lines cannot fill (too few of them side by side, or too short
// for its transposition) hands them to the next narrower set. Every one gives
// the bits of the algorithm.
namespace sse2 {
void TransformDimension(const Lines& lines);
}
namespace avx2 {
void TransformDimension(const Lines& lines);
}
namespace avx512 {
void TransformDimension(const Lines& lines);
}

}  // namespace fourier
