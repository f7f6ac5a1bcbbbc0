// The entry of the transform: checks, dimension walk, choice of instruction set.
#include "fourier/FourierTransform.h"

#include <atomic>
#include <cstdint>
#include <new>

#include "fourier/FourierDimension.h"
#include "fourier/FourierTwiddles.h"

namespace fourier {

namespace {

// Lengths the index arithmetic can serve: each a power of two, and 2N within
// 32 bits with room for one more block step (N <= 2^30).
bool Acceptable(const std::uint32_t* dims, std::int32_t count)
{
    std::uint64_t N = 1;
    for (std::int32_t d = 1; d <= count; ++d) {
        const std::uint32_t n = dims[d];
        if (n == 0 || (n & (n - 1)) != 0)
            return false;
        N *= n;
        if (N > (std::uint64_t(1) << 30))
            return false;
    }
    return true;
}

// The twiddle and reversal tables of one line length and sign.
struct Tables {
    std::uint32_t n = 0;
    std::int32_t sign = 0;
    alignas(64) double twiddles[4 * (Gathered - 1)];
    std::uint16_t rev[Gathered];
    alignas(64) double pairs[8 * (Gathered / 2 - 1)];
};

// What the gathered passes work in: more than the stack should hold, so one
// set in static storage, lent to one call at a time, and a spare for a call
// that finds it lent (the lab transforms its two sides at once), made the
// first time it is wanted and kept. The tables depend on the length and sign
// only, so the last few are kept from call to call: enough for the two
// lengths of a picture in both directions.
struct Workspace {
    alignas(64) double scratch[ScratchDoubles];
    alignas(64) double block[BlockDoubles];
    Tables tables[4];
    std::uint32_t oldest = 0;

    const Tables& For(std::uint32_t n, std::int32_t sign)
    {
        for (const Tables& t : tables)
            if (t.n == n && t.sign == sign)
                return t;
        Tables& t = tables[oldest];
        oldest = (oldest + 1) % 4;
        TwiddleTable(t.twiddles, n, sign);
        ReversalTable(t.rev, n);
        if (n >= 4)
            PairTable(t.pairs, t.twiddles, n);
        t.n = n;
        t.sign = sign;
        return t;
    }
};
Workspace workspace;
std::atomic_flag lent = ATOMIC_FLAG_INIT;
Workspace* spare = nullptr;  // made and read only by the holder of spareLent
std::atomic_flag spareLent = ATOMIC_FLAG_INIT;

// A workspace for this call, or none when both are lent (or the spare cannot
// be had).
Workspace* Borrow()
{
    if (!lent.test_and_set(std::memory_order_acquire))
        return &workspace;
    if (spareLent.test_and_set(std::memory_order_acquire))
        return nullptr;
    if (!spare)
        spare = new (std::nothrow) Workspace;
    if (!spare)
        spareLent.clear(std::memory_order_release);
    return spare;
}

void GiveBack(Workspace* w)
{
    if (w == &workspace)
        lent.clear(std::memory_order_release);
    else
        spareLent.clear(std::memory_order_release);
}

}  // namespace

bool Supported(Path path)
{
    switch (path) {
    case Path::Sse2:
        return true;
    case Path::Avx2:
        return __builtin_cpu_supports("avx2");
    case Path::Avx512:
        // It hands lines too few to fill its registers to the AVX2 code.
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2");
    }
    return false;
}

void TransformInPlace(double* x, const std::uint32_t* dims, std::int32_t count,
                      std::int32_t sign)
{
    if (count < 1 || !Acceptable(dims, count))
        return;
    std::uint32_t N = 1;
    for (std::int32_t d = 1; d <= count; ++d)
        N *= dims[d];
    std::uint32_t P = 1;
    for (std::int32_t d = count; d >= 1; --d) {
        if (dims[d] > 1)
            InPlace(x, N, dims[d], P, sign);
        P *= dims[d];
    }
}

// A call that finds both workspaces lent, to calls on other threads, runs
// every dimension in place instead: slower, the same bits.
void Transform(Path path, double* x, const std::uint32_t* dims, std::int32_t count,
               std::int32_t sign)
{
    if (count < 1 || !Acceptable(dims, count))
        return;
    Workspace* const lease = Borrow();
    if (!lease)
        return TransformInPlace(x, dims, count, sign);
    Workspace& workspace = *lease;
    std::uint32_t N = 1;
    for (std::int32_t d = 1; d <= count; ++d)
        N *= dims[d];
    std::uint32_t P = 1;
    for (std::int32_t d = count; d >= 1; --d) {
        const std::uint32_t n = dims[d];
        if (n > Gathered) {
            InPlace(x, N, n, P, sign);
        } else if (n > 1) {
            const Tables& tables = workspace.For(n, sign);
            const Lines lines{x + 1, n, P, N / (n * P), tables.twiddles, tables.rev,
                              tables.pairs, workspace.scratch, workspace.block};
            switch (path) {
            case Path::Sse2:
                sse2::TransformDimension(lines);
                break;
            case Path::Avx2:
                avx2::TransformDimension(lines);
                break;
            case Path::Avx512:
                avx512::TransformDimension(lines);
                break;
            }
        }
        P *= n;
    }
    GiveBack(lease);
}

void FourierTransform(double* x, const std::uint32_t* dims, std::int32_t count, std::int32_t sign)
{
    static const Path path = Supported(Path::Avx512) ? Path::Avx512
                             : Supported(Path::Avx2) ? Path::Avx2
                                                     : Path::Sse2;
    Transform(path, x, dims, count, sign);
}

}  // namespace fourier
