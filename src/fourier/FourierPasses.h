// The butterfly passes of one dimension on lines gathered side by side,
// written once as templates over a vector type of FourierVectors.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fourier/FourierDimension.h"
#include "fourier/FourierTwiddles.h"
#include "fourier/FourierVectors.h"

// This header is included by one file per instruction set, inside that set's
// target region, so that the templates are compiled for the set they are
// instantiated with. Every template here takes the vector type first, and no
// vector type belongs to two sets: no instantiation is shared between the
// files, and no code compiled for one set can stand in for another's.
// (Scalar helpers live in the headers above, outside any target region.)
//
// Symbols (as in FourierDimension.h): n the length of the lines, q the span
// of a pass in elements, p the offset inside a span, h = q/2. A gathered buffer
// holds n rows; row t is element t of every gathered line, as complex pairs
// (re, im), `width` doubles in all. The twiddle table is TwiddleTable's: for
// span q and offset p, entry q/2 - 1 + p, four doubles from e = w + 4(q/2-1+p).

namespace fourier {

// One butterfly on rows a and b, all lanes: the same two products and sum or
// difference per output as the scalar form, nothing fused.
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

// The pass of span q alone.
template <class Vec>
void Radix2(double* buf, std::uint32_t n, std::uint32_t width, const double* w, std::uint32_t q)
{
    using Register = typename Vec::Register;
    const std::uint32_t h = q / 2;
    for (std::uint32_t b0 = 0; b0 < n; b0 += q)
        for (std::uint32_t p = 0; p < h; ++p) {
            const double* e = w + 4 * (h - 1 + p);
            const Register wr = Vec::Real(e), wi = Vec::Imaginary(e);
            double* r0 = buf + std::size_t(b0 + p) * width;
            double* r1 = r0 + std::size_t(h) * width;
            for (std::uint32_t j = 0; j < width; j += Vec::Lanes) {
                Register x0 = Vec::Load(r0 + j), x1 = Vec::Load(r1 + j);
                Butterfly<Vec>(x0, x1, wr, wi);
                Vec::Store(r0 + j, x0), Vec::Store(r1 + j, x1);
            }
        }
}

// The passes of span q and 2q in one sweep: rows p, p+h, p+2h, p+3h of a
// block of 2q form a closed group across the two passes.
template <class Vec>
void Radix4(double* buf, std::uint32_t n, std::uint32_t width, const double* w, std::uint32_t q)
{
    using Register = typename Vec::Register;
    const std::uint32_t h = q / 2;
    const std::size_t step = std::size_t(h) * width;
    for (std::uint32_t b0 = 0; b0 < n; b0 += 2 * q)
        for (std::uint32_t p = 0; p < h; ++p) {
            const double* a = w + 4 * (h - 1 + p);  // span q, offset p
            const double* b = w + 4 * (q - 1 + p);  // span 2q, offsets p and p+h
            const Register ar = Vec::Real(a), ai = Vec::Imaginary(a);
            const Register b0r = Vec::Real(b), b0i = Vec::Imaginary(b);
            const Register b1r = Vec::Real(b + 4 * h), b1i = Vec::Imaginary(b + 4 * h);
            double* r = buf + std::size_t(b0 + p) * width;
            for (std::uint32_t j = 0; j < width; j += Vec::Lanes) {
                Register x0 = Vec::Load(r + j), x1 = Vec::Load(r + step + j);
                Register x2 = Vec::Load(r + 2 * step + j), x3 = Vec::Load(r + 3 * step + j);
                Butterfly<Vec>(x0, x1, ar, ai);
                Butterfly<Vec>(x2, x3, ar, ai);
                Butterfly<Vec>(x0, x2, b0r, b0i);
                Butterfly<Vec>(x1, x3, b1r, b1i);
                Vec::Store(r + j, x0), Vec::Store(r + step + j, x1);
                Vec::Store(r + 2 * step + j, x2), Vec::Store(r + 3 * step + j, x3);
            }
        }
}

// The passes of span q, 2q and 4q in one sweep over groups of eight rows
// p + k*h, k = 0..7, of a block of 4q.
// With ToGrid (the last three passes, q = n/4), the results go straight to
// the gathered lines instead of back to the buffer: row t to out + t*s,
// fetched for writing a few offsets ahead.
template <class Vec, bool ToGrid = false>
void Radix8(double* buf, std::uint32_t n, std::uint32_t width, const double* w, std::uint32_t q,
            double* out = nullptr, std::size_t s = 0)
{
    using Register = typename Vec::Register;
    const std::uint32_t h = q / 2;
    const std::size_t step = std::size_t(h) * width;
    constexpr std::uint32_t ahead = 4;  // offsets p fetched ahead, 8 rows each
    for (std::uint32_t b0 = 0; b0 < n; b0 += 4 * q)
        for (std::uint32_t p = 0; p < h; ++p) {
            if (ToGrid && p + ahead < h)
                for (std::uint32_t k = 0; k < 8; ++k) {
                    double* next = out + (p + ahead + k * h) * s;
                    __builtin_prefetch(next, 1);
                    __builtin_prefetch(next + width - 1, 1);
                }
            const double* a = w + 4 * (h - 1 + p);      // span q
            const double* b = w + 4 * (q - 1 + p);      // span 2q
            const double* c = w + 4 * (2 * q - 1 + p);  // span 4q
            const Register ar = Vec::Real(a), ai = Vec::Imaginary(a);
            const Register b0r = Vec::Real(b), b0i = Vec::Imaginary(b);
            const Register b1r = Vec::Real(b + 4 * h), b1i = Vec::Imaginary(b + 4 * h);
            double* r = buf + std::size_t(b0 + p) * width;
            for (std::uint32_t j = 0; j < width; j += Vec::Lanes) {
                double* y = r + j;
                Register x0 = Vec::Load(y), x1 = Vec::Load(y + step);
                Register x2 = Vec::Load(y + 2 * step), x3 = Vec::Load(y + 3 * step);
                Register x4 = Vec::Load(y + 4 * step), x5 = Vec::Load(y + 5 * step);
                Register x6 = Vec::Load(y + 6 * step), x7 = Vec::Load(y + 7 * step);
                Butterfly<Vec>(x0, x1, ar, ai);
                Butterfly<Vec>(x2, x3, ar, ai);
                Butterfly<Vec>(x4, x5, ar, ai);
                Butterfly<Vec>(x6, x7, ar, ai);
                Butterfly<Vec>(x0, x2, b0r, b0i);
                Butterfly<Vec>(x1, x3, b1r, b1i);
                Butterfly<Vec>(x4, x6, b0r, b0i);
                Butterfly<Vec>(x5, x7, b1r, b1i);
                Butterfly<Vec>(x0, x4, Vec::Real(c), Vec::Imaginary(c));
                Butterfly<Vec>(x1, x5, Vec::Real(c + 4 * h), Vec::Imaginary(c + 4 * h));
                Butterfly<Vec>(x2, x6, Vec::Real(c + 8 * h), Vec::Imaginary(c + 8 * h));
                Butterfly<Vec>(x3, x7, Vec::Real(c + 12 * h), Vec::Imaginary(c + 12 * h));
                if constexpr (ToGrid) {
                    double* o = out + (b0 + p) * s + j;
                    const std::size_t g = h * s;  // grid doubles between the rows
                    Vec::Store(o, x0), Vec::Store(o + g, x1);
                    Vec::Store(o + 2 * g, x2), Vec::Store(o + 3 * g, x3);
                    Vec::Store(o + 4 * g, x4), Vec::Store(o + 5 * g, x5);
                    Vec::Store(o + 6 * g, x6), Vec::Store(o + 7 * g, x7);
                } else {
                    Vec::Store(y, x0), Vec::Store(y + step, x1);
                    Vec::Store(y + 2 * step, x2), Vec::Store(y + 3 * step, x3);
                    Vec::Store(y + 4 * step, x4), Vec::Store(y + 5 * step, x5);
                    Vec::Store(y + 6 * step, x6), Vec::Store(y + 7 * step, x7);
                }
            }
        }
}

// The passes of span q = first, 2*first, ..., last (n when not given); the one
// or two left over by the three-at-a-time sweeps go first, where the spans
// are short.
template <class Vec>
void Passes(double* buf, std::uint32_t n, std::uint32_t width, const double* w,
            std::uint32_t first, std::uint32_t last = 0)
{
    if (last == 0)
        last = n;
    std::uint32_t count = 0;
    for (std::uint32_t q = first; q <= last; q *= 2)
        ++count;
    std::uint32_t q = first;
    if (count % 3 == 1)
        Radix2<Vec>(buf, n, width, w, q), q *= 2;
    else if (count % 3 == 2)
        Radix4<Vec>(buf, n, width, w, q), q *= 4;
    for (; q <= last; q *= 8)
        Radix8<Vec>(buf, n, width, w, q);
}

// Gathering fused with the first log2(Rows) passes (Rows = 2, 4 or 8): each
// group of Rows positions is read from the grid at the reversed positions
// (scratch row t from grid row rev[t], grid rows s doubles apart), run through
// the passes of span 2 up to Rows in registers and written to scratch. The
// twiddles are those of Radix8 with q = 2: span 2 uses entry 0, span 4
// entries 1 and 2, span 8 entries 3 to 6.
template <class Vec, std::uint32_t Rows>
void GatherFirst(double* scratch, const double* block, std::size_t s, const std::uint16_t* rev,
                 std::uint32_t n, std::uint32_t width, const double* w)
{
    using Register = typename Vec::Register;
    constexpr std::uint32_t ahead = 32;  // positions fetched ahead of use
    for (std::uint32_t t0 = 0; t0 < n; t0 += Rows) {
        for (std::uint32_t k = 0; k < Rows && t0 + ahead + k < n; ++k) {
            const double* next = block + rev[t0 + ahead + k] * s;
            __builtin_prefetch(next);
            __builtin_prefetch(next + width - 1);
        }
        const double* in[Rows];
        for (std::uint32_t k = 0; k < Rows; ++k)
            in[k] = block + rev[t0 + k] * s;
        double* out = scratch + std::size_t(t0) * width;
        for (std::uint32_t j = 0; j < width; j += Vec::Lanes) {
            Register x[Rows];
            for (std::uint32_t k = 0; k < Rows; ++k)
                x[k] = Vec::Load(in[k] + j);
            for (std::uint32_t k = 0; k < Rows; k += 2)
                Butterfly<Vec>(x[k], x[k + 1], Vec::Real(w), Vec::Imaginary(w));
            if (Rows >= 4)
                for (std::uint32_t k = 0; k < Rows; k += 4) {
                    Butterfly<Vec>(x[k], x[k + 2], Vec::Real(w + 4), Vec::Imaginary(w + 4));
                    Butterfly<Vec>(x[k + 1], x[k + 3], Vec::Real(w + 8), Vec::Imaginary(w + 8));
                }
            if (Rows >= 8)
                for (std::uint32_t k = 0; k < 4; ++k)
                    Butterfly<Vec>(x[k], x[k + 4], Vec::Real(w + 12 + 4 * k),
                                   Vec::Imaginary(w + 12 + 4 * k));
            for (std::uint32_t k = 0; k < Rows; ++k)
                Vec::Store(out + k * width + j, x[k]);
        }
    }
}

// Gathering. The reordering of a dimension is a set of disjoint exchanges of
// positions t and rev[t], so what it leaves at position t is what stood at
// rev[t]: scratch row t is filled from position rev[t] (by reading the lines
// in order and writing row rev[t], or the other way round), run through the
// passes there, and written back to position t.

// Rows of the fastest dimension lie one after another, n elements each; Lines
// of them at a time (a multiple of K = Lanes/2, n >= K) are gathered side by
// side, K at a time: K positions t..t+K-1 of K lines are read as K registers,
// Vec::Transpose turns them into the scratch rows of those positions, stored
// whole; the writing back is the same transposition the other way.
template <class Vec, std::uint32_t Lines>
void GatherRows(double* grid, std::uint32_t Q, std::uint32_t n, const std::uint16_t* rev,
                const double* w, double* scratch)
{
    using Register = typename Vec::Register;
    constexpr std::uint32_t K = Vec::Lanes / 2;
    static_assert(Lines % K == 0, "whole registers of lines");
    constexpr std::uint32_t width = 2 * Lines;
    const std::size_t line = std::size_t(n) * 2;
    for (std::uint32_t l0 = 0; l0 < Q; l0 += Lines) {
        double* const lines = grid + std::size_t(l0) * line;
        for (std::uint32_t t = 0; t < n; t += K)
            for (std::uint32_t l = 0; l < Lines; l += K) {
                Register x[K];
                for (std::uint32_t k = 0; k < K; ++k)
                    x[k] = Vec::Load(lines + (l + k) * line + 2 * t);
                Vec::Transpose(x);
                for (std::uint32_t k = 0; k < K; ++k)
                    Vec::Store(scratch + rev[t + k] * width + 2 * l, x[k]);
            }
        Passes<Vec>(scratch, n, width, w, 2);
        for (std::uint32_t t = 0; t < n; t += K)
            for (std::uint32_t l = 0; l < Lines; l += K) {
                Register x[K];
                for (std::uint32_t k = 0; k < K; ++k)
                    x[k] = Vec::Load(scratch + (t + k) * width + 2 * l);
                Vec::Transpose(x);
                for (std::uint32_t k = 0; k < K; ++k)
                    Vec::Store(lines + (l + k) * line + 2 * t, x[k]);
            }
    }
}

// Lines of a slower dimension: P of them interleave, element t of line l of
// block b at grid[b*2Pn + 2Pt + 2l]; Lines neighbouring ones at a time are
// gathered, their elements at one position being one contiguous run.
template <class Vec, std::uint32_t Lines>
void GatherColumns(double* grid, std::uint32_t Q, std::uint32_t n, std::uint32_t P,
                   const std::uint16_t* rev, const double* w, double* scratch)
{
    constexpr std::uint32_t width = 2 * Lines;
    constexpr std::uint32_t ahead = 32;  // positions fetched ahead of use
    const std::uint32_t L = Log2(n);
    const std::size_t s = 2 * std::size_t(P);
    for (std::uint32_t b = 0; b < Q; ++b)
        for (std::uint32_t l0 = 0; l0 < P; l0 += Lines) {
            double* const block = grid + b * s * n + 2 * l0;
            // Enough passes fused with the gathering that the rest go three
            // at a time.
            if (L % 3 == 1)
                GatherFirst<Vec, 2>(scratch, block, s, rev, n, width, w);
            else if (L % 3 == 2)
                GatherFirst<Vec, 4>(scratch, block, s, rev, n, width, w);
            else
                GatherFirst<Vec, 8>(scratch, block, s, rev, n, width, w);
            const std::uint32_t first = L % 3 == 1 ? 4 : L % 3 == 2 ? 8 : 16;
            // The last three passes, when there are three after the fused
            // ones, write their results straight back to the lines: one
            // sweep over the buffer less. Only for lines up to 1024: longer
            // ones (every position its own page) were slower so, in eight
            // scattered streams, than written back in order.
            if (first <= n / 4 && n <= 1024) {
                Passes<Vec>(scratch, n, width, w, first, n / 8);
                Radix8<Vec, true>(scratch, n, width, w, n / 4, block, s);
                continue;
            }
            Passes<Vec>(scratch, n, width, w, first);
            for (std::uint32_t t = 0; t < n; ++t) {
                if (t + ahead < n) {
                    double* next = block + (t + ahead) * s;
                    __builtin_prefetch(next, 1);
                    __builtin_prefetch(next + width - 1, 1);
                }
                // Whole vectors: a quarter of the stores with AVX-512; the
                // runs are not aligned, but every one is written in full.
                double* out = block + t * s;
                for (std::uint32_t k = 0; k < width; k += Vec::Lanes)
                    Vec::Store(out + k, Vec::Load(scratch + t * width + k));
            }
        }
}

// Whether the lines fill whole registers of Vec: a scratch row at least one
// register wide, and for rows of the fastest dimension, lines of at least
// Lanes/2 elements for the transposition. Narrower ones go to a narrower set.
template <class Vec>
bool FillRegisters(const Lines& lines)
{
    const std::uint32_t side = SideBySide(lines);
    if (2 * side < Vec::Lanes)
        return false;
    return lines.P > 1 || lines.n >= Vec::Lanes / 2;
}

// The gathered lines of a dimension (see Lines), on registers of Vec, which
// they fill (FillRegisters). Example, a 4x8 grid (dims {4, 8}, N = 32), on
// SSE2. n = 8: the four rows of eight are gathered side by side, scratch row t
// holding element rev[t] of rows 0..3 (width 8 doubles). n = 4: P = 8 columns
// lie side by side, s = 16 doubles apart; one group of eight columns, scratch
// row t holding grid row rev[t].
template <class Vec>
void TransformLines(const Lines& lines)
{
    const std::uint32_t side = SideBySide(lines);
    double* const grid = lines.grid;
    const std::uint32_t n = lines.n, P = lines.P, Q = lines.Q;
    const double* const w = lines.twiddles;
    const std::uint16_t* const rev = lines.rev;
    double* const scratch = lines.scratch;
    // Each count of lines side by side is its own instantiation, so that the
    // width of a scratch row is known to the compiler.
    switch (side) {
    case 1:
        if constexpr (Vec::Lanes <= 2)
            GatherRows<Vec, 1>(grid, Q, n, rev, w, scratch);
        break;
    case 2:
        if constexpr (Vec::Lanes <= 4) {
            if (P == 1)
                GatherRows<Vec, 2>(grid, Q, n, rev, w, scratch);
            else
                GatherColumns<Vec, 2>(grid, Q, n, P, rev, w, scratch);
        }
        break;
    case 4:
        if (P == 1)
            GatherRows<Vec, 4>(grid, Q, n, rev, w, scratch);
        else
            GatherColumns<Vec, 4>(grid, Q, n, P, rev, w, scratch);
        break;
    case 8:
        GatherColumns<Vec, 8>(grid, Q, n, P, rev, w, scratch);
        break;
    case 16:
        GatherColumns<Vec, 16>(grid, Q, n, P, rev, w, scratch);
        break;
    }
}

}  // namespace fourier
