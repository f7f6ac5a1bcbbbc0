// The passes of a line of any length and the lines of a dimension, written once over a vector type.
#pragma once

// This header is included by one file per instruction set, inside that set's
// target region, after DftPlan.h (which brings the standard headers in outside
// it). Everything here sits in an unnamed namespace, so that each file gets
// its own copy, compiled for its own set.
//
// A vector type T holds one double per line run side by side (its width);
// Cx<T> is one element of all of them, the real parts in one vector and the
// imaginary parts in another, so that a complex product is plain lane-by-lane
// products and sums. A width of one is the plain double. The work lines are
// arrays of Cx<T>.

namespace fourier {
namespace {

// Copied part by part: copied as a whole, GCC moves it in 16-byte pieces and
// then reads it back in whole vectors, which stalls the loads.
template <class T>
struct Cx {
    T r, i;
    Cx() = default;
    Cx(T re, T im) : r(re), i(im) {}
    Cx(const Cx& o) : r(o.r), i(o.i) {}
    Cx& operator=(const Cx& o)
    {
        r = o.r;
        i = o.i;
        return *this;
    }
};

template <class T>
constexpr std::uint32_t WidthOf = sizeof(T) / sizeof(double);

// x in every lane, written out so that it compiles to one broadcast (a loop
// of lane stores goes through memory).
template <class T>
inline T Splat(double x)
{
    if constexpr (WidthOf<T> == 1)
        return x;
    else if constexpr (WidthOf<T> == 2)
        return T{x, x};
    else if constexpr (WidthOf<T> == 4)
        return T{x, x, x, x};
    else
        return T{x, x, x, x, x, x, x, x};
}

// W doubles from anywhere, and back.
template <class T>
inline T Load(const double* p)
{
    T v;
    __builtin_memcpy(&v, p, sizeof(T));
    return v;
}

template <class T>
inline void Store(double* p, T v)
{
    __builtin_memcpy(p, &v, sizeof(T));
}

// (re, im) pairs of W elements in lo and hi (W each) into their real parts
// and their imaginary parts, and back.
template <class T>
inline Cx<T> Deinterleave(T lo, T hi)
{
    if constexpr (WidthOf<T> == 1)
        return {lo, hi};
    else if constexpr (WidthOf<T> == 2)
        return {__builtin_shufflevector(lo, hi, 0, 2), __builtin_shufflevector(lo, hi, 1, 3)};
    else if constexpr (WidthOf<T> == 4)
        return {__builtin_shufflevector(lo, hi, 0, 2, 4, 6),
                __builtin_shufflevector(lo, hi, 1, 3, 5, 7)};
    else
        return {__builtin_shufflevector(lo, hi, 0, 2, 4, 6, 8, 10, 12, 14),
                __builtin_shufflevector(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15)};
}

template <class T>
inline void Interleave(Cx<T> e, T& lo, T& hi)
{
    if constexpr (WidthOf<T> == 1) {
        lo = e.r;
        hi = e.i;
    } else if constexpr (WidthOf<T> == 2) {
        lo = __builtin_shufflevector(e.r, e.i, 0, 2);
        hi = __builtin_shufflevector(e.r, e.i, 1, 3);
    } else if constexpr (WidthOf<T> == 4) {
        lo = __builtin_shufflevector(e.r, e.i, 0, 4, 1, 5);
        hi = __builtin_shufflevector(e.r, e.i, 2, 6, 3, 7);
    } else {
        lo = __builtin_shufflevector(e.r, e.i, 0, 8, 1, 9, 2, 10, 3, 11);
        hi = __builtin_shufflevector(e.r, e.i, 4, 12, 5, 13, 6, 14, 7, 15);
    }
}

template <class T>
inline void SetLane(T& v, std::uint32_t k, double x)
{
    if constexpr (WidthOf<T> == 1)
        v = x;
    else
        v[k] = x;
}

template <class T>
inline double GetLane(const T& v, std::uint32_t k)
{
    if constexpr (WidthOf<T> == 1)
        return v;
    else
        return v[k];
}

template <class T>
inline Cx<T> operator+(Cx<T> a, Cx<T> b)
{
    return {a.r + b.r, a.i + b.i};
}

template <class T>
inline Cx<T> operator-(Cx<T> a, Cx<T> b)
{
    return {a.r - b.r, a.i - b.i};
}

// a times (wr, wi): two products and their difference or sum per part.
template <class T>
inline Cx<T> Times(Cx<T> a, T wr, T wi)
{
    return {a.r * wr - a.i * wi, a.r * wi + a.i * wr};
}

template <class T>
inline Cx<T> Times(Cx<T> a, const double* w)
{
    return Times(a, Splat<T>(w[0]), Splat<T>(w[1]));
}

// i*sign*a: a swap and a change of sign, exact.
template <class T, int Sign>
inline Cx<T> TimesISign(Cx<T> a)
{
    if constexpr (Sign > 0)
        return {-a.i, a.r};
    else
        return {a.i, -a.r};
}

// A W x W transposition of doubles: x[v][c] becomes x[c][v]. Its own
// inverse. In log2(W) rounds, each exchanging blocks of lanes between pairs
// of vectors.
template <class T>
inline void Transpose(T* x)
{
    if constexpr (WidthOf<T> == 2) {
        const T a = __builtin_shufflevector(x[0], x[1], 0, 2);
        x[1] = __builtin_shufflevector(x[0], x[1], 1, 3);
        x[0] = a;
    } else if constexpr (WidthOf<T> == 4) {
        const T a0 = __builtin_shufflevector(x[0], x[1], 0, 4, 2, 6);
        const T a1 = __builtin_shufflevector(x[0], x[1], 1, 5, 3, 7);
        const T a2 = __builtin_shufflevector(x[2], x[3], 0, 4, 2, 6);
        const T a3 = __builtin_shufflevector(x[2], x[3], 1, 5, 3, 7);
        x[0] = __builtin_shufflevector(a0, a2, 0, 1, 4, 5);
        x[2] = __builtin_shufflevector(a0, a2, 2, 3, 6, 7);
        x[1] = __builtin_shufflevector(a1, a3, 0, 1, 4, 5);
        x[3] = __builtin_shufflevector(a1, a3, 2, 3, 6, 7);
    } else if constexpr (WidthOf<T> == 8) {
        // Rows v, v+1 interleave their even columns and their odd ones; then
        // pairs of those; then halves.
        T b[8], c[8];
        for (int v = 0; v < 8; v += 2) {
            b[v] = __builtin_shufflevector(x[v], x[v + 1], 0, 8, 2, 10, 4, 12, 6, 14);
            b[v + 1] = __builtin_shufflevector(x[v], x[v + 1], 1, 9, 3, 11, 5, 13, 7, 15);
        }
        for (int v : {0, 1, 4, 5}) {
            c[v] = __builtin_shufflevector(b[v], b[v + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            c[v + 2] = __builtin_shufflevector(b[v], b[v + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
        for (int v = 0; v < 4; ++v) {
            x[v] = __builtin_shufflevector(c[v], c[v + 4], 0, 1, 2, 3, 8, 9, 10, 11);
            x[v + 4] = __builtin_shufflevector(c[v], c[v + 4], 4, 5, 6, 7, 12, 13, 14, 15);
        }
    }
}

// The radix-point transforms of the passes, in place on t[0..radix).

template <class T, int Sign>
inline void Butterfly2(Cx<T>* t)
{
    const Cx<T> a = t[0], b = t[1];
    t[0] = a + b;
    t[1] = a - b;
}

// With w = i*sign, the fourth root of unity of the sign: w^2 = -1, w^3 = -w.
template <class T, int Sign>
inline void Butterfly4(Cx<T>* t)
{
    const Cx<T> a = t[0] + t[2], b = t[0] - t[2];
    const Cx<T> c = t[1] + t[3], d = TimesISign<T, Sign>(t[1] - t[3]);
    t[0] = a + c;
    t[1] = b + d;
    t[2] = a - c;
    t[3] = b - d;
}

// Radix 8 as two of radix 4, on the even inputs and on the odd ones, joined
// with w^k, w = exp(sign*2*pi*i/8) = (1 + i*sign)/sqrt(2): w^2 = i*sign and
// w^3 = i*sign*w.
template <class T, int Sign>
inline void Butterfly8(Cx<T>* t)
{
    Cx<T> e[4] = {t[0], t[2], t[4], t[6]}, o[4] = {t[1], t[3], t[5], t[7]};
    Butterfly4<T, Sign>(e);
    Butterfly4<T, Sign>(o);
    const T h = Splat<T>(0.70710678118654752440);
    // w*a = h*((a.r - sign*a.i) + i*(a.i + sign*a.r))
    const auto timesW = [h](Cx<T> a) {
        if constexpr (Sign > 0)
            return Cx<T>{(a.r - a.i) * h, (a.i + a.r) * h};
        else
            return Cx<T>{(a.r + a.i) * h, (a.i - a.r) * h};
    };
    const Cx<T> o1 = timesW(o[1]);
    const Cx<T> o2 = TimesISign<T, Sign>(o[2]);
    const Cx<T> o3 = TimesISign<T, Sign>(timesW(o[3]));
    t[0] = e[0] + o[0];
    t[4] = e[0] - o[0];
    t[1] = e[1] + o1;
    t[5] = e[1] - o1;
    t[2] = e[2] + o2;
    t[6] = e[2] - o2;
    t[3] = e[3] + o3;
    t[7] = e[3] - o3;
}

// An odd radix p, h = (p-1)/2: the inputs j and p-j pair up, s_j their sum and
// d_j their difference, so that with angle = 2*pi*u*j/p
//   y_u   = t_0 + sum_j s_j cos(angle) + i*sign * sum_j d_j sin(angle),
//   y_p-u = the same with the second sum subtracted.
// P is the radix when known at compile time (0 otherwise, then p is).
template <class T, int Sign, std::uint32_t P>
inline void ButterflyOdd(Cx<T>* t, std::uint32_t p, const double* roots)
{
    if constexpr (P != 0)
        p = P;
    constexpr std::uint32_t Most = P != 0 ? (P - 1) / 2 : (LargestRadix - 1) / 2;
    const std::uint32_t h = (p - 1) / 2;
    Cx<T> s[Most], d[Most];
    const Cx<T> t0 = t[0];
    Cx<T> y0 = t0;
    for (std::uint32_t j = 1; j <= h; ++j) {
        s[j - 1] = t[j] + t[p - j];
        d[j - 1] = t[j] - t[p - j];
        y0 = y0 + s[j - 1];
    }
    for (std::uint32_t u = 1; u <= h; ++u) {
        const T c1 = Splat<T>(roots[2 * u]), sn1 = Splat<T>(roots[2 * u + 1]);
        Cx<T> a{t0.r + s[0].r * c1, t0.i + s[0].i * c1};
        Cx<T> b{d[0].r * sn1, d[0].i * sn1};
        std::uint32_t m = u;  // u*j mod p
        for (std::uint32_t j = 2; j <= h; ++j) {
            m += u;
            if (m >= p)
                m -= p;
            const T c = Splat<T>(roots[2 * m]), sn = Splat<T>(roots[2 * m + 1]);
            a.r = a.r + s[j - 1].r * c;
            a.i = a.i + s[j - 1].i * c;
            b.r = b.r + d[j - 1].r * sn;
            b.i = b.i + d[j - 1].i * sn;
        }
        const Cx<T> ib = TimesISign<T, Sign>(b);
        t[u] = a + ib;
        t[p - u] = a - ib;
    }
    t[0] = y0;
}

template <class T, int Sign, std::uint32_t Radix>
inline void Butterfly(Cx<T>* t, std::uint32_t p, const double* roots)
{
    if constexpr (Radix == 2)
        Butterfly2<T, Sign>(t);
    else if constexpr (Radix == 4)
        Butterfly4<T, Sign>(t);
    else if constexpr (Radix == 8)
        Butterfly8<T, Sign>(t);
    else
        ButterflyOdd<T, Sign, Radix>(t, p, roots);
}

// One pass (see DftPass) from cc to ch. Radix 0 stands for any odd radix up
// to LargestRadix, read from the pass.
template <class T, int Sign, std::uint32_t Radix>
void Pass(const DftPass& pass, const Cx<T>* cc, Cx<T>* ch)
{
    constexpr std::uint32_t Most = Radix != 0 ? Radix : LargestRadix;
    const std::uint32_t p = Radix != 0 ? Radix : pass.radix;
    const std::uint32_t l1 = pass.l1, ido = pass.ido;
    const double* const tw = pass.twiddles;
    Cx<T> t[Most];
    for (std::uint32_t k = 0; k < l1; ++k) {
        const Cx<T>* const in = cc + std::size_t(ido) * p * k;
        Cx<T>* const out = ch + std::size_t(ido) * k;
        const std::size_t outStep = std::size_t(ido) * l1;
        // i = 0: every twiddle is 1.
        for (std::uint32_t j = 0; j < p; ++j)
            t[j] = in[std::size_t(ido) * j];
        Butterfly<T, Sign, Radix>(t, p, pass.roots);
        for (std::uint32_t u = 0; u < p; ++u)
            out[outStep * u] = t[u];
        for (std::uint32_t i = 1; i < ido; ++i) {
            for (std::uint32_t j = 0; j < p; ++j)
                t[j] = in[i + std::size_t(ido) * j];
            Butterfly<T, Sign, Radix>(t, p, pass.roots);
            out[i] = t[0];
            for (std::uint32_t u = 1; u < p; ++u)
                out[i + outStep * u] = Times(t[u], tw + 2 * (std::size_t(u - 1) * (ido - 1) + i - 1));
        }
    }
}

template <class T, int Sign>
void PassOfSign(const DftPass& pass, const Cx<T>* cc, Cx<T>* ch)
{
    switch (pass.radix) {
    case 2:
        return Pass<T, Sign, 2>(pass, cc, ch);
    case 3:
        return Pass<T, Sign, 3>(pass, cc, ch);
    case 4:
        return Pass<T, Sign, 4>(pass, cc, ch);
    case 5:
        return Pass<T, Sign, 5>(pass, cc, ch);
    case 8:
        return Pass<T, Sign, 8>(pass, cc, ch);
    case 7:
        return Pass<T, Sign, 7>(pass, cc, ch);
    case 11:
        return Pass<T, Sign, 11>(pass, cc, ch);
    case 13:
        return Pass<T, Sign, 13>(pass, cc, ch);
    default:
        return Pass<T, Sign, 0>(pass, cc, ch);
    }
}

// The passes of a mixed-radix plan over the line in a, using b: returns the
// one of them that holds the result.
template <class T>
Cx<T>* MixedRadix(const DftPlan& plan, Cx<T>* a, Cx<T>* b)
{
    for (std::uint32_t k = 0; k < plan.passCount; ++k) {
        const DftPass& pass = plan.passList[k];
        if (plan.sign > 0)
            PassOfSign<T, +1>(pass, a, b);
        else
            PassOfSign<T, -1>(pass, a, b);
        Cx<T>* const swap = a;
        a = b;
        b = swap;
    }
    return a;
}

// A line by Bluestein's chirp (see DftPlan): the n values in a, a and b each
// with room for m.
template <class T>
Cx<T>* Bluestein(const DftPlan& plan, Cx<T>* a, Cx<T>* b)
{
    const std::uint32_t n = plan.n, m = plan.m;
    const double* const chirp = plan.chirpValues;
    for (std::uint32_t j = 0; j < n; ++j)
        a[j] = Times(a[j], chirp + 2 * j);
    for (std::uint32_t j = n; j < m; ++j)
        a[j] = Cx<T>{Splat<T>(0.0), Splat<T>(0.0)};
    Cx<T>* r = MixedRadix(*plan.forwardPlan, a, b);
    const double* const kernel = plan.kernelValues;
    for (std::uint32_t k = 0; k < m; ++k)
        r[k] = Times(r[k], kernel + 2 * k);
    r = MixedRadix(*plan.backwardPlan, r, r == a ? b : a);
    for (std::uint32_t k = 0; k < n; ++k)
        r[k] = Times(r[k], chirp + 2 * k);
    return r;
}

// A power of two as FourierTransform's algorithm has it: a into b through
// the reversal, then every pass in place, each butterfly with the twiddle and
// the arithmetic of the algorithm (tr and ti complete before any write).
template <class T>
Cx<T>* PowerOfTwo(const DftPlan& plan, Cx<T>* a, Cx<T>* b)
{
    const std::uint32_t n = plan.n;
    const std::uint32_t* const rev = plan.reversalValues;
    for (std::uint32_t t = 0; t < n; ++t)
        b[t] = a[rev[t]];
    for (std::uint32_t h = 1; h < n; h *= 2) {
        const double* const w = plan.recurrenceValues + 4 * std::size_t(h - 1);
        for (std::uint32_t p = 0; p < h; ++p) {
            const T wr = Splat<T>(w[4 * p]), wi = Splat<T>(w[4 * p + 3]);
            for (std::uint32_t block = 0; block < n; block += 2 * h) {
                Cx<T>& x = b[block + p];
                Cx<T>& y = b[block + p + h];
                const T tr = wr * y.r - wi * y.i;
                const T ti = wr * y.i + wi * y.r;
                y.r = x.r - tr;
                y.i = x.i - ti;
                x.r = x.r + tr;
                x.i = x.i + ti;
            }
        }
    }
    return b;
}

template <class T>
Cx<T>* RunLine(const DftPlan& plan, Cx<T>* a, Cx<T>* b)
{
    if (plan.powerOfTwo)
        return PowerOfTwo(plan, a, b);
    return plan.bluestein ? Bluestein(plan, a, b) : MixedRadix(plan, a, b);
}

// The lines of a dimension, WidthOf<T> side by side (the last group padded
// with zero lines, whose results are dropped). Rows of the fastest dimension
// (P = 1) lie one after another, n elements each; lines of a slower one
// interleave, element t of line l of block b at element b*P*n + t*P + l, so
// that neighbouring lines at one position are neighbours in memory.
template <class T>
void LinesOf(const DftLines& lines)
{
    constexpr std::uint32_t W = WidthOf<T>;
    const std::uint32_t n = lines.n, P = lines.P, Q = lines.Q;
    const DftPlan& plan = *lines.plan;
    Cx<T>* const a = reinterpret_cast<Cx<T>*>(lines.scratch);
    Cx<T>* const b = a + plan.Elements();
    const Cx<T> zero{Splat<T>(0.0), Splat<T>(0.0)};
    // One group: `count` lines, line v's element t at first + v*lineStep + t*step
    // (in elements).
    const auto group = [&](double* first, std::size_t lineStep, std::size_t step,
                           std::uint32_t count) {
        for (std::uint32_t t = 0; t < n; ++t) {
            Cx<T> e = zero;
            const double* const at = first + 2 * step * t;
            for (std::uint32_t v = 0; v < count; ++v) {
                SetLane(e.r, v, at[2 * lineStep * v]);
                SetLane(e.i, v, at[2 * lineStep * v + 1]);
            }
            a[t] = e;
        }
        const Cx<T>* const r = RunLine(plan, a, b);
        for (std::uint32_t t = 0; t < n; ++t) {
            const Cx<T> e = r[t];
            double* const at = first + 2 * step * t;
            for (std::uint32_t v = 0; v < count; ++v) {
                at[2 * lineStep * v] = GetLane(e.r, v);
                at[2 * lineStep * v + 1] = GetLane(e.i, v);
            }
        }
    };
    // A full group of neighbouring lines of a slower dimension: the W lines'
    // values at one position are 2W doubles in a row.
    const auto neighbours = [&](double* first) {
        const std::size_t step = 2 * std::size_t(P);
        for (std::uint32_t t = 0; t < n; ++t) {
            const double* const at = first + step * t;
            a[t] = Deinterleave(Load<T>(at), Load<T>(at + W));
        }
        const Cx<T>* const r = RunLine(plan, a, b);
        for (std::uint32_t t = 0; t < n; ++t) {
            double* const at = first + step * t;
            T lo, hi;
            Interleave(r[t], lo, hi);
            Store(at, lo);
            Store(at + W, hi);
        }
    };
    // A full group of rows: K = W/2 consecutive elements of each of the W
    // rows are W doubles, which one transposition turns into the real and
    // imaginary parts of the W rows at those K positions.
    const auto rows = [&](double* first) {
        constexpr std::uint32_t K = W / 2;
        const std::size_t line = 2 * std::size_t(n);
        std::uint32_t t = 0;
        for (; t + K <= n; t += K) {
            T x[W];
            for (std::uint32_t v = 0; v < W; ++v)
                x[v] = Load<T>(first + v * line + 2 * t);
            Transpose(x);
            for (std::uint32_t k = 0; k < K; ++k)
                a[t + k] = Cx<T>{x[2 * k], x[2 * k + 1]};
        }
        for (; t < n; ++t)
            for (std::uint32_t v = 0; v < W; ++v) {
                SetLane(a[t].r, v, first[v * line + 2 * t]);
                SetLane(a[t].i, v, first[v * line + 2 * t + 1]);
            }
        const Cx<T>* const r = RunLine(plan, a, b);
        for (t = 0; t + K <= n; t += K) {
            T x[W];
            for (std::uint32_t k = 0; k < K; ++k) {
                x[2 * k] = r[t + k].r;
                x[2 * k + 1] = r[t + k].i;
            }
            Transpose(x);
            for (std::uint32_t v = 0; v < W; ++v)
                Store(first + v * line + 2 * t, x[v]);
        }
        for (; t < n; ++t)
            for (std::uint32_t v = 0; v < W; ++v) {
                first[v * line + 2 * t] = GetLane(r[t].r, v);
                first[v * line + 2 * t + 1] = GetLane(r[t].i, v);
            }
    };
    if (P == 1) {
        for (std::uint32_t l0 = 0; l0 < Q; l0 += W) {
            double* const first = lines.grid + 2 * std::size_t(l0) * n;
            if constexpr (W > 1)
                if (Q - l0 >= W) {
                    rows(first);
                    continue;
                }
            group(first, n, 1, Q - l0 < W ? Q - l0 : W);
        }
        return;
    }
    for (std::uint32_t block = 0; block < Q; ++block)
        for (std::uint32_t l0 = 0; l0 < P; l0 += W) {
            double* const first = lines.grid + 2 * (std::size_t(block) * P * n + l0);
            if constexpr (W > 1)
                if (P - l0 >= W) {
                    neighbours(first);
                    continue;
                }
            group(first, 1, P, P - l0 < W ? P - l0 : W);
        }
}

}  // namespace
}  // namespace fourier
