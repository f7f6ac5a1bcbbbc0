// The transform: bit equality with the literal algorithm, accuracy against a
// naive DFT, and the edge cases of its contract.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "LiteralFourier.h"
#include "fourier/FourierDimension.h"
#include "fourier/FourierTransform.h"

namespace {

constexpr double Sentinel = -12345.678;
constexpr int Guard = 4;  // doubles of sentinel after the grid

// A grid of N complex elements used from index 1, with index 0 and Guard
// doubles past its end holding a sentinel.
struct Grid {
    explicit Grid(std::size_t N) : values(2 * N + 1 + Guard, Sentinel) {}
    double* data() { return values.data(); }
    std::size_t Elements() const { return (values.size() - 1 - Guard) / 2; }
    double& re(std::size_t k) { return values[2 * k + 1]; }
    double& im(std::size_t k) { return values[2 * k + 2]; }
    void Fill(std::uint32_t seed, double scale)
    {
        std::mt19937_64 random(seed);
        std::uniform_real_distribution<double> value(-scale, scale);
        for (std::size_t k = 0; k < Elements(); ++k) {
            re(k) = value(random);
            im(k) = value(random);
        }
    }
    void Zero()
    {
        for (std::size_t k = 0; k < Elements(); ++k)
            re(k) = im(k) = 0.0;
    }
    bool SameBits(const Grid& other) const
    {
        return values.size() == other.values.size() &&
               std::memcmp(values.data(), other.values.data(), values.size() * sizeof(double)) == 0;
    }
    std::vector<double> values;
};

std::vector<std::uint32_t> DimList(const std::vector<std::uint32_t>& dims)
{
    std::vector<std::uint32_t> list{0xdeadbeefu};
    list.insert(list.end(), dims.begin(), dims.end());
    return list;
}

std::size_t Count(const std::vector<std::uint32_t>& dims)
{
    std::size_t N = 1;
    for (auto n : dims)
        N *= n;
    return N;
}

std::string Name(const std::vector<std::uint32_t>& dims, int sign)
{
    std::string name;
    for (auto n : dims)
        name += (name.empty() ? "" : "x") + std::to_string(n);
    return name + (sign > 0 ? "_forward" : "_inverse");
}

// --- bit equality with the literal algorithm ---------------------------------

struct Shape {
    std::vector<std::uint32_t> dims;
    int sign;
};

void PrintTo(const Shape& shape, std::ostream* os) { *os << Name(shape.dims, shape.sign); }
void PrintTo(const struct Impulse& c, std::ostream* os);

class BitExact : public ::testing::TestWithParam<Shape> {};

// Random values, and values drawn from {+0, -0, +1, -1}: the signs of zero
// tell whether every twiddle product is formed, even with the twiddle (1, 0).
void FillSignedZeros(Grid& grid, std::uint32_t seed)
{
    const double choices[] = {0.0, -0.0, 1.0, -1.0, -0.0, 0.0};
    std::mt19937 random(seed);
    for (std::size_t k = 0; k < grid.Elements(); ++k) {
        grid.re(k) = choices[random() % 6];
        grid.im(k) = choices[random() % 6];
    }
}

// The processor's flags as the kernel lists them, read apart from the
// library's own check of the processor.
const std::set<std::string>& ProcessorFlags()
{
    static const std::set<std::string> flags = [] {
        std::ifstream cpuinfo("/proc/cpuinfo");
        std::string line;
        while (std::getline(cpuinfo, line))
            if (line.rfind("flags", 0) == 0) {
                std::istringstream words(line.substr(line.find(':') + 1));
                return std::set<std::string>(std::istream_iterator<std::string>(words),
                                             std::istream_iterator<std::string>());
            }
        return std::set<std::string>();
    }();
    return flags;
}

// Whether this machine can run the path, by its flags. The AVX-512 path hands
// lines too few for its registers to the AVX2 code, so it needs both.
bool MachineHas(fourier::Path path)
{
    const auto has = [](const char* flag) { return ProcessorFlags().count(flag) > 0; };
    switch (path) {
    case fourier::Path::Sse2:
        return has("sse2");
    case fourier::Path::Avx2:
        return has("avx2");
    case fourier::Path::Avx512:
        return has("avx512f") && has("avx2");
    }
    return false;
}

// Every path this machine has is run and compared, whatever Supported() says of
// it, and Supported() must agree with the flags: a path left out by a wrong
// check fails here instead of going untested. Also compared: the in-place
// route a call takes when another thread holds the workspace.
TEST_P(BitExact, EqualsLiteralAlgorithmOnEveryPath)
{
    const Shape& shape = GetParam();
    const auto list = DimList(shape.dims);
    const auto count = std::int32_t(shape.dims.size());
    const auto seed = static_cast<std::uint32_t>(Count(shape.dims) * 7 + shape.sign);
    ASSERT_FALSE(ProcessorFlags().empty()) << "no processor flags in /proc/cpuinfo";
    for (const bool zeros : {false, true}) {
        Grid input(Count(shape.dims));
        if (zeros)
            FillSignedZeros(input, seed);
        else
            input.Fill(seed, 65793.0 * 255);
        Grid slow = input;
        literal::FourierTransform(slow.data(), list.data(), count, shape.sign);
        const char* const values = zeros ? " (signed zeros)" : "";

        Grid fast = input;
        fourier::FourierTransform(fast.data(), list.data(), count, shape.sign);
        EXPECT_TRUE(fast.SameBits(slow)) << "results differ from the literal algorithm" << values;
        const std::pair<fourier::Path, const char*> paths[] = {
            {fourier::Path::Sse2, "SSE2"},
            {fourier::Path::Avx2, "AVX2"},
            {fourier::Path::Avx512, "AVX-512"}};
        for (const auto& [path, name] : paths) {
            EXPECT_EQ(fourier::Supported(path), MachineHas(path))
                << "Supported() is wrong about the " << name << " path";
            if (!MachineHas(path))
                continue;
            Grid viaPath = input;
            fourier::Transform(path, viaPath.data(), list.data(), count, shape.sign);
            EXPECT_TRUE(viaPath.SameBits(slow))
                << "the " << name << " path differs from the literal algorithm" << values;
        }
        Grid inPlace = input;
        fourier::TransformInPlace(inPlace.data(), list.data(), count, shape.sign);
        EXPECT_TRUE(inPlace.SameBits(slow))
            << "the in-place route differs from the literal algorithm" << values;
    }
    EXPECT_EQ(list[0], 0xdeadbeefu);
}

std::vector<Shape> Shapes()
{
    const std::vector<std::vector<std::uint32_t>> dims = {
        {1}, {2}, {4}, {8}, {64}, {1024}, {65536},
        {1, 1}, {1, 8}, {8, 1}, {2, 2}, {2, 4}, {4, 2}, {8, 8}, {16, 64}, {64, 16}, {256, 256},
        {4, 1024}, {1024, 4}, {2, 4096}, {4096, 2},
        {2, 4, 8}, {8, 4, 2}, {4, 1, 4}, {16, 16, 16}, {2, 2, 2, 2, 2},
        // Lines as long as the gathered ones and longer, and the groups of
        // lines gathered side by side, full and partial.
        {4096}, {8192}, {2, 8192}, {8192, 2}, {512, 512}, {64, 4096}, {4096, 64},
        {32, 2048}, {4096, 4}, {4096, 8}, {4096, 16}, {2, 2048, 4}, {1, 4096, 1},
        {32, 32, 32}};
    std::vector<Shape> shapes;
    for (const auto& d : dims)
        for (int sign : {+1, -1})
            shapes.push_back({d, sign});
    return shapes;
}

INSTANTIATE_TEST_SUITE_P(Shapes, BitExact, ::testing::ValuesIn(Shapes()),
                         [](const auto& info) { return Name(info.param.dims, info.param.sign); });

// The transform keeps its buffers in static storage, one set and a spare:
// calls on three threads at once (so that one finds both lent and runs in
// place) must neither share them nor wait, and each must still give the bits.
TEST(FourierTransformThreads, CallsOnThreeThreadsAtOnceGiveTheBits)
{
    constexpr int Threads = 3;
    const auto list = DimList({128, 256});
    const std::size_t N = 128 * 256;
    std::vector<Grid> input, expected;
    for (int k = 0; k < Threads; ++k) {
        input.emplace_back(N);
        input[k].Fill(100 + k, 1000.0);
        expected.push_back(input[k]);
        literal::FourierTransform(expected[k].data(), list.data(), 2, k == 1 ? -1 : +1);
    }
    std::atomic<int> ready{0};
    bool same[Threads] = {true, true, true};
    const auto run = [&](int k) {
        ready.fetch_add(1);
        while (ready.load() < Threads) {
        }
        for (int i = 0; i < 40; ++i) {
            Grid grid = input[k];
            fourier::FourierTransform(grid.data(), list.data(), 2, k == 1 ? -1 : +1);
            same[k] = same[k] && grid.SameBits(expected[k]);
        }
    };
    std::vector<std::thread> others;
    for (int k = 1; k < Threads; ++k)
        others.emplace_back(run, k);
    run(0);
    for (std::thread& t : others)
        t.join();
    for (int k = 0; k < Threads; ++k)
        EXPECT_TRUE(same[k]) << "thread " << k;
}

// --- accuracy against a naive DFT -------------------------------------------

class AgainstNaiveDft : public ::testing::TestWithParam<Shape> {};

TEST_P(AgainstNaiveDft, MatchesWithinRounding)
{
    const Shape& shape = GetParam();
    const auto list = DimList(shape.dims);
    const std::size_t N = Count(shape.dims);
    const std::size_t D = shape.dims.size();
    Grid grid(N);
    grid.Fill(42, 1.0);
    std::vector<std::complex<long double>> input(N);
    for (std::size_t k = 0; k < N; ++k)
        input[k] = {grid.re(k), grid.im(k)};
    fourier::FourierTransform(grid.data(), list.data(), std::int32_t(D), shape.sign);

    // Multi-index of element k, the last dimension fastest.
    auto position = [&](std::size_t k) {
        std::vector<std::size_t> pos(D);
        for (std::size_t d = D; d-- > 0;) {
            pos[d] = k % shape.dims[d];
            k /= shape.dims[d];
        }
        return pos;
    };
    const long double pi = 3.141592653589793238462643383279502884L;
    const double tolerance = 1e-12 * double(N);
    for (std::size_t f = 0; f < N; ++f) {
        const auto kf = position(f);
        std::complex<long double> sum = 0;
        for (std::size_t t = 0; t < N; ++t) {
            const auto kt = position(t);
            long double turns = 0;
            for (std::size_t d = 0; d < D; ++d)
                turns += (long double)(kf[d] * kt[d] % shape.dims[d]) / shape.dims[d];
            const long double angle = shape.sign * 2 * pi * turns;
            sum += input[t] * std::complex<long double>(std::cos(angle), std::sin(angle));
        }
        SCOPED_TRACE("frequency element " + std::to_string(f));
        EXPECT_NEAR(grid.re(f), double(sum.real()), tolerance);
        EXPECT_NEAR(grid.im(f), double(sum.imag()), tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(SmallGrids, AgainstNaiveDft,
                         ::testing::Values(Shape{{8}, +1}, Shape{{16}, -1}, Shape{{4, 8}, +1},
                                           Shape{{8, 4}, -1}, Shape{{2, 4, 2}, +1}),
                         [](const auto& info) { return Name(info.param.dims, info.param.sign); });

// --- edge cases of the contract ----------------------------------------------

TEST(FourierTransformEdges, CountBelowOneLeavesGridUnchanged)
{
    for (std::int32_t count : {0, -1, -100}) {
        SCOPED_TRACE("count " + std::to_string(count));
        const auto list = DimList({4});
        Grid grid(4);
        grid.Fill(1, 10.0);
        const Grid before = grid;
        fourier::FourierTransform(grid.data(), list.data(), count, +1);
        EXPECT_TRUE(grid.SameBits(before));
    }
}

TEST(FourierTransformEdges, UnusableLengthsLeaveGridUnchanged)
{
    // Zero, non-powers of two, and a product beyond the 32-bit index range.
    const std::vector<std::vector<std::uint32_t>> cases = {
        {0}, {3}, {6}, {4, 0}, {0, 4}, {4, 12}, {1000, 8}, {0x80000000u}, {65536, 65536},
        {0xffffffffu}};
    for (const auto& dims : cases) {
        SCOPED_TRACE(Name(dims, 1));
        const auto list = DimList(dims);
        Grid grid(8);  // far smaller than the lengths ask for
        grid.Fill(3, 1.0);
        const Grid before = grid;
        fourier::FourierTransform(grid.data(), list.data(), std::int32_t(dims.size()), +1);
        EXPECT_TRUE(grid.SameBits(before));
    }
}

TEST(FourierTransformEdges, LengthOneAddsNothing)
{
    Grid single(1);
    single.re(0) = 3.25;
    single.im(0) = -1.5;
    const Grid before = single;
    const auto ones = DimList({1, 1, 1});
    fourier::FourierTransform(single.data(), ones.data(), 3, +1);
    EXPECT_TRUE(single.SameBits(before));

    Grid a(8), b(8);
    a.Fill(9, 5.0);
    b = a;
    const auto withOnes = DimList({1, 8, 1});
    const auto plain = DimList({8});
    fourier::FourierTransform(a.data(), withOnes.data(), 3, -1);
    fourier::FourierTransform(b.data(), plain.data(), 1, -1);
    EXPECT_TRUE(a.SameBits(b));
}

TEST(FourierTransformEdges, LengthTwoIsExactSumAndDifference)
{
    for (int sign : {+1, -1}) {
        Grid grid(2);
        grid.re(0) = 0.1, grid.im(0) = 7.0, grid.re(1) = 0.2, grid.im(1) = -3.0;
        const auto list = DimList({2});
        fourier::FourierTransform(grid.data(), list.data(), 1, sign);
        EXPECT_EQ(grid.re(0), 0.1 + 0.2);
        EXPECT_EQ(grid.im(0), 7.0 + -3.0);
        EXPECT_EQ(grid.re(1), 0.1 - 0.2);
        EXPECT_EQ(grid.im(1), 7.0 - -3.0);
    }
}

struct Impulse {
    const char* name;
    std::vector<std::uint32_t> dims;
    std::size_t element;  // where the 1 is
    int sign;
    std::vector<std::complex<double>> expected;  // per element, in order
};

void PrintTo(const Impulse& c, std::ostream* os) { *os << c.name; }

class ImpulseResponse : public ::testing::TestWithParam<Impulse> {};

TEST_P(ImpulseResponse, GivesTheTwiddles)
{
    const Impulse& c = GetParam();
    const auto list = DimList(c.dims);
    Grid grid(Count(c.dims));
    grid.Zero();
    grid.re(c.element) = 1.0;
    fourier::FourierTransform(grid.data(), list.data(), std::int32_t(c.dims.size()), c.sign);
    for (std::size_t k = 0; k < c.expected.size(); ++k) {
        SCOPED_TRACE("element " + std::to_string(k));
        EXPECT_NEAR(grid.re(k), c.expected[k].real(), 1e-15);
        EXPECT_NEAR(grid.im(k), c.expected[k].imag(), 1e-15);
    }
}

using C = std::complex<double>;
INSTANTIATE_TEST_SUITE_P(
    Cases, ImpulseResponse,
    ::testing::Values(
        Impulse{"length4_forward", {4}, 1, +1, {C(1, 0), C(0, 1), C(-1, 0), C(0, -1)}},
        Impulse{"length4_inverse", {4}, 1, -1, {C(1, 0), C(0, -1), C(-1, 0), C(0, 1)}},
        Impulse{"rows2_columns4_forward",
                {2, 4},
                1,
                +1,
                {C(1, 0), C(0, 1), C(-1, 0), C(0, -1), C(1, 0), C(0, 1), C(-1, 0), C(0, -1)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FourierTransformEdges, ConstantGridConcentratesAtZero)
{
    for (int sign : {+1, -1}) {
        const auto list = DimList({8, 16});
        Grid grid(128);
        for (std::size_t k = 0; k < 128; ++k)
            grid.re(k) = 3.0, grid.im(k) = -2.0;
        fourier::FourierTransform(grid.data(), list.data(), 2, sign);
        EXPECT_EQ(grid.re(0), 128 * 3.0);
        EXPECT_EQ(grid.im(0), 128 * -2.0);
        for (std::size_t k = 1; k < 128; ++k) {
            SCOPED_TRACE("element " + std::to_string(k));
            EXPECT_EQ(grid.re(k), 0.0);
            EXPECT_EQ(grid.im(k), 0.0);
        }
    }
}

TEST(FourierTransformEdges, RoundTripGivesNTimesInput)
{
    const auto list = DimList({16, 32});
    Grid grid(512);
    grid.Fill(5, 100.0);
    const Grid input = grid;
    fourier::FourierTransform(grid.data(), list.data(), 2, +1);
    fourier::FourierTransform(grid.data(), list.data(), 2, -1);
    for (std::size_t k = 0; k < 512; ++k) {
        Grid& in = const_cast<Grid&>(input);
        EXPECT_NEAR(grid.re(k), 512 * in.re(k), 1e-9);
        EXPECT_NEAR(grid.im(k), 512 * in.im(k), 1e-9);
    }
    EXPECT_EQ(grid.values[0], Sentinel);
    for (int g = 0; g < Guard; ++g)
        EXPECT_EQ(grid.values[2 * 512 + 1 + g], Sentinel);
}

TEST(FourierTransformEdges, RealInputGivesConjugateSymmetry)
{
    const std::uint32_t H = 8, W = 16;
    const auto list = DimList({H, W});
    Grid grid(H * W);
    grid.Fill(11, 1000.0);
    for (std::size_t k = 0; k < H * W; ++k)
        grid.im(k) = 0.0;
    fourier::FourierTransform(grid.data(), list.data(), 2, +1);
    for (std::uint32_t y = 0; y < H; ++y)
        for (std::uint32_t x = 0; x < W; ++x) {
            const std::size_t k = y * W + x;
            const std::size_t mirror = ((H - y) % H) * W + (W - x) % W;
            EXPECT_NEAR(grid.re(k), grid.re(mirror), 1e-8);
            EXPECT_NEAR(grid.im(k), -grid.im(mirror), 1e-8);
        }
}

}  // namespace
