// Fuzz target: dimension lists and signs into fourier::FourierTransform, with
// guards around the grid that must survive.
//
// Input: byte 0 gives the count, (byte % 8) - 2, that is -2 to 5; byte 1 the
// sign (0: +1, 1: -1, anything else: itself as a signed byte); then one tag
// per dimension, read as
//   00pppppp  the power of two 2^(p % 32), 1 to 2^31
//   01vvvvvv  the length v, 0 to 63 (zero and non-powers of two)
//   10xxxxxx  the next four bytes as a little-endian length
//   11pppppp  2^(p % 32) + 1
// and the remaining bytes, as signed values, fill the grid cyclically (real
// and imaginary parts).
//
// Lengths that are all powers of two with at most 4096 elements get a grid of
// exactly 2N+1 doubles plus guards: only the guards and index 0 are checked,
// and with a sign of +1 or -1 every path this processor has (and the in-place
// route) must give the bits of the literal algorithm, and the round trip N
// times the input.
// Any zero or non-power-of-two length, and any count below 1, must leave the
// grid untouched. Powers of two above 4096 elements are skipped: their grid
// would be too large to allocate here.
//
// The same lists go to fourier::Dft, which takes any lengths: up to 4096
// elements it must keep to its grid, give N times the input in a round trip
// and, for powers of two, FourierTransform's bits; a count below 1, a zero
// length or more than 2^28 elements must leave the grid untouched.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "../tests/LiteralFourier.h"
#include "fourier/FourierDimension.h"
#include "fourier/FourierTransform.h"

namespace {

constexpr std::uint64_t MaxElements = 4096;
constexpr std::size_t Guards = 8;
constexpr double Guard = -7.25e300;  // a value the transform never produces from small inputs
constexpr double Sentinel = 1.5e-300;
// The round trip's error bound, relative to N times the largest input value.
constexpr double RoundTripTolerance = 1e-9;

[[noreturn]] void Finding(const char* what)
{
    std::fprintf(stderr, "fuzz_fourier: %s\n", what);
    std::abort();
}

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t Byte() { return size ? (--size, *data++) : 0; }
};

std::uint32_t Length(Reader& in)
{
    const std::uint8_t tag = in.Byte();
    switch (tag >> 6) {
    case 0:
        return std::uint32_t(1) << (tag & 31);
    case 1:
        return tag & 63;
    case 2: {
        std::uint32_t n = 0;
        for (int i = 0; i < 4; ++i)
            n |= std::uint32_t(in.Byte()) << (8 * i);
        return n;
    }
    default:
        return (std::uint32_t(1) << (tag & 31)) + 1;
    }
}

bool SameBits(const double* a, const double* b, std::size_t count)
{
    return std::memcmp(a, b, count * sizeof(double)) == 0;
}

