// The butterfly passes of one dimension on lines gathered side by side, for
// one instruction set. Included once per instruction set, each time inside
// its own namespace that defines the vector types V2 and V and under the
// matching target options, so this file has no include guard.
//
// Symbols (as in FourierTransform.cpp): n the length of the lines, q the span
// of a pass in elements, p the offset inside a span, h = q/2. A gathered buffer
// holds n rows; row t is element t of every gathered line, as complex pairs
// (re, im), `width` doubles in all. The twiddle table w holds, for the pass of
// span q, the value (wr, wi) the recurrence reached after p steps at entry
// q/2 - 1 + p, stored as the four doubles (wr, wr, -wi, wi) that the vectors
// are loaded from (so 4(n - 1) doubles for all passes of a line).
//
// A vector type provides T, Doubles, Load/Store (aligned), LoadUnaligned/
// StoreUnaligned, Add, Sub, Mul, Swap (exchanges re and im of each complex),
// Real (wr in every lane) and Imaginary (-wi, wi, ... so that one sum gives
// both tr and ti), the last two from a table entry; the AVX-512 one also
// Transpose4 (see GatherFourRows).

// One butterfly on rows a and b, all lanes: the same two products and sum or
// difference per output as the scalar form, nothing fused.
//   t  = wr*b + (-wi, wi)*swap(b)  ->  (wr*br - wi*bi, wr*bi + wi*br) = (tr, ti)
//   b' = a - t;  a' = a + t
template <class Vec>
inline void Butterfly(typename Vec::T& a, typename Vec::T& b, typename Vec::T wr,
                      typename Vec::T wi)
{
    const typename Vec::T t = Vec::Add(Vec::Mul(wr, b), Vec::Mul(wi, Vec::Swap(b)));
    b = Vec::Sub(a, t);
    a = Vec::Add(a, t);
}

