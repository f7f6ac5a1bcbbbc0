// The transform of any size: power-of-two grids through FourierTransform, the others by mixed radix and Bluestein.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "fourier/DftPlan.h"
#include "fourier/FourierTransform.h"
#include "fourier/FourierTwiddles.h"

namespace fourier {

namespace {

bool PowerOfTwo(std::uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

// (cos, sin) of 2*pi*k/n in extended precision, rounded once to double. The
// angle is first brought into the first eighth of the turn in integers (a
// turn is 8n units, k is 8k of them), exactly, so that the sine and cosine
// see small arguments only: quicker, and as accurate.
void Root(double* out, std::uint64_t k, std::uint64_t n)
{
    const long double pi = 3.141592653589793238462643383279502884L;
    const std::uint64_t quarter = 2 * n;
    const std::uint64_t a = 8 * (k % n);
    const std::uint64_t q = a / quarter;
    std::uint64_t r = a % quarter;
    const bool past = r > n;  // beyond the eighth: from the other end of the quarter
    if (past)
        r = quarter - r;
    const long double x = 2 * pi * (long double)r / (long double)(8 * n);
    long double c = std::cos(x), s = std::sin(x);
    if (past) {
        const long double t = c;
        c = s;
        s = t;
    }
    // Turned by q quarters: (c, s) -> (-s, c) -> (-c, -s) -> (s, -c).
    const long double cq[4] = {c, -s, -c, s}, sq[4] = {s, c, -s, -c};
    out[0] = double(cq[q]);
    out[1] = double(sq[q]);
}

// Root(k, n) for every k < n.
std::vector<double> Roots(std::uint32_t n)
{
    std::vector<double> roots(2 * std::size_t(n));
    for (std::uint32_t k = 0; k < n; ++k)
        Root(&roots[2 * std::size_t(k)], k, n);
    return roots;
}

// The radices of n, in the order the passes take them (see DftPlan.h); empty
// when n has a prime factor above LargestRadix.
std::vector<std::uint32_t> Radices(std::uint32_t n)
{
    std::vector<std::uint32_t> radices;
    // The twos in as few passes as they go: 2^e as 8s, with one or two 4s
    // (or one 2) for what is left over.
    std::uint32_t e = 0;
    while (n % 2 == 0) {
        n /= 2;
        ++e;
    }
    std::uint32_t eights = e / 3;
    if (e % 3 == 1 && eights > 0) {
        --eights;
        radices.push_back(4);
        radices.push_back(4);
    } else if (e % 3 == 1) {
        radices.push_back(2);
    } else if (e % 3 == 2) {
        radices.push_back(4);
    }
    radices.insert(radices.end(), eights, 8);
    for (std::uint32_t p = 3; n > 1 && p <= LargestRadix; p += 2)
        while (n % p == 0) {
            radices.push_back(p);
            n /= p;
        }
    if (n > 1)
        radices.clear();
    return radices;
}

// The smallest length >= least whose only factors are 2, 3 and 5.
std::uint32_t SmoothLength(std::uint64_t least)
{
    std::uint64_t best = std::uint64_t(1) << 40;
    for (std::uint64_t f5 = 1; f5 < best; f5 *= 5)
        for (std::uint64_t f35 = f5; f35 < best; f35 *= 3) {
            std::uint64_t f = f35;
            while (f < least)
                f *= 2;
            best = std::min(best, f);
        }
    return std::uint32_t(best);
}

void Complete(DftPlan& plan)
{
    plan.passList = plan.passes.data();
    plan.passCount = std::uint32_t(plan.passes.size());
    plan.forwardPlan = plan.forward.get();
    plan.backwardPlan = plan.backward.get();
    plan.reversalValues = plan.reversal.data();
    plan.recurrenceValues = plan.recurrence.data();
    plan.chirpValues = plan.chirp.data();
    plan.kernelValues = plan.kernel.data();
}

std::unique_ptr<DftPlan> MixedRadixPlan(std::uint32_t n, std::int32_t sign,
                                        const std::vector<std::uint32_t>& radices)
{
    auto plan = std::make_unique<DftPlan>();
    plan->n = n;
    plan->sign = sign;
    // Where each pass's tables start in storage, before any pointer is taken.
    std::vector<std::size_t> twiddleAt, rootAt;
    std::size_t size = 0;
    std::uint32_t l1 = 1;
    for (const std::uint32_t p : radices) {
        const std::uint32_t ido = n / (l1 * p);
        twiddleAt.push_back(size);
        size += 2 * std::size_t(p - 1) * (ido - 1);
        rootAt.push_back(size);
        if (p % 2 == 1)
            size += 2 * std::size_t(p);
        l1 *= p;
    }
    plan->storage.assign(size, 0.0);
    const std::vector<double> turn = Roots(n);
    l1 = 1;
    for (std::size_t s = 0; s < radices.size(); ++s) {
        const std::uint32_t p = radices[s], ido = n / (l1 * p);
        double* const tw = plan->storage.data() + twiddleAt[s];
        double* const roots = plan->storage.data() + rootAt[s];
        for (std::uint32_t u = 1; u < p; ++u)
            for (std::uint32_t i = 1; i < ido; ++i) {
                double* const w = tw + 2 * (std::size_t(u - 1) * (ido - 1) + i - 1);
                const std::size_t k = std::uint64_t(u) * l1 * i % n;
                w[0] = turn[2 * k];
                w[1] = sign * turn[2 * k + 1];
            }
        if (p % 2 == 1)
            for (std::uint32_t m = 0; m < p; ++m)
                Root(roots + 2 * m, m, p);
        plan->passes.push_back(DftPass{p, l1, ido, tw, p % 2 == 1 ? roots : nullptr});
        l1 *= p;
    }
    Complete(*plan);
    return plan;
}

std::unique_ptr<DftPlan> PowerOfTwoPlan(std::uint32_t n, std::int32_t sign)
{
    auto plan = std::make_unique<DftPlan>();
    plan->n = n;
    plan->sign = sign;
    plan->powerOfTwo = true;
    std::uint32_t bits = 0;
    while ((std::uint32_t(1) << bits) < n)
        ++bits;
    plan->reversal.resize(n);
    plan->reversal[0] = 0;
    for (std::uint32_t t = 1; t < n; ++t)
        plan->reversal[t] = (plan->reversal[t >> 1] >> 1) | ((t & 1) << (bits - 1));
    plan->recurrence.resize(4 * std::size_t(n - 1));
    TwiddleTable(plan->recurrence.data(), n, sign);
    Complete(*plan);
    return plan;
}

std::unique_ptr<DftPlan> BluesteinPlan(std::uint32_t n, std::int32_t sign)
{
    auto plan = std::make_unique<DftPlan>();
    plan->n = n;
    plan->sign = sign;
    plan->bluestein = true;
    const std::uint32_t m = SmoothLength(2 * std::uint64_t(n) - 1);
    plan->m = m;
    // Accurate roots even when m is a power of two: these lines are no
    // dimension of the caller's grid.
    plan->forward = MixedRadixPlan(m, -1, Radices(m));
    plan->backward = MixedRadixPlan(m, +1, Radices(m));
    // b_j = exp(sign*i*pi*j^2/n), with j^2 taken modulo 2n so that the angle
    // stays below 2*pi.
    plan->chirp.resize(2 * std::size_t(n));
    for (std::uint64_t j = 0; j < n; ++j) {
        Root(&plan->chirp[2 * j], (j * j) % (2 * std::uint64_t(n)), 2 * std::uint64_t(n));
        plan->chirp[2 * j + 1] *= sign;
    }
    // The transform (sign -1) of conj(b) laid round the cycle of m, over m.
    std::vector<double> a(2 * std::size_t(m), 0.0), b(2 * std::size_t(m), 0.0);
    for (std::uint32_t j = 0; j < n; ++j) {
        const double re = plan->chirp[2 * j], im = -plan->chirp[2 * j + 1];
        a[2 * j] = re;
        a[2 * j + 1] = im;
        if (j > 0) {
            a[2 * (m - j)] = re;
            a[2 * (m - j) + 1] = im;
        }
    }
    const double* const r = dft_sse2::Line(*plan->forward, a.data(), b.data());
    plan->kernel.resize(2 * std::size_t(m));
    for (std::size_t k = 0; k < 2 * std::size_t(m); ++k)
        plan->kernel[k] = r[k] / double(m);
    Complete(*plan);
    return plan;
}

// The plans of the last few lengths and signs, shared by every thread: a plan
// never changes once made, and a call keeps the ones it uses alive until it
// ends, even if the cache lets them go meanwhile.
class PlanCache {
public:
    std::shared_ptr<const DftPlan> Get(std::uint32_t n, std::int32_t sign)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (Entry* e = Find(n, sign))
                return e->plan;
        }
        // Made outside the lock: a long one must not hold up other lengths.
        std::shared_ptr<const DftPlan> plan = MakeDftPlan(n, sign);
        const std::lock_guard<std::mutex> lock(mutex);
        if (Entry* e = Find(n, sign))
            return e->plan;  // another thread made it meanwhile
        Entry* oldest = &entries[0];
        for (Entry& e : entries)
            if (e.used < oldest->used)
                oldest = &e;
        *oldest = Entry{n, sign, ++clock, plan};
        return plan;
    }

private:
    struct Entry {
        std::uint32_t n = 0;
        std::int32_t sign = 0;
        std::uint64_t used = 0;
        std::shared_ptr<const DftPlan> plan;
    };