// Dft on the list (sign +1 or -1), with its own grid filled from `values`.
void CheckDft(const std::uint32_t* dims, std::int32_t count, std::int32_t sign,
              const std::uint8_t* values, std::size_t size)
{
    std::uint64_t N = 1;
    bool zero = false, powers = true;
    for (std::int32_t d = 1; d <= count; ++d) {
        zero = zero || dims[d] == 0;
        powers = powers && dims[d] != 0 && (dims[d] & (dims[d] - 1)) == 0;
        if (N <= (std::uint64_t(1) << 28))
            N *= dims[d];
    }
    const bool untouched = count < 1 || zero || N > (std::uint64_t(1) << 28);
    if (!untouched && N > MaxElements)
        return;
    const std::size_t elements = untouched ? 16 : std::size_t(N);
    const std::size_t doubles = 2 * elements + 1, total = doubles + Guards;
    std::unique_ptr<double[]> grid(new double[total]);
    std::unique_ptr<double[]> input(new double[total]);
    double largest = 0;
    grid[0] = Sentinel;
    for (std::size_t i = 1; i < doubles; ++i) {
        grid[i] = size ? double(std::int8_t(values[(i - 1) % size])) : double(i % 7);
        largest = std::fmax(largest, std::fabs(grid[i]));
    }
    for (std::size_t i = doubles; i < total; ++i)
        grid[i] = Guard;
    std::memcpy(input.get(), grid.get(), total * sizeof(double));

    fourier::Dft(grid.get(), dims, count, sign);
    if (untouched) {
        if (!SameBits(grid.get(), input.get(), total))
            Finding("Dft: a zero length, a count below 1 or too many elements changed the grid");
        return;
    }
    if (!SameBits(grid.get(), input.get(), 1) ||
        !SameBits(grid.get() + doubles, input.get() + doubles, Guards))
        Finding("Dft wrote outside the grid");
    if (powers) {
        std::unique_ptr<double[]> expected(new double[total]);
        std::memcpy(expected.get(), input.get(), total * sizeof(double));
        fourier::FourierTransform(expected.get(), dims, count, sign);
        if (!SameBits(grid.get(), expected.get(), total))
            Finding("Dft differs from FourierTransform on powers of two");
    }
    fourier::Dft(grid.get(), dims, count, -sign);
    if (!SameBits(grid.get(), input.get(), 1) ||
        !SameBits(grid.get() + doubles, input.get() + doubles, Guards))
        Finding("Dft's inverse wrote outside the grid");
    const double n = double(N);
    const double tolerance = RoundTripTolerance * n * (largest + 1);
    for (std::size_t i = 1; i < doubles; ++i)
        if (!(std::fabs(grid[i] - n * input[i]) <= tolerance))
            Finding("Dft's round trip did not give N times the input");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Reader in{data, size};
    const std::int32_t count = std::int32_t(in.Byte() % 8) - 2;
    const std::uint8_t signByte = in.Byte();
    const std::int32_t sign = signByte == 0 ? 1 : signByte == 1 ? -1 : std::int8_t(signByte);

    // Exactly count + 1 entries, so that reading past the list is a sanitizer
    // report; entry 0 holds a value no dimension could use.
    const std::size_t entries = std::size_t(count > 0 ? count : 0) + 1;
    std::unique_ptr<std::uint32_t[]> dims(new std::uint32_t[entries]);
    dims[0] = 3;
    bool powers = true;
    std::uint64_t N = 1;
    for (std::size_t d = 1; d < entries; ++d) {
        dims[d] = Length(in);
        powers = powers && dims[d] != 0 && (dims[d] & (dims[d] - 1)) == 0;
        if (powers && N <= MaxElements)
            N *= dims[d];
    }
    if (sign == 1 || sign == -1)
        CheckDft(dims.get(), count, sign, in.data, in.size);

    const bool untouched = count < 1 || !powers;
    if (!untouched && N > MaxElements)
        return 0;
    if (untouched)
        N = 16;  // any grid: not a double of it may change

    const std::size_t doubles = 2 * std::size_t(N) + 1;
    const std::size_t total = doubles + Guards;
    std::unique_ptr<double[]> grid(new double[total]);
    std::unique_ptr<double[]> input(new double[total]);
    double largest = 0;
    grid[0] = Sentinel;
    for (std::size_t i = 1; i < doubles; ++i) {
        grid[i] = in.size ? double(std::int8_t(in.data[(i - 1) % in.size])) : double(i % 5);
        largest = std::fmax(largest, std::fabs(grid[i]));
    }
    for (std::size_t i = doubles; i < total; ++i)
        grid[i] = Guard;
    std::memcpy(input.get(), grid.get(), total * sizeof(double));

    fourier::FourierTransform(grid.get(), dims.get(), count, sign);
    if (untouched) {
        if (!SameBits(grid.get(), input.get(), total))
            Finding("unusable lengths or count changed the grid");
        return 0;
    }
    if (!SameBits(grid.get(), input.get(), 1))
        Finding("index 0 of the grid was written");
    if (!SameBits(grid.get() + doubles, input.get() + doubles, Guards))
        Finding("a guard after the grid was written");
    if (dims[0] != 3)
        Finding("entry 0 of the dimension list was written");
    if (sign != 1 && sign != -1)
        return 0;

    // The bits of the literal algorithm, on every path and the in-place route.
    std::unique_ptr<double[]> expected(new double[total]);
    std::unique_ptr<double[]> other(new double[total]);
    std::memcpy(expected.get(), input.get(), total * sizeof(double));
    literal::FourierTransform(expected.get(), dims.get(), count, sign);
    if (!SameBits(grid.get(), expected.get(), total))
        Finding("results differ from the literal algorithm");
    for (const fourier::Path path :
         {fourier::Path::Sse2, fourier::Path::Avx2, fourier::Path::Avx512}) {
        if (!fourier::Supported(path))
            continue;
        std::memcpy(other.get(), input.get(), total * sizeof(double));
        fourier::Transform(path, other.get(), dims.get(), count, sign);
        if (!SameBits(other.get(), expected.get(), total))
            Finding("a vector path differs from the literal algorithm");
    }
    std::memcpy(other.get(), input.get(), total * sizeof(double));
    fourier::TransformInPlace(other.get(), dims.get(), count, sign);
    if (!SameBits(other.get(), expected.get(), total))
        Finding("the in-place route differs from the literal algorithm");

    fourier::FourierTransform(grid.get(), dims.get(), count, -sign);
    if (!SameBits(grid.get(), input.get(), 1) ||
        !SameBits(grid.get() + doubles, input.get() + doubles, Guards))
        Finding("the inverse wrote outside the grid");
    const double n = double(N);
    const double tolerance = RoundTripTolerance * n * (largest + 1);
    for (std::size_t i = 1; i < doubles; ++i)
        if (!(std::fabs(grid[i] - n * input[i]) <= tolerance))
            Finding("the round trip did not give N times the input");
    return 0;
}