// The pass of span q alone.
template <class Vec>
void Radix2(double* buf, std::uint32_t n, std::uint32_t width, const double* w, std::uint32_t q)
{
    using T = typename Vec::T;
    const std::uint32_t h = q / 2;
    for (std::uint32_t b0 = 0; b0 < n; b0 += q)
        for (std::uint32_t p = 0; p < h; ++p) {
            const double* e = w + 4 * (h - 1 + p);
            const T wr = Vec::Real(e), wi = Vec::Imaginary(e);
            double* r0 = buf + std::size_t(b0 + p) * width;
            double* r1 = r0 + std::size_t(h) * width;
            for (std::uint32_t j = 0; j < width; j += Vec::Doubles) {
                T x0 = Vec::Load(r0 + j), x1 = Vec::Load(r1 + j);
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
    using T = typename Vec::T;
    const std::uint32_t h = q / 2;
    const std::size_t step = std::size_t(h) * width;
    for (std::uint32_t b0 = 0; b0 < n; b0 += 2 * q)
        for (std::uint32_t p = 0; p < h; ++p) {
            const double* a = w + 4 * (h - 1 + p);  // span q, offset p
            const double* b = w + 4 * (q - 1 + p);  // span 2q, offsets p and p+h
            const T ar = Vec::Real(a), ai = Vec::Imaginary(a);
            const T b0r = Vec::Real(b), b0i = Vec::Imaginary(b);
            const T b1r = Vec::Real(b + 4 * h), b1i = Vec::Imaginary(b + 4 * h);
            double* r = buf + std::size_t(b0 + p) * width;
            for (std::uint32_t j = 0; j < width; j += Vec::Doubles) {
                T x0 = Vec::Load(r + j), x1 = Vec::Load(r + step + j);
                T x2 = Vec::Load(r + 2 * step + j), x3 = Vec::Load(r + 3 * step + j);
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
    using T = typename Vec::T;
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
            const T ar = Vec::Real(a), ai = Vec::Imaginary(a);
            const T b0r = Vec::Real(b), b0i = Vec::Imaginary(b);
            const T b1r = Vec::Real(b + 4 * h), b1i = Vec::Imaginary(b + 4 * h);
            double* r = buf + std::size_t(b0 + p) * width;
            for (std::uint32_t j = 0; j < width; j += Vec::Doubles) {
                double* y = r + j;
                T x0 = Vec::Load(y), x1 = Vec::Load(y + step);
                T x2 = Vec::Load(y + 2 * step), x3 = Vec::Load(y + 3 * step);
                T x4 = Vec::Load(y + 4 * step), x5 = Vec::Load(y + 5 * step);
                T x6 = Vec::Load(y + 6 * step), x7 = Vec::Load(y + 7 * step);
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
                    Vec::StoreUnaligned(o, x0), Vec::StoreUnaligned(o + g, x1);
                    Vec::StoreUnaligned(o + 2 * g, x2), Vec::StoreUnaligned(o + 3 * g, x3);
                    Vec::StoreUnaligned(o + 4 * g, x4), Vec::StoreUnaligned(o + 5 * g, x5);
                    Vec::StoreUnaligned(o + 6 * g, x6), Vec::StoreUnaligned(o + 7 * g, x7);
                } else {
                    Vec::Store(y, x0), Vec::Store(y + step, x1);
                    Vec::Store(y + 2 * step, x2), Vec::Store(y + 3 * step, x3);
                    Vec::Store(y + 4 * step, x4), Vec::Store(y + 5 * step, x5);
                    Vec::Store(y + 6 * step, x6), Vec::Store(y + 7 * step, x7);
                }
            }
        }
}

// The passes of span q = first, 2*first, ..., n; the one or two left over by
// the three-at-a-time sweeps go first, where the spans are short.
// Only up to span `last` when given.
template <class Vec>
void AllPasses(double* buf, std::uint32_t n, std::uint32_t width, const double* w,
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

// All passes from span `first` on, on a gathered buffer (64-byte aligned),
// with the wide vectors when a row holds enough doubles for them.
inline void Passes(double* buf, std::uint32_t n, std::uint32_t width, const double* w,
                   std::uint32_t first = 2)
{
    if (width % V::Doubles == 0)
        AllPasses<V>(buf, n, width, w, first);
    else
        AllPasses<V2>(buf, n, width, w, first);
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
    using T = typename Vec::T;
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
        for (std::uint32_t j = 0; j < width; j += Vec::Doubles) {
            T x[Rows];
            for (std::uint32_t k = 0; k < Rows; ++k)
                x[k] = Vec::LoadUnaligned(in[k] + j);
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
// passes there, and written back to position t. grid is
// element 0 (index 1 of the caller's array); scratch is 64-byte aligned and
// holds n rows of 2*Lines doubles.

// Four rows at a time when one vector holds a scratch row of them (eight
// doubles): four positions t..t+3 of the four lines are read as four vectors,
// Vec::Transpose4 turns them into the scratch rows of those positions, which
// are stored whole; the writing back is the same transposition the other way.
// A quarter of the loads and stores of the general GatherRows. Needs n >= 4.
template <class Vec>
void GatherFourRows(double* grid, std::uint32_t Q, std::uint32_t n, const std::uint16_t* rev,
                    const double* w, double* scratch)
{
    using T = typename Vec::T;
    constexpr std::uint32_t width = 8;
    const std::size_t line = std::size_t(n) * 2;
    for (std::uint32_t l0 = 0; l0 < Q; l0 += 4) {
        double* const lines = grid + std::size_t(l0) * line;
        for (std::uint32_t t = 0; t < n; t += 4) {
            T x[4];
            for (std::uint32_t l = 0; l < 4; ++l)
                x[l] = Vec::LoadUnaligned(lines + l * line + 2 * t);
            Vec::Transpose4(x);
            for (std::uint32_t k = 0; k < 4; ++k)
                Vec::Store(scratch + rev[t + k] * width, x[k]);
        }
        Passes(scratch, n, width, w);
        for (std::uint32_t t = 0; t < n; t += 4) {
            T x[4];
            for (std::uint32_t k = 0; k < 4; ++k)
                x[k] = Vec::Load(scratch + (t + k) * width);
            Vec::Transpose4(x);
            for (std::uint32_t l = 0; l < 4; ++l)
                Vec::StoreUnaligned(lines + l * line + 2 * t, x[l]);
        }
    }
}

// Rows of the fastest dimension lie one after another, n elements each;
// Lines of them at a time are gathered side by side.
template <std::uint32_t Lines>
void GatherRows(double* grid, std::uint32_t Q, std::uint32_t n, const std::uint16_t* rev,
                const double* w, double* scratch)
{
    constexpr std::uint32_t width = 2 * Lines;
    if constexpr (width == V::Doubles && Lines == 4)
        if (n >= 4)
            return GatherFourRows<V>(grid, Q, n, rev, w, scratch);
    for (std::uint32_t l0 = 0; l0 < Q; l0 += Lines) {
        double* const lines = grid + std::size_t(l0) * n * 2;
        const std::size_t line = std::size_t(n) * 2;
        // Position by position, so that each scratch row is written whole.
        for (std::uint32_t t = 0; t < n; ++t)
            for (std::uint32_t l = 0; l < Lines; ++l)
                V2::Store(scratch + rev[t] * width + 2 * l,
                          V2::LoadUnaligned(lines + l * line + 2 * t));
        Passes(scratch, n, width, w);
        for (std::uint32_t t = 0; t < n; ++t)
            for (std::uint32_t l = 0; l < Lines; ++l)
                V2::StoreUnaligned(lines + l * line + 2 * t,
                                   V2::Load(scratch + t * width + 2 * l));
    }
}

// Lines of a slower dimension: P of them interleave, element t of line l of
// block b at grid[b*2Pn + 2Pt + 2l]; Lines neighbouring ones at a time are
// gathered, their elements at one position being one contiguous run.
template <std::uint32_t Lines>
void GatherColumns(double* grid, std::uint32_t Q, std::uint32_t n, std::uint32_t P,
                   const std::uint16_t* rev, const double* w, double* scratch)
{
    constexpr std::uint32_t width = 2 * Lines;
    constexpr std::uint32_t ahead = 32;  // positions fetched ahead of use
    using Vec = std::conditional_t<width % V::Doubles == 0, V, V2>;
    std::uint32_t L = 0;
    while ((std::uint32_t(1) << L) < n)
        ++L;
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
                AllPasses<Vec>(scratch, n, width, w, first, n / 8);
                Radix8<Vec, true>(scratch, n, width, w, n / 4, block, s);
                continue;
            }
            AllPasses<Vec>(scratch, n, width, w, first);
            for (std::uint32_t t = 0; t < n; ++t) {
                if (t + ahead < n) {
                    double* next = block + (t + ahead) * s;
                    __builtin_prefetch(next, 1);
                    __builtin_prefetch(next + width - 1, 1);
                }
                // Whole vectors: a quarter of the stores with AVX-512; the
                // runs are not aligned, but every one is written in full.
                double* out = block + t * s;
                for (std::uint32_t k = 0; k < width; k += Vec::Doubles)
                    Vec::StoreUnaligned(out + k, Vec::Load(scratch + t * width + k));
            }
        }
}