    Entry* Find(std::uint32_t n, std::int32_t sign)
    {
        for (Entry& e : entries)
            if (e.plan && e.n == n && e.sign == sign) {
                e.used = ++clock;
                return &e;
            }
        return nullptr;
    }

    std::mutex mutex;
    Entry entries[8];  // two lengths in both directions, twice over
    std::uint64_t clock = 0;
};

PlanCache& Plans()
{
    static PlanCache cache;
    return cache;
}

// Work buffers, 64-byte aligned, lent to one call at a time. A buffer comes
// back to the pool for the next call, which grows it only if it needs more;
// one above KeepDoubles is let go instead, so that a single huge call does
// not hold its memory for ever.
constexpr std::size_t KeepDoubles = std::size_t(1) << 22;  // 32 MiB

struct Buffer {
    double* data = nullptr;
    std::size_t size = 0;
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { ::operator delete(data, std::align_val_t(64)); }
    void Reserve(std::size_t doubles)
    {
        if (doubles <= size)
            return;
        double* const fresh =
            static_cast<double*>(::operator new(doubles * sizeof(double), std::align_val_t(64)));
        ::operator delete(data, std::align_val_t(64));
        data = fresh;
        size = doubles;
    }
};

class BufferPool {
public:
    // Room for the idle buffers from the start, so that giving one back
    // never allocates (it runs in a destructor).
    BufferPool() { idle.reserve(64); }
    std::unique_ptr<Buffer> Take()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!idle.empty()) {
                std::unique_ptr<Buffer> buffer = std::move(idle.back());
                idle.pop_back();
                return buffer;
            }
        }
        return std::make_unique<Buffer>();
    }
    void Give(std::unique_ptr<Buffer> buffer)
    {
        if (buffer->size > KeepDoubles)
            return;
        const std::lock_guard<std::mutex> lock(mutex);
        if (idle.size() < idle.capacity())
            idle.push_back(std::move(buffer));
    }

