// The butterfly passes of a dimension, written once over a vector type of FourierVectors.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fourier/FourierDimension.h"
#include "fourier/FourierTwiddles.h"
#include "fourier/FourierVectors.h"

// This header is included by one file per instruction set, inside that set's
// target region, so that the templates are compiled for the set they are
// instantiated with. Every function here is a template that takes the vector
// type first, and no vector type belongs to two sets: no instantiation is
// shared between the files, and no code compiled for one set can stand in for
// another's. (Scalar helpers live in the headers above, outside any region;
// the structs here hold data only.)
//
// Symbols (as in FourierDimension.h): n the length of the lines, L = log2(n),
// q the span of a pass in elements, p the offset inside a span, h = q/2. The
// gathered lines are held as rows: row t is element t of every gathered line,
// as complex pairs (re, im), `width` doubles in all. The twiddle table is
// TwiddleTable's: for span q and offset p, entry q/2 - 1 + p.
//
// The order of the work. After the reordering, the passes of spans 2..2^a only
// combine rows inside blocks of B = 2^a consecutive rows, and the passes of
// spans 2B..n only combine rows that are B apart. So a long line runs in two
// stages: stage A, block by block, the first a = L/2 passes; stage B, group by
// group (rows p, p + B, p + 2B, ...), the others. A block or group is small
// enough to stay in the core's first-level cache through its passes, which go
// three at a time (a sweep of radix 8) where they can. Every butterfly gets the
// inputs and twiddle it has in the algorithm; only the order of independent
// butterflies changes, so the results are the algorithm's bits.

