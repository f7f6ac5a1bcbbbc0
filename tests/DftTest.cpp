// The transform of any size: a long-double oracle on awkward shapes, round trips,
// the power-of-two bits, line-by-line equality, threads and the edges of its contract.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LiteralFourier.h"
#include "fourier/DftPlan.h"
#include "fourier/FourierTransform.h"

// Every allocation of the program is counted, so that a test can tell
// whether a call allocated.
namespace {
std::atomic<long> allocations{0};

void* Allocate(std::size_t size, std::size_t alignment)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    size = size == 0 ? 1 : size;
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(size)
                  : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (!p)
        throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) { return Allocate(size, std::size_t(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

constexpr double Sentinel = -9876.5;
constexpr std::size_t Guard = 4;  // doubles of sentinel after the grid

// Relative RMS error allowed against the long-double oracle and in a round trip.
constexpr double Tolerance = 1e-14;

using Dims = std::vector<std::uint32_t>;

std::size_t Count(const Dims& dims)
{
    std::size_t N = 1;
    for (auto n : dims)
        N *= n;
    return N;
}

std::string Name(const Dims& dims)
{
    std::string name;
    for (auto n : dims)
        name += (name.empty() ? "" : "x") + std::to_string(n);
    return name;
}

// The dimension list, used from index 1, with a marker at index 0.
std::vector<std::uint32_t> List(const Dims& dims)
{
    std::vector<std::uint32_t> list{0xdeadbeefu};
    list.insert(list.end(), dims.begin(), dims.end());
    return list;
}

// A grid of N elements used from index 1; index 0 and Guard doubles past the
// end hold a sentinel.
std::vector<double> Random(std::size_t N, std::uint32_t seed)
{
    std::vector<double> grid(2 * N + 1 + Guard, Sentinel);
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (std::size_t k = 1; k <= 2 * N; ++k)
        grid[k] = value(random);
    return grid;
}

void Transform(std::vector<double>& grid, const Dims& dims, int sign)
{
    const auto list = List(dims);
    fourier::Dft(grid.data(), list.data(), std::int32_t(dims.size()), sign);
    ASSERT_EQ(list[0], 0xdeadbeefu) << "entry 0 of the dimension list was written";
}

void ExpectSentinels(const std::vector<double>& grid, std::size_t N)
{
    EXPECT_EQ(grid[0], Sentinel) << "index 0 was written";
    for (std::size_t g = 0; g < Guard; ++g)
        EXPECT_EQ(grid[2 * N + 1 + g], Sentinel) << "written past the end, at " << 2 * N + 1 + g;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The first index where two grids differ in their bits, with both values.
std::string FirstDifference(const std::vector<double>& got, const std::vector<double>& want)
{
    for (std::size_t k = 0; k < got.size() && k < want.size(); ++k)
        if (std::memcmp(&got[k], &want[k], sizeof(double)) != 0)
            return "index " + std::to_string(k) + ": " + std::to_string(got[k]) + " instead of " +
                   std::to_string(want[k]);
    return got.size() == want.size() ? "none" : "sizes differ";
}

// The sum over all positions t of x_t exp(sign*i*2*pi*sum_d k_d t_d / n_d), in
// long double, the angle reduced exactly in integers before any rounding.
std::vector<std::complex<long double>> Oracle(const std::vector<double>& grid, const Dims& dims,
                                              int sign)
{
    const std::size_t N = Count(dims), D = dims.size();
    const long double pi = 3.141592653589793238462643383279502884L;
    std::vector<std::vector<std::size_t>> position(N, std::vector<std::size_t>(D));
    for (std::size_t k = 0; k < N; ++k)
        for (std::size_t d = D, r = k; d-- > 0; r /= dims[d])
            position[k][d] = r % dims[d];
    // The exponent as a fraction of a turn over L, the product of the lengths.
    std::vector<std::complex<long double>> out(N);
    const std::size_t L = N;
    std::vector<std::complex<long double>> turn(L);
    for (std::size_t m = 0; m < L; ++m) {
        const long double angle = sign * 2 * pi * (long double)m / (long double)L;
        turn[m] = {std::cos(angle), std::sin(angle)};
    }
    for (std::size_t f = 0; f < N; ++f) {
        std::complex<long double> sum = 0;
        for (std::size_t t = 0; t < N; ++t) {
            std::size_t m = 0;
            for (std::size_t d = 0; d < D; ++d)
                m += (position[f][d] * position[t][d] % dims[d]) * (L / dims[d]);
            sum += std::complex<long double>(grid[2 * t + 1], grid[2 * t + 2]) * turn[m % L];
        }
        out[f] = sum;
    }
    return out;
}

// sqrt(sum |got - want|^2 / sum |want|^2), and the worst element.
struct Error {
    double relative = 0;
    std::size_t worst = 0;
};

Error Compare(const std::vector<double>& got, const std::vector<std::complex<long double>>& want)
{
    long double error = 0, norm = 0, most = -1;
    Error result;
    for (std::size_t k = 0; k < want.size(); ++k) {
        const std::complex<long double> g(got[2 * k + 1], got[2 * k + 2]);
        const long double e = std::norm(g - want[k]);
        error += e;
        norm += std::norm(want[k]);
        if (e > most) {
            most = e;
            result.worst = k;
        }
    }
    result.relative = norm > 0 ? double(std::sqrt(error / norm)) : double(std::sqrt(error));
    return result;
}

// --- against the long-double oracle ----------------------------------------

struct Case {
    Dims dims;
    int sign;
};

std::string CaseName(const Case& c) { return Name(c.dims) + (c.sign > 0 ? "_forward" : "_inverse"); }
void PrintTo(const Case& c, std::ostream* os) { *os << CaseName(c); }

class DftOracle : public ::testing::TestWithParam<Case> {};

TEST_P(DftOracle, MatchesLongDoubleSum)
{
    const Case& c = GetParam();
    const std::size_t N = Count(c.dims);
    std::vector<double> grid = Random(N, std::uint32_t(N * 31 + c.dims.size()));
    const auto want = Oracle(grid, c.dims, c.sign);
    Transform(grid, c.dims, c.sign);
    const Error e = Compare(grid, want);
    EXPECT_LE(e.relative, Tolerance)
        << "worst at element " << e.worst << ": (" << grid[2 * e.worst + 1] << ", "
        << grid[2 * e.worst + 2] << ") instead of (" << double(want[e.worst].real()) << ", "
        << double(want[e.worst].imag()) << ")";
    ExpectSentinels(grid, N);
}

std::vector<Case> OracleCases()
{
    // Primes handled as radices (3, 5, 7, 11, 13, 17, 61), primes past the
    // largest radix (67, 97, 127: Bluestein), powers of odd primes, mixes of
    // all of them with twos, fours and eights (2^4, 2^5 and 2^7 times 3 take
    // the twos as 4 4, 4 8 and 4 4 8), and lengths of 1 among the others.
    const std::vector<Dims> shapes = {
        {3}, {5}, {7}, {12}, {17}, {97}, {6}, {9}, {10}, {11}, {13}, {25}, {27}, {49}, {61},
        {67}, {121}, {127}, {2 * 97}, {3 * 67}, {60}, {120}, {360}, {4 * 5 * 7 * 3},
        {48}, {96}, {384}, {24, 40},
        {1, 7}, {7, 1}, {3, 5}, {5, 3}, {12, 17}, {17, 12}, {2, 97}, {97, 2}, {7, 8}, {8, 7},
        {1, 12, 1}, {2, 3, 5}, {5, 3, 2}, {3, 4, 7}, {17, 1, 3}, {4, 9, 2}, {2, 2, 3},
        {6, 6, 6}, {3, 3, 3, 3}};
    std::vector<Case> cases;
    for (const auto& d : shapes)
        for (int sign : {+1, -1})
            cases.push_back({d, sign});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AwkwardShapes, DftOracle, ::testing::ValuesIn(OracleCases()),
                         [](const auto& info) { return CaseName(info.param); });

// --- round trips ---------------------------------------------------------------

class DftRoundTrip : public ::testing::TestWithParam<Case> {};

// One direction then the other gives N times the input, starting either way.
TEST_P(DftRoundTrip, GivesNTimesTheInput)
{
    const Case& c = GetParam();
    const std::size_t N = Count(c.dims);
    const std::vector<double> input = Random(N, std::uint32_t(N + 5));
    std::vector<double> grid = input;
    Transform(grid, c.dims, c.sign);
    Transform(grid, c.dims, -c.sign);
    std::vector<std::complex<long double>> want(N);
    for (std::size_t k = 0; k < N; ++k)
        want[k] = {(long double)N * input[2 * k + 1], (long double)N * input[2 * k + 2]};
    const Error e = Compare(grid, want);
    EXPECT_LE(e.relative, Tolerance)
        << "worst at element " << e.worst << ": (" << grid[2 * e.worst + 1] << ", "
        << grid[2 * e.worst + 2] << ") instead of N times (" << input[2 * e.worst + 1] << ", "
        << input[2 * e.worst + 2] << ")";
    ExpectSentinels(grid, N);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DftRoundTrip,
    ::testing::Values(Case{{1009}, +1}, Case{{1013}, -1}, Case{{451, 3}, +1}, Case{{30, 45}, -1},
                      Case{{6, 35, 2}, +1}, Case{{127, 9}, -1}, Case{{300, 451}, +1},
                      Case{{1080, 17}, -1}, Case{{3 * 61 * 61}, +1}, Case{{5, 4096}, -1},
                      Case{{2 * 3 * 5 * 7 * 11 * 13}, +1}),
    [](const auto& info) { return CaseName(info.param); });

// --- power-of-two grids: FourierTransform's bits --------------------------------

class DftPowersOfTwo : public ::testing::TestWithParam<Case> {};

TEST_P(DftPowersOfTwo, GiveTheLiteralAlgorithmsBits)
{
    const Case& c = GetParam();
    const std::size_t N = Count(c.dims);
    std::vector<double> grid = Random(N, std::uint32_t(N));
    std::vector<double> literal = grid;
    const auto list = List(c.dims);
    literal::FourierTransform(literal.data(), list.data(), std::int32_t(c.dims.size()), c.sign);
    Transform(grid, c.dims, c.sign);
    EXPECT_TRUE(SameBits(grid, literal)) << "first difference at " << FirstDifference(grid, literal);
}

INSTANTIATE_TEST_SUITE_P(Shapes, DftPowersOfTwo,
                         ::testing::Values(Case{{1}, +1}, Case{{2}, -1}, Case{{64}, +1},
                                           Case{{8, 16}, -1}, Case{{1, 32}, +1},
                                           Case{{2, 4, 8}, -1}, Case{{256, 128}, +1}),
                         [](const auto& info) { return CaseName(info.param); });

// --- lines side by side give the bits of lines alone ----------------------------

// The grid's transform equals, bit for bit, each line transformed on its own
// (a one-dimensional call) along the fastest dimension, then along the
// slower: the lines run side by side in vector lanes, some of them padding,
// and none may change another's bits.
class DftLineByLine : public ::testing::TestWithParam<Case> {};

TEST_P(DftLineByLine, GridEqualsItsLinesOneByOne)
{
    const Case& c = GetParam();
    const std::uint32_t H = c.dims[0], W = c.dims[1];
    const std::size_t N = std::size_t(H) * W;
    std::vector<double> grid = Random(N, 77);
    std::vector<double> byLines = grid;
    Transform(grid, c.dims, c.sign);

    std::vector<double> line;
    const auto one = [&](std::uint32_t n, std::size_t first, std::size_t step) {
        line.assign(2 * std::size_t(n) + 1, 0.0);
        for (std::uint32_t t = 0; t < n; ++t) {
            line[2 * t + 1] = byLines[2 * (first + t * step) + 1];
            line[2 * t + 2] = byLines[2 * (first + t * step) + 2];
        }
        Transform(line, {n}, c.sign);
        for (std::uint32_t t = 0; t < n; ++t) {
            byLines[2 * (first + t * step) + 1] = line[2 * t + 1];
            byLines[2 * (first + t * step) + 2] = line[2 * t + 2];
        }
    };
    for (std::uint32_t y = 0; y < H; ++y)
        one(W, std::size_t(y) * W, 1);
    for (std::uint32_t x = 0; x < W; ++x)
        one(H, x, W);
    EXPECT_TRUE(SameBits(grid, byLines)) << "first difference at " << FirstDifference(grid, byLines);
}

// Counts of lines that fill the widest registers, leave some lanes empty, or
// are fewer than one register's worth; Bluestein lengths among them.
INSTANTIATE_TEST_SUITE_P(Shapes, DftLineByLine,
                         ::testing::Values(Case{{3, 5}, +1}, Case{{17, 12}, -1},
                                           Case{{9, 67}, +1}, Case{{67, 9}, -1},
                                           Case{{8, 30}, +1}, Case{{30, 16}, -1},
                                           Case{{1, 45}, +1}, Case{{45, 1}, -1},
                                           Case{{13, 97}, +1}),
                         [](const auto& info) { return CaseName(info.param); });

// --- every instruction set gives the same bits -----------------------------------

class DftPaths : public ::testing::TestWithParam<Case> {};

// Each path this processor has, forced, against the default one: different
// widths side by side, the same arithmetic in every lane.
TEST_P(DftPaths, EveryPathGivesTheSameBits)
{
    const Case& c = GetParam();
    const std::size_t N = Count(c.dims);
    const std::vector<double> input = Random(N, 12);
    std::vector<double> expected = input;
    Transform(expected, c.dims, c.sign);
    const auto list = List(c.dims);
    const std::pair<fourier::Path, const char*> paths[] = {
        {fourier::Path::Sse2, "SSE2"}, {fourier::Path::Avx2, "AVX2"}, {fourier::Path::Avx512, "AVX-512"}};
    for (const auto& [path, name] : paths) {
        if (!fourier::Supported(path))
            continue;
        std::vector<double> grid = input;
        fourier::Dft(path, grid.data(), list.data(), std::int32_t(c.dims.size()), c.sign);
        EXPECT_TRUE(SameBits(grid, expected))
            << "the " << name << " path, first difference at " << FirstDifference(grid, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, DftPaths,
                         ::testing::Values(Case{{45, 12}, +1}, Case{{9, 67}, -1},
                                           Case{{13, 32}, +1}, Case{{3, 5, 7}, -1},
                                           Case{{100}, +1}, Case{{19, 20}, -1},
                                           Case{{16, 16}, +1}),
                         [](const auto& info) { return CaseName(info.param); });

// --- threads and the cache of tables -------------------------------------------

// Calls on several threads at once, on more lengths than the cache keeps, so
// that tables are made, shared and let go while others use them: every
// result has the bits of the same call made alone beforehand.
TEST(DftThreads, CallsAtOnceGiveTheBitsOfCallsAlone)
{
    const std::vector<Dims> shapes = {{45, 12},  {97, 10}, {7, 67},  {30, 30}, {11, 13},
                                      {120, 9},  {5, 127}, {60, 3},  {81, 25}, {14, 22},
                                      {1013},    {6, 49}};
    std::vector<std::vector<double>> inputs, expected;
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        inputs.push_back(Random(Count(shapes[s]), std::uint32_t(s)));
        expected.push_back(inputs.back());
        Transform(expected.back(), shapes[s], s % 2 ? -1 : +1);
    }
    constexpr int Threads = 4;
    std::atomic<int> ready{0};
    std::vector<std::string> failures[Threads];
    const auto run = [&](int thread) {
        ready.fetch_add(1);
        while (ready.load() < Threads) {
        }
        for (int round = 0; round < 6; ++round)
            for (std::size_t k = 0; k < shapes.size(); ++k) {
                const std::size_t s = (k + std::size_t(thread) * 5) % shapes.size();
                std::vector<double> grid = inputs[s];
                Transform(grid, shapes[s], s % 2 ? -1 : +1);
                if (!SameBits(grid, expected[s]))
                    failures[thread].push_back(Name(shapes[s]) + " round " +
                                               std::to_string(round) + ", " +
                                               FirstDifference(grid, expected[s]));
            }
    };
    std::vector<std::thread> others;
    for (int t = 1; t < Threads; ++t)
        others.emplace_back(run, t);
    run(0);
    for (auto& t : others)
        t.join();
    for (int t = 0; t < Threads; ++t)
        for (const auto& f : failures[t])
            ADD_FAILURE() << "thread " << t << ": " << f;
}

// A call on sizes seen just before takes its tables from the cache and its
// work lines from the pool: it allocates nothing.
TEST(DftAllocation, ASecondCallOnTheSameSizesAllocatesNothing)
{
    const std::vector<Dims> shapes = {{300, 451}, {1013}, {9, 67}, {16, 30}, {5, 7, 11}};
    for (const auto& dims : shapes) {
        std::vector<double> grid = Random(Count(dims), 4);
        const auto list = List(dims);
        const auto count = std::int32_t(dims.size());
        fourier::Dft(grid.data(), list.data(), count, +1);
        const long before = allocations.load();
        fourier::Dft(grid.data(), list.data(), count, +1);
        EXPECT_EQ(allocations.load() - before, 0) << Name(dims) << ": allocations in the second call";
    }
}

// --- edges of the contract --------------------------------------------------------

struct Untouched {
    const char* name;
    Dims dims;
    std::int32_t count;
};

void PrintTo(const Untouched& c, std::ostream* os) { *os << c.name; }

class DftUntouched : public ::testing::TestWithParam<Untouched> {};

// A grid far smaller than the lengths would ask for: nothing may be read or
// written, let alone past its end.
TEST_P(DftUntouched, LeavesTheGridAsItWas)
{
    const Untouched& c = GetParam();
    std::vector<double> grid = Random(6, 3);
    const std::vector<double> before = grid;
    const auto list = List(c.dims);
    fourier::Dft(grid.data(), list.data(), c.count, +1);
    EXPECT_TRUE(SameBits(grid, before)) << "first difference at " << FirstDifference(grid, before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DftUntouched,
    ::testing::Values(Untouched{"count_zero", {6}, 0}, Untouched{"count_negative", {6}, -3},
                      Untouched{"length_zero", {0}, 1}, Untouched{"zero_among_others", {3, 0, 5}, 3},
                      Untouched{"all_ones", {1, 1, 1}, 3}, Untouched{"single_one", {1}, 1},
                      Untouched{"beyond_2_to_28", {3, 1u << 27}, 2},
                      Untouched{"product_overflows_32_bits", {65536, 65537}, 2},
                      Untouched{"largest_length", {0xffffffffu}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Written-out cases: a constant gives N times it at frequency zero and zero
// elsewhere; an impulse at element 1 of a line of 3 gives the cube roots of
// unity in the direction of the sign.
TEST(DftEdges, ConstantGridConcentratesAtZero)
{
    for (int sign : {+1, -1}) {
        const Dims dims{6, 15};
        const std::size_t N = 90;
        std::vector<double> grid(2 * N + 1, 0.0);
        for (std::size_t k = 0; k < N; ++k)
            grid[2 * k + 1] = 3.0, grid[2 * k + 2] = -2.0;
        Transform(grid, dims, sign);
        EXPECT_NEAR(grid[1], 270.0, 1e-12);
        EXPECT_NEAR(grid[2], -180.0, 1e-12);
        for (std::size_t k = 1; k < N; ++k) {
            EXPECT_NEAR(grid[2 * k + 1], 0.0, 1e-12) << "sign " << sign << ", element " << k;
            EXPECT_NEAR(grid[2 * k + 2], 0.0, 1e-12) << "sign " << sign << ", element " << k;
        }
    }
}

TEST(DftEdges, ImpulseGivesRootsOfUnityInTheSignsDirection)
{
    const double r = std::sqrt(3.0) / 2;
    for (int sign : {+1, -1}) {
        std::vector<double> grid{Sentinel, 0, 0, 1, 0, 0, 0};
        Transform(grid, {3}, sign);
        const double want[] = {1, 0, -0.5, sign * r, -0.5, -sign * r};
        for (int k = 0; k < 6; ++k)
            EXPECT_NEAR(grid[k + 1], want[k], 1e-15) << "sign " << sign << ", index " << k + 1;
    }
}

}  // namespace