private:
    std::mutex mutex;
    std::vector<std::unique_ptr<Buffer>> idle;
};

BufferPool& Buffers()
{
    static BufferPool pool;
    return pool;
}

// A buffer for the length of one call, given back when the call ends.
class Lease {
public:
    Lease() : buffer(Buffers().Take()) {}
    ~Lease() { Buffers().Give(std::move(buffer)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Buffer& operator*() { return *buffer; }

private:
    std::unique_ptr<Buffer> buffer;
};

std::uint32_t WidthOf(Path path)
{
    switch (path) {
    case Path::Avx512:
        return dft_avx512::Width;
    case Path::Avx2:
        return dft_avx2::Width;
    case Path::Sse2:
        break;
    }
    return dft_sse2::Width;
}

// Each length >= 2 contributes a factor of at least two, so a grid of at
// most 2^28 elements has at most 28 dimensions that need work.
constexpr std::uint64_t MostElements = std::uint64_t(1) << 28;
constexpr int MostWorking = 28;

}  // namespace

std::unique_ptr<DftPlan> MakeDftPlan(std::uint32_t n, std::int32_t sign)
{
    if (n > 1 && PowerOfTwo(n))
        return PowerOfTwoPlan(n, sign);
    const std::vector<std::uint32_t> radices = Radices(n);
    if (n > 1 && radices.empty())
        return BluesteinPlan(n, sign);
    return MixedRadixPlan(n, sign, radices);
}

void Dft(double* grid, const std::uint32_t* dims, std::int32_t count, std::int32_t sign)
{
    static const Path path = Supported(Path::Avx512) ? Path::Avx512
                             : Supported(Path::Avx2) ? Path::Avx2
                                                     : Path::Sse2;
    Dft(path, grid, dims, count, sign);
}

// Every plan and the buffer are had before the grid is touched: if memory
// runs out, std::bad_alloc leaves the grid as it was. Lines fewer than a
// set's width run one at a time.
void Dft(Path path, double* grid, const std::uint32_t* dims, std::int32_t count,
         std::int32_t sign)
{
    std::uint64_t N = 1;
    bool powers = true;
    for (std::int32_t d = 1; d <= count; ++d) {
        if (dims[d] == 0)
            return;
        N *= dims[d];
        if (N > MostElements)
            return;
        powers = powers && PowerOfTwo(dims[d]);
    }
    if (powers) {
        Transform(path, grid, dims, count, sign);
        return;
    }
    const std::int32_t s = sign > 0 ? +1 : -1;
    std::shared_ptr<const DftPlan> plans[MostWorking];
    std::uint32_t widths[MostWorking];
    std::size_t scratch = 0;
    int working = 0;
    for (std::int32_t d = count; d >= 1; --d) {
        if (dims[d] == 1)
            continue;
        plans[working] = Plans().Get(dims[d], s);
        const std::uint64_t lines = N / dims[d];
        widths[working] = lines >= WidthOf(path) ? WidthOf(path) : 1;
        scratch = std::max(scratch, DftScratchDoubles(*plans[working], widths[working]));
        ++working;
    }
    Lease lease;
    (*lease).Reserve(scratch);
    std::uint32_t P = 1;
    int w = 0;
    for (std::int32_t d = count; d >= 1; --d) {
        const std::uint32_t n = dims[d];
        if (n == 1)
            continue;
        const DftLines lines{grid + 1,         n, P, std::uint32_t(N / (std::uint64_t(n) * P)),
                             plans[w].get(), (*lease).data, widths[w]};
        switch (path) {
        case Path::Avx512:
            dft_avx512::Dimension(lines);
            break;
        case Path::Avx2:
            dft_avx2::Dimension(lines);
            break;
        case Path::Sse2:
            dft_sse2::Dimension(lines);
            break;
        }
        P *= n;
        ++w;
    }
}

}  // namespace fourier