namespace fourier {

// Rows a sweep reads or writes: row i at base + i*stride doubles, or, when
// order is given, at base + order[i]*stride (reading through the reversal).
struct Rows {
    double* base;
    std::size_t stride;
    const std::uint16_t* order;
};

// The twiddles of a stage: its pass of span q at offset p is the line's pass
// of span q*unit at offset first + p*unit.
struct Spans {
    const double* table;
    std::uint32_t unit;
    std::uint32_t first;
};

// One butterfly on registers a and b, all lanes: the same two products and sum
// or difference per output as the scalar form, nothing fused.
//   t  = wr*b + (-wi, wi)*swap(b)  ->  (wr*br - wi*bi, wr*bi + wi*br) = (tr, ti)
//   b' = a - t;  a' = a + t
template <class Vec>
inline void Butterfly(typename Vec::Register& a, typename Vec::Register& b,
                      typename Vec::Register wr, typename Vec::Register wi)
{
    const typename Vec::Register t = Vec::Add(Vec::Mul(wr, b), Vec::Mul(wi, Vec::Swap(b)));
    b = Vec::Sub(a, t);
    a = Vec::Add(a, t);
}

// Butterflies on rows A and B of each of Count groups of registers, with the
// twiddle kept at W.
template <class Vec, std::uint32_t A, std::uint32_t B, std::uint32_t W, std::uint32_t Count,
          std::uint32_t Radix>
inline void Butterflies(typename Vec::Register (&x)[Count][Radix],
                        const typename Vec::Register (&wr)[Radix - 1],
                        const typename Vec::Register (&wi)[Radix - 1])
{
    for (std::uint32_t g = 0; g < Count; ++g)
        Butterfly<Vec>(x[g][A], x[g][B], wr[W], wi[W]);
}

// The butterflies of Count closed groups of Radix registers across log2(Radix)
// passes: pass `level` pairs x[k] with x[k + 2^level] (k without that bit),
// with the twiddle kept at 2^level - 1 + (k mod 2^level). Written out, so that
// every value stays in a register; two groups go hand in hand, so that one
// has work while the other waits for its previous pass.
template <class Vec, std::uint32_t Count, std::uint32_t Radix>
inline void Groups(typename Vec::Register (&x)[Count][Radix],
                   const typename Vec::Register (&wr)[Radix - 1],
                   const typename Vec::Register (&wi)[Radix - 1])
{
    Butterflies<Vec, 0, 1, 0>(x, wr, wi);
    if constexpr (Radix >= 4)
        Butterflies<Vec, 2, 3, 0>(x, wr, wi);
    if constexpr (Radix == 8) {
        Butterflies<Vec, 4, 5, 0>(x, wr, wi);
        Butterflies<Vec, 6, 7, 0>(x, wr, wi);
    }
    if constexpr (Radix >= 4) {
        Butterflies<Vec, 0, 2, 1>(x, wr, wi);
        Butterflies<Vec, 1, 3, 2>(x, wr, wi);
    }
    if constexpr (Radix == 8) {
        Butterflies<Vec, 4, 6, 1>(x, wr, wi);
        Butterflies<Vec, 5, 7, 2>(x, wr, wi);
        Butterflies<Vec, 0, 4, 3>(x, wr, wi);
        Butterflies<Vec, 1, 5, 4>(x, wr, wi);
        Butterflies<Vec, 2, 6, 5>(x, wr, wi);
        Butterflies<Vec, 3, 7, 6>(x, wr, wi);
    }
}

// The passes of span q, 2q, ..., Radix/2 * q (Radix = 2, 4 or 8) over count
// rows in one sweep: rows p + k*h, k = 0..Radix-1, of each block of Radix*h
// rows form a closed group across those passes, held in registers from
// reading them (from; through its order when Reordered) to writing them (to,
// which may be from). Offset by offset, so that each offset's twiddles are
// loaded once for all blocks. With 32 registers, the contiguous rows go two
// registers at a time. Lanewise, a row is one four-lane register holding two
// consecutive elements of a line, whose two offsets have two twiddles: a
// PairTable entry, loaded whole.
template <class Vec, std::uint32_t Radix, bool Reordered, bool Lanewise>
void Sweep(const Rows& from, const Rows& to, std::uint32_t count, std::uint32_t q,
           const Spans& spans, std::uint32_t width)
{
    using Register = typename Vec::Register;
    constexpr std::uint32_t Lanes = Vec::Lanes;
    const std::uint32_t h = q / 2;
    const std::size_t inStep = h * from.stride, outStep = h * to.stride;
    for (std::uint32_t p = 0; p < h; ++p) {
        // The twiddle of pass `level` (span q << level) for k is the one at
        // offset p + m*h, m = k mod 2^level: the same for every block.
        Register wr[Radix - 1], wi[Radix - 1];
        for (std::uint32_t k = 0; k < Radix - 1; ++k) {
            const std::uint32_t level = k >= 3 ? 2 : k >= 1 ? 1 : 0;
            const std::uint32_t m = k + 1 - (1u << level);
            const std::uint32_t span = (q << level) * spans.unit;
            const std::uint32_t offset = spans.first + (p + m * h) * spans.unit;
            if constexpr (Lanewise) {
                static_assert(Lanes == 4, "two elements to a register");
                const double* e = spans.table + 2 * Lanes * (span / 2 - 1 + offset);
                wr[k] = Vec::Load(e);
                wi[k] = Vec::Load(e + Lanes);
            } else {
                const double* e = spans.table + 4 * (span / 2 - 1 + offset);
                wr[k] = Vec::Real(e);
                wi[k] = Vec::Imaginary(e);
            }
        }
        for (std::uint32_t b0 = p; b0 < count; b0 += Radix * h) {
            double* const out = to.base + b0 * to.stride;
            if constexpr (Lanewise && !Reordered) {
                // A row is one register.
                const double* const in = from.base + b0 * from.stride;
                Register x[1][Radix];
                for (std::uint32_t k = 0; k < Radix; ++k)
                    x[0][k] = Vec::Load(in + k * inStep);
                Groups<Vec>(x, wr, wi);
                for (std::uint32_t k = 0; k < Radix; ++k)
                    Vec::Store(out + k * outStep, x[0][k]);
            } else if constexpr (Reordered) {
                const double* in[Radix];
                for (std::uint32_t k = 0; k < Radix; ++k)
                    in[k] = from.base + from.order[b0 + k * h] * from.stride;
                for (std::uint32_t j = 0; j < width; j += Lanes) {
                    Register x[1][Radix];
                    for (std::uint32_t k = 0; k < Radix; ++k)
                        x[0][k] = Vec::Load(in[k] + j);
                    Groups<Vec>(x, wr, wi);
                    for (std::uint32_t k = 0; k < Radix; ++k)
                        Vec::Store(out + k * outStep + j, x[0][k]);
                }
            } else {
                const double* const in = from.base + b0 * from.stride;
                std::uint32_t j = 0;
                if constexpr (Vec::Registers >= 32 || Radix <= 4)
                    for (; j + 2 * Lanes <= width; j += 2 * Lanes) {
                        Register x[2][Radix];
                        for (std::uint32_t g = 0; g < 2; ++g)
                            for (std::uint32_t k = 0; k < Radix; ++k)
                                x[g][k] = Vec::Load(in + k * inStep + j + g * Lanes);
                        Groups<Vec>(x, wr, wi);
                        for (std::uint32_t g = 0; g < 2; ++g)
                            for (std::uint32_t k = 0; k < Radix; ++k)
                                Vec::Store(out + k * outStep + j + g * Lanes, x[g][k]);
                    }
                for (; j < width; j += Lanes) {
                    Register x[1][Radix];
                    for (std::uint32_t k = 0; k < Radix; ++k)
                        x[0][k] = Vec::Load(in + k * inStep + j);
                    Groups<Vec>(x, wr, wi);
                    for (std::uint32_t k = 0; k < Radix; ++k)
                        Vec::Store(out + k * outStep + j, x[0][k]);
                }
            }
        }
    }
}

// One sweep of Radix, reading through the order of `from` if it has one.
template <class Vec, std::uint32_t Radix, bool Lanewise>
void Sweep(const Rows& from, const Rows& to, std::uint32_t count, std::uint32_t q,
           const Spans& spans, std::uint32_t width)
{
    if (from.order)
        Sweep<Vec, Radix, true, Lanewise>(from, to, count, q, spans, width);
    else
        Sweep<Vec, Radix, false, Lanewise>(from, to, count, q, spans, width);
}

// How many passes the next sweep of a stage takes, with `left` still to do:
// the one or two left over by the sweeps of three go first (on sets of
// sixteen registers, four passes left go as two sweeps of two, which beat one
// of radix 2 and one of radix 8, whose twiddles spill).
template <class Vec>
std::uint32_t SweepLevels(std::uint32_t left)
{
    const std::uint32_t levels = left % 3 == 0 ? 3 : left % 3;
    return Vec::Registers < 32 && levels == 1 && left >= 4 ? 2 : levels;
}

// The passes of spans 2..2^m, as the stage sees them, on 2^m rows, but for
// the first `done` of them: read from `from`, kept in `buffer` between sweeps,
// written to `to` (any of them may be the same rows). Lanewise, rows are
// single registers of consecutive elements (see Sweep).
template <class Vec, bool Lanewise = false>
void Stage(const Rows& from, const Rows& buffer, const Rows& to, std::uint32_t m,
           const Spans& spans, std::uint32_t width, std::uint32_t done = 0)
{
    const std::uint32_t count = 1u << m;
    std::uint32_t q = 2u << done;
    const Rows* in = &from;
    for (std::uint32_t left = m - done; left > 0;) {
        const std::uint32_t levels = SweepLevels<Vec>(left);
        const Rows& out = levels == left ? to : buffer;
        if (levels == 1)
            Sweep<Vec, 2, Lanewise>(*in, out, count, q, spans, width);
        else if (levels == 2)
            Sweep<Vec, 4, Lanewise>(*in, out, count, q, spans, width);
        else
            Sweep<Vec, 8, Lanewise>(*in, out, count, q, spans, width);
        in = &buffer;
        q <<= levels;
        left -= levels;
    }
}

// All passes of one group of lines gathered side by side, rows `width` doubles wide:
// position t is read from source row rev[t] and written, transformed, to
// destination row t (rows s doubles apart in both). In one stage through
// scratch; or stage A from the source into scratch, block by block, and stage
// B from scratch through the workspace's block to the destination.
template <class Vec>
void AllPasses(const Lines& lines, double* source, double* destination, std::size_t s,
               std::uint32_t width, bool far = false)
{
    const std::uint32_t n = lines.n, L = Log2(n);
    if (OneStage(n, width)) {
        const Rows scratch{lines.scratch, width, nullptr};
        Stage<Vec>(Rows{source, s, lines.rev}, scratch, Rows{destination, s, nullptr}, L,
                   Spans{lines.twiddles, 1, 0}, width);
        return;
    }
    const std::uint32_t a = L / 2, B = 1u << a;
    for (std::uint32_t j = 0; j < n; j += B) {
        // The rows of the next block lie far apart, in an order no hardware
        // prefetcher can guess: when they come from memory rather than the
        // last-level cache, ask for them while this block's passes run.
        if (far && j + B < n)
            for (std::uint32_t k = 0; k < B; ++k) {
                const double* const row = source + lines.rev[j + B + k] * s;
                for (std::uint32_t c = 0; c < width; c += 8)
                    __builtin_prefetch(row + c, 0, 1);
            }
        const Rows block{lines.scratch + std::size_t(j) * width, width, nullptr};
        Stage<Vec>(Rows{source, s, lines.rev + j}, block, block, a, Spans{lines.twiddles, 1, 0},
                   width);
    }
    const Rows buffer{lines.block, width, nullptr};
    for (std::uint32_t p = 0; p < B; ++p) {
        const Rows group{lines.scratch + std::size_t(p) * width, std::size_t(B) * width, nullptr};
        const Rows to{destination + p * s, B * s, nullptr};
        Stage<Vec>(group, buffer, to, L - a, Spans{lines.twiddles, B, p}, width);
    }
}

// Rows of the fastest dimension lie one after another, n elements each; Side
// of them are gathered side by side (see RowLines), so that a position of them
// is Side / K registers, K = Lanes/2. K consecutive positions of one line are
// one register too: Vec::Transpose turns K of the one kind into K of the
// other.

// Short rows, which run in one stage: transposed into the workspace's block in
// order, run through AllPasses there, and transposed back.
template <class Vec, std::uint32_t Side>
void ShortFastestLines(const Lines& lines)
{
    using Register = typename Vec::Register;
    constexpr std::uint32_t K = Vec::Lanes / 2, width = 2 * Side;
    const std::uint32_t n = lines.n;
    const std::size_t line = std::size_t(n) * 2;
    double* const block = lines.block;
    for (std::uint32_t l0 = 0; l0 < lines.Q; l0 += Side) {
        double* const first = lines.grid + std::size_t(l0) * line;
        for (std::uint32_t t = 0; t < n; t += K)
            for (std::uint32_t c = 0; c < Side; c += K) {
                Register x[K];
                for (std::uint32_t l = 0; l < K; ++l)
                    x[l] = Vec::Load(first + (c + l) * line + 2 * t);
                Vec::Transpose(x);
                for (std::uint32_t r = 0; r < K; ++r)
                    Vec::Store(block + std::size_t(t + r) * width + 2 * c, x[r]);
            }
        AllPasses<Vec>(lines, block, block, width, width);
        for (std::uint32_t t = 0; t < n; t += K)
            for (std::uint32_t c = 0; c < Side; c += K) {
                Register x[K];
                for (std::uint32_t r = 0; r < K; ++r)
                    x[r] = Vec::Load(block + std::size_t(t + r) * width + 2 * c);
                Vec::Transpose(x);
                for (std::uint32_t l = 0; l < K; ++l)
                    Vec::Store(first + (c + l) * line + 2 * t, x[l]);
            }
    }
}

// Long rows go through the two stages with the transpositions at their ends.
// Stage A takes Run = max(K, 4) blocks at a time, those whose grid positions
// m*G + i + r (r < Run, G = n/B blocks) lie side by side: each run of K
// positions of K lines is read as K registers and transposed into row
// rev_a(m) of the Run blocks, held side by side as one row, so that they
// share their twiddles. Run positions of a line are one whole cache line, read
// at once, rather than halves of it read on two trips over the lines.
// Its results go to scratch so that each group of stage B is one run of rows,
// in the order of i + r, that is bit-reversed in k. Stage B takes Batch
// neighbouring groups at a time, whose results at one k are Batch consecutive
// positions p..p+Batch-1 + B*k of each line, and transposes them back into the
// lines: Batch*16 bytes in a row of each, whole cache lines rather than
// scattered quarters of them.
template <class Vec, std::uint32_t Side>
void FastestLines(const Lines& lines)
{
    using Register = typename Vec::Register;
    constexpr std::uint32_t K = Vec::Lanes / 2, width = 2 * Side;
    static_assert(Side % K == 0, "whole registers of lines");
    const std::uint32_t n = lines.n, L = Log2(n);
    if (OneStage(n, width))
        return ShortFastestLines<Vec, Side>(lines);
    const std::size_t line = std::size_t(n) * 2;
    const std::uint16_t* const rev = lines.rev;
    double* const scratch = lines.scratch;
    double* const block = lines.block;
    const std::uint32_t a = L / 2, B = 1u << a, G = n / B;
    const std::uint32_t Batch = B < FastestBatch ? B : FastestBatch;
    static_assert(FastestBatch * (Gathered / 64) * width <= BlockDoubles, "a batch fits the block");
    constexpr std::uint32_t Run = K > 4 ? K : 4;
    static_assert((Gathered / 64) * Run * width <= BlockDoubles, "Run blocks fit the block");
    // rev_a(m) = rev[m*G] for m < B, rev_b(c) = rev[c*B] for c < G.
    std::uint16_t revb[Gathered / 64];
    for (std::uint32_t c = 0; c < G; ++c)
        revb[c] = rev[c * B];
    for (std::uint32_t l0 = 0; l0 < lines.Q; l0 += Side) {
        double* const first = lines.grid + std::size_t(l0) * line;
        for (std::uint32_t i = 0; i < G; i += Run) {
            for (std::uint32_t m = 0; m < B; ++m) {
                double* const row = block + std::size_t(rev[m * G]) * Run * width;
                for (std::uint32_t c = 0; c < Side; c += K)
                    for (std::uint32_t r0 = 0; r0 < Run; r0 += K) {
                        Register x[K];
                        for (std::uint32_t l = 0; l < K; ++l)
                            x[l] = Vec::Load(first + (c + l) * line +
                                             2 * (std::size_t(m) * G + i + r0));
                        Vec::Transpose(x);
                        for (std::uint32_t r = 0; r < K; ++r)
                            Vec::Store(row + (r0 + r) * width + 2 * c, x[r]);
                    }
            }
            const Rows blocks{block, Run * width, nullptr};
            const Rows to{scratch + std::size_t(i) * width, std::size_t(G) * width, nullptr};
            Stage<Vec>(blocks, blocks, to, a, Spans{lines.twiddles, 1, 0}, Run * width);
        }
        for (std::uint32_t p = 0; p < B; p += Batch) {
            for (std::uint32_t g = 0; g < Batch; ++g) {
                const Rows group{scratch + std::size_t(p + g) * G * width, width, revb};
                const Rows results{block + std::size_t(g) * G * width, width, nullptr};
                Stage<Vec>(group, results, results, L - a, Spans{lines.twiddles, B, p + g}, width);
            }
            for (std::uint32_t k = 0; k < G; ++k)
                for (std::uint32_t g = 0; g < Batch; g += K)
                    for (std::uint32_t c = 0; c < Side; c += K) {
                        Register x[K];
                        for (std::uint32_t r = 0; r < K; ++r)
                            x[r] = Vec::Load(block + (std::size_t(g + r) * G + k) * width + 2 * c);
                        Vec::Transpose(x);
                        for (std::uint32_t l = 0; l < K; ++l)
                            Vec::Store(first + (c + l) * line + 2 * (p + g + std::size_t(B) * k),
                                       x[l]);
                    }
        }
    }
}

// Rows of the fastest dimension can also go one at a time, whole, two
// elements to a register, with no transposition: the pass of span
// 2 pairs the two elements of a register, and every later pass pairs whole
// registers, with a twiddle per element (a lanewise Stage of the n/2
// registers). Position t is read from element rev[t]; for t a multiple of
// four, rev[t + 1], rev[t + 2] and rev[t + 3] are rev[t] + n/2, + n/4 and
// + 3n/4. Positions t and t + 2 are loaded as one register, t + 1 and t + 3
// as another, the pass of span 2 runs on the two, and one transposition leaves
// t, t + 1 and t + 2, t + 3 in the registers the later passes expect. A row
// of Gathered elements (64 KiB) no longer fits the first-level cache, but its
// sweeps from the second-level one still beat the transpositions of
// FastestLines.
template <class Vec>
bool Paired(const Lines& lines)
{
    return Vec::Lanes == 4 && PairableRows(lines);
}

// One row read so into the scratch, with the first sweep of the lanewise
// stage (Radix registers at a time) done on the registers as they are read,
// or none when Radix is 1. While the row is read, the next one is fetched.
template <class Vec, std::uint32_t Radix>
void ReadPaired(const Lines& lines, const double* row, const double* next)
{
    using Register = typename Vec::Register;
    constexpr std::uint32_t Count = Radix < 2 ? 2 : Radix;
    const std::uint32_t n = lines.n;
    const std::size_t quarter = n / 2;
    double* const buffer = lines.scratch;
    const Register wr2 = Vec::Real(lines.twiddles), wi2 = Vec::Imaginary(lines.twiddles);
    // The twiddles of the first lanewise sweep (span 2, offset 0): entries
    // 0, 1 and 2, then 3 to 6, as Sweep loads them for its first group.
    Register wr[Count - 1], wi[Count - 1];
    if constexpr (Radix >= 2)
        for (std::uint32_t k = 0; k < Radix - 1; ++k) {
            wr[k] = Vec::Load(lines.pairs + 2 * Vec::Lanes * k);
            wi[k] = Vec::Load(lines.pairs + 2 * Vec::Lanes * k + Vec::Lanes);
        }
    for (std::uint32_t t = 0; t < n; t += 2 * Count) {
        Register x[1][Count];
        for (std::uint32_t g = 0; g < Count; g += 2) {
            __builtin_prefetch(next + 2 * (t + 2 * g));
            const double* const e = row + 2 * std::size_t(lines.rev[t + 2 * g]);
            Register r[2] = {Vec::Join(e, e + quarter), Vec::Join(e + 2 * quarter, e + 3 * quarter)};
            Butterfly<Vec>(r[0], r[1], wr2, wi2);
            Vec::Transpose(r);
            x[0][g] = r[0];
            x[0][g + 1] = r[1];
        }
        if constexpr (Radix >= 2)
            Groups<Vec>(x, wr, wi);
        for (std::uint32_t k = 0; k < Count; ++k)
            Vec::Store(buffer + 2 * t + Vec::Lanes * k, x[0][k]);
    }
}

// The rows, one at a time: read with the first sweep where a sweep is left to
// write the results back into the row, and the rest of the lanewise stage.
template <class Vec>
void PairedRows(const Lines& lines)
{
    const std::uint32_t n = lines.n, m = Log2(n) - 1;
    const std::uint32_t first = SweepLevels<Vec>(m) < m ? SweepLevels<Vec>(m) : 0;
    const std::size_t line = std::size_t(n) * 2;
    const Rows registers{lines.scratch, Vec::Lanes, nullptr};
    for (std::uint32_t l = 0; l < lines.Q; ++l) {
        double* const row = lines.grid + l * line;
        const double* const next = l + 1 < lines.Q ? row + line : row;
        if (first == 3)
            ReadPaired<Vec, 8>(lines, row, next);
        else if (first == 2)
            ReadPaired<Vec, 4>(lines, row, next);
        else if (first == 1)
            ReadPaired<Vec, 2>(lines, row, next);
        else
            ReadPaired<Vec, 1>(lines, row, next);
        Stage<Vec, true>(registers, registers, Rows{row, Vec::Lanes, nullptr}, m,
                         Spans{lines.pairs, 1, 0}, Vec::Lanes, first);
    }
}

// Lines of a slower dimension: P of them interleave, element t of line l of
// block b at grid[b*2Pn + 2Pt + 2l]; Side neighbouring ones at a time are
// gathered, their elements at one position being one contiguous run, read and
// written in place by the first and last sweeps of AllPasses.
template <class Vec, std::uint32_t Side>
void SlowerLines(const Lines& lines)
{
    const std::size_t s = 2 * std::size_t(lines.P);
    const bool far = s * lines.n * lines.Q * sizeof(double) > CachedBytes;
    for (std::uint32_t b = 0; b < lines.Q; ++b)
        for (std::uint32_t l0 = 0; l0 < lines.P; l0 += Side) {
            double* const run = lines.grid + b * s * lines.n + 2 * l0;
            AllPasses<Vec>(lines, run, run, s, 2 * Side, far);
        }
}

// Whether the lines fill whole registers of Vec: a gathered row at least one
// register wide, and for the fastest dimension lines of at least K = Lanes/2
// elements (the transposition). Narrower ones go to a narrower set.
template <class Vec>
bool FillRegisters(const Lines& lines)
{
    return 2 * SideBySide(lines) >= Vec::Lanes && (lines.P > 1 || lines.n >= Vec::Lanes / 2);
}

// Side lines side by side, on registers of Vec, which they fill: each count
// is its own instantiation, so that the width of a row is known to the
// compiler.
template <class Vec, std::uint32_t Side>
void SideBySideLines(const Lines& lines)
{
    if constexpr (2 * Side >= Vec::Lanes) {
        if constexpr (Side <= RowLines)
            if (lines.P == 1)
                return FastestLines<Vec, Side>(lines);
        SlowerLines<Vec, Side>(lines);
    }
}

// The gathered lines of a dimension (see Lines), on registers of Vec, which
// they fill (FillRegisters).
template <class Vec>
void TransformLines(const Lines& lines)
{
    static_assert(RowLines == 4 && ColumnLines == 32, "a case for every count side by side");
    switch (SideBySide(lines)) {
    case 1:
        return SideBySideLines<Vec, 1>(lines);
    case 2:
        return SideBySideLines<Vec, 2>(lines);
    case 4:
        return SideBySideLines<Vec, 4>(lines);
    case 8:
        return SideBySideLines<Vec, 8>(lines);
    case 16:
        return SideBySideLines<Vec, 16>(lines);
    case 32:
        return SideBySideLines<Vec, 32>(lines);
    }
}

}  // namespace fourier
