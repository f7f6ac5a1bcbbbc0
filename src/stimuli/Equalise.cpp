// The equalising steps on a set of 8-bit pictures.
#include "stimuli/Equalise.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <numeric>

#include "stimuli/EqualiseWorkers.h"
#include "stimuli/SplitMix64.h"

namespace stimuli {

PictureSet::PictureSet(int width, int height, std::size_t count)
    : width(width), height(height), count(count),
      levels(std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0)) * count)
{
}

std::vector<Step> ParseSteps(const std::string& text)
{
    static const struct {
        const char* name;
        Step step;
    } names[] = {{"lum", Step::Luminance},
                 {"hist", Step::Histogram},
                 {"amplitude", Step::Spectrum},
                 {"amp", Step::Spectrum},  // its short name, taken too
                 {"sf", Step::Rotational}};
    std::vector<Step> steps;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string word = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool known = false;
        for (const auto& n : names)
            if (word == n.name) {
                steps.push_back(n.step);
                known = true;
            }
        if (!known)
            throw EqualiseError(word.empty() ? "--match has an empty step in '" + text +
                                                   "': use lum, hist, amplitude or sf, separated by commas"
                                             : "unknown step '" + word + "': use lum, hist, amplitude or sf");
        if (comma == std::string::npos)
            return steps;
        start = comma + 1;
    }
}

const char* StepName(Step step)
{
    switch (step) {
    case Step::Luminance:
        return "lum";
    case Step::Histogram:
        return "hist";
    case Step::Spectrum:
        return "amplitude";
    case Step::Rotational:
        return "sf";
    }
    return "";
}

std::uint8_t Level(double value)
{
    if (!(value >= 0.0))
        return 0;
    if (value >= 255.0)
        return 255;
    // value - floor(value) is exact below 2^52: a half is seen as a half.
    const double whole = std::floor(value);
    return std::uint8_t(int(whole) + (value - whole >= 0.5 ? 1 : 0));
}

namespace {

// Counts finished pictures for the progress callback, one call at a time.
class Tally {
public:
    Tally(const EqualiseOptions* options, std::size_t total) : options(options), total(total) {}
    void Picture()
    {
        if (!options || !options->progress)
            return;
        const std::lock_guard<std::mutex> lock(mutex);
        options->progress(++done, total);
    }

private:
    const EqualiseOptions* options;
    std::size_t total;
    std::size_t done = 0;
    std::mutex mutex;
};

bool Used(const std::uint8_t* mask, std::size_t i) { return !mask || mask[i] != 0; }

std::size_t UsedCount(const std::uint8_t* mask, std::size_t n)
{
    if (!mask)
        return n;
    return std::size_t(std::count_if(mask, mask + n, [](std::uint8_t m) { return m != 0; }));
}

}  // namespace

void Moments(const std::uint64_t* histogram, double& mean, double& deviation)
{
    std::uint64_t m = 0, sum = 0;
    for (int l = 0; l < 256; ++l) {
        m += histogram[l];
        sum += histogram[l] * std::uint64_t(l);
    }
    mean = m ? double(sum) / double(m) : 0.0;
    double squares = 0.0;
    for (int l = 0; l < 256; ++l) {
        const double d = double(l) - mean;
        squares += double(histogram[l]) * (d * d);
    }
    deviation = m > 1 ? std::sqrt(squares / double(m - 1)) : 0.0;
}

namespace {

void Luminance(PictureSet& set, const std::uint8_t* mask, int jobs, Tally& tally)
{
    const std::size_t K = set.Count(), n = set.Pixels(), m = UsedCount(mask, n);
    if (m == 0)
        return;
    std::vector<double> mu(K), sigma(K);
    ForEachPicture(K, jobs, [&](std::size_t k, int) {
        std::uint64_t histogram[256] = {};
        const std::uint8_t* x = set.Levels(k);
        for (std::size_t i = 0; i < n; ++i)
            if (Used(mask, i))
                ++histogram[x[i]];
        Moments(histogram, mu[k], sigma[k]);
    });
    double M = 0.0, S = 0.0;
    for (std::size_t k = 0; k < K; ++k) {
        M += mu[k];
        S += sigma[k];
    }
    M /= double(K);
    S /= double(K);
    ForEachPicture(K, jobs, [&](std::size_t k, int) {
        std::uint8_t* x = set.Levels(k);
        for (std::size_t i = 0; i < n; ++i)
            if (Used(mask, i))
                x[i] = Level(sigma[k] > 0.0 ? (double(x[i]) - mu[k]) / sigma[k] * S + M : M);
        tally.Picture();
    });
}

// The used pixels' indices in ascending order of their SplitMix64 keys.
std::vector<std::uint32_t> KeyOrder(std::size_t n, const std::uint8_t* mask, std::uint64_t seed)
{
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed;
    keyed.reserve(UsedCount(mask, n));
    for (std::size_t i = 0; i < n; ++i)
        if (Used(mask, i))
            keyed.emplace_back(SplitMix64(NoiseState(seed, 0, i)), std::uint32_t(i));
    // The keys of distinct indices differ (both maps are one-to-one), so the
    // index never decides; it keeps the order total all the same.
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::uint32_t> order(keyed.size());
    for (std::size_t j = 0; j < keyed.size(); ++j)
        order[j] = keyed[j].second;
    return order;
}

void Histogram(PictureSet& set, const std::uint8_t* mask, std::uint64_t seed, int jobs, Tally& tally)
{
    const std::size_t K = set.Count(), n = set.Pixels();
    const std::vector<std::uint32_t> target = TargetHistogram(set, mask);
    // The level of each rank: target[0] ranks of level 0, then level 1, ...
    std::vector<std::uint8_t> levelOfRank;
    levelOfRank.reserve(UsedCount(mask, n));
    for (int l = 0; l < 256; ++l)
        levelOfRank.insert(levelOfRank.end(), target[std::size_t(l)], std::uint8_t(l));
    const std::vector<std::uint32_t> order = KeyOrder(n, mask, seed);
    ForEachPicture(K, jobs, [&](std::size_t k, int) {
        std::uint8_t* x = set.Levels(k);
        // The first rank of each level; then the pixels of one level, met in
        // key order, take the ranks that follow it. Each pixel is met once,
        // so its old level is read before its new one is written.
        std::size_t next[256] = {};
        for (std::size_t i = 0; i < n; ++i)
            if (Used(mask, i))
                ++next[x[i]];
        std::size_t r = 0;
        for (std::size_t& f : next) {
            const std::size_t c = f;
            f = r;
            r += c;
        }
        for (const std::uint32_t i : order)
            x[i] = levelOfRank[next[x[i]]++];
        tally.Picture();
    });
}

constexpr std::int32_t Forward = -1, Inverse = +1;

// Scratch for one thread: a complex grid from index 1.
struct Grid {
    std::vector<double> g;
    std::uint32_t dims[3];
    Grid(int W, int H) : g(2 * std::size_t(W) * std::size_t(H) + 1), dims{0, std::uint32_t(H), std::uint32_t(W)} {}
    void Load(const std::uint8_t* x, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            g[2 * i + 1] = double(x[i]);
            g[2 * i + 2] = 0.0;
        }
    }
    void Transform(std::int32_t sign) { TakeTurnsDft(g.data(), dims, 2, sign); }
    double Re(std::size_t i) const { return g[2 * i + 1]; }
    double Im(std::size_t i) const { return g[2 * i + 2]; }
    double Abs(std::size_t i) const { return std::sqrt(Re(i) * Re(i) + Im(i) * Im(i)); }
};

// What the two spectrum steps share: a first pass over the set that learns its target,
// then `change` applied to each picture's spectrum before the inverse.
class Remake {
public:
    using Change = std::function<void(std::size_t k, Grid& grid)>;
    Remake(const PictureSet& set, int jobs, Tally& tally) : set(set), jobs(jobs), tally(tally)
    {
        const std::size_t threads = std::min(std::size_t(std::max(jobs, 1)), std::max<std::size_t>(set.Count(), 1));
        grids.reserve(threads);
        for (std::size_t t = 0; t < threads; ++t)
            grids.emplace_back(set.Width(), set.Height());
    }

    Grid& Spectrum(std::size_t k, int worker)
    {
        Grid& grid = grids[std::size_t(worker)];
        grid.Load(set.Levels(k), set.Pixels());
        grid.Transform(Forward);
        return grid;
    }

    // Picture k's values, in its worker's grid: real parts at 2i+1.
    Grid& Rebuilt(std::size_t k, int worker, const Change& change)
    {
        Grid& grid = Spectrum(k, worker);
        change(k, grid);
        grid.Transform(Inverse);
        const double n = double(set.Pixels());
        for (std::size_t i = 0; i < set.Pixels(); ++i)
            grid.g[2 * i + 1] = grid.g[2 * i + 1] / n;
        return grid;
    }

    void Each(const Change& change, const stimuli::Values& each)
    {
        ForEachPicture(set.Count(), jobs, [&](std::size_t k, int worker) {
            const Grid& grid = Rebuilt(k, worker, change);
            // The real parts side by side, as the caller reads them.
            std::vector<double> values(set.Pixels());
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] = grid.Re(i);
            each(k, values.data());
        });
    }

    // Two more passes: the pictures' extremes, then the values again, mapped
    // by the rescale, rounded into the set.
    void Into(PictureSet& target, Rescale rescale, const Change& change)
    {
        const std::size_t K = set.Count(), n = set.Pixels();
        std::vector<double> low(K), high(K);
        ForEachPicture(K, jobs, [&](std::size_t k, int worker) {
            const Grid& grid = Rebuilt(k, worker, change);
            double lo = grid.Re(0), hi = grid.Re(0);
            for (std::size_t i = 1; i < n; ++i) {
                lo = std::min(lo, grid.Re(i));
                hi = std::max(hi, grid.Re(i));
            }
            low[k] = lo;
            high[k] = hi;
            tally.Picture();
        });
        double lo = low[0], hi = high[0];
        if (rescale == Rescale::Set) {
            for (std::size_t k = 1; k < K; ++k) {
                lo = std::min(lo, low[k]);
                hi = std::max(hi, high[k]);
            }
        } else {
            for (std::size_t k = 1; k < K; ++k) {
                lo += low[k];
                hi += high[k];
            }
            lo /= double(K);
            hi /= double(K);
        }
        // A set without contrast keeps its values.
        const bool map = hi > lo;
        ForEachPicture(K, jobs, [&](std::size_t k, int worker) {
            const Grid& grid = Rebuilt(k, worker, change);
            std::uint8_t* x = target.Levels(k);
            for (std::size_t i = 0; i < n; ++i)
                x[i] = Level(map ? (grid.Re(i) - lo) / (hi - lo) * 255.0 : grid.Re(i));
            tally.Picture();
        });
    }

    const PictureSet& set;
    int jobs;
    Tally& tally;
    std::vector<Grid> grids;
};

// The set's mean amplitude T, summed in picture order.
// The magnitude below which an element of picture k's spectrum counts as 0:
// 2^-40 of its level sum (the element at frequency 0). An element that is 0
// in exact arithmetic comes out of the transform as rounding noise, below
// 10^-18 of that sum in our trials, and the phase of noise is noise; the
// smallest true elements of photographs lay above 10^-8 of it.
double ZeroBelow(const PictureSet& set, std::size_t k)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < set.Pixels(); ++i)
        sum += set.Levels(k)[i];
    return std::ldexp(double(sum), -40);
}

std::vector<double> MeanAmplitude(Remake& remake)
{
    const PictureSet& set = remake.set;
    const std::size_t n = set.Pixels(), K = set.Count();
    std::vector<double> T(n, 0.0);
    Turns turns;
    ForEachPicture(K, remake.jobs, [&](std::size_t k, int worker) {
        try {
            const double zero = ZeroBelow(set, k);
            const Grid& grid = remake.Spectrum(k, worker);
            if (!turns.Wait(k))
                return;
            for (std::size_t i = 0; i < n; ++i) {
                const double a = grid.Abs(i);
                T[i] += a > zero ? a : 0.0;
            }
            turns.Done(k);
            remake.tally.Picture();
        } catch (...) {
            turns.Abandon();
            throw;
        }
    });
    for (double& t : T)
        t /= double(K);
    return T;
}

Remake::Change SpectrumChange(const PictureSet& set, std::vector<double> T)
{
    return [&set, T = std::move(T)](std::size_t k, Grid& grid) {
        const double zero = ZeroBelow(set, k);
        for (std::size_t i = 0; i < T.size(); ++i) {
            const double a = grid.Abs(i);
            if (a > zero) {
                const double scale = T[i] / a;
                grid.g[2 * i + 1] = grid.Re(i) * scale;
                grid.g[2 * i + 2] = grid.Im(i) * scale;
            } else {
                grid.g[2 * i + 1] = T[i];
                grid.g[2 * i + 2] = 0.0;
            }
        }
    };
}

// Each picture's factor per ring: the set's ring sum over its own.
Remake::Change RotationalChange(Remake& remake)
{
    const PictureSet& set = remake.set;
    const int W = set.Width(), H = set.Height();
    const std::size_t K = set.Count(), R = std::size_t(RingCount(W, H));
    std::vector<int> ring(set.Pixels());
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ring[std::size_t(y) * std::size_t(W) + std::size_t(x)] = Ring(x, y, W, H);
    std::vector<double> sums(K * R, 0.0);
    ForEachPicture(K, remake.jobs, [&](std::size_t k, int worker) {
        const Grid& grid = remake.Spectrum(k, worker);
        double* own = &sums[k * R];
        for (std::size_t i = 0; i < ring.size(); ++i)
            own[ring[i]] += grid.Abs(i);
        remake.tally.Picture();
    });
    std::vector<double> setSums(R, 0.0);
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t r = 0; r < R; ++r)
            setSums[r] += sums[k * R + r];
    for (double& s : setSums)
        s /= double(K);
    std::vector<double> factors(K * R);
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t r = 0; r < R; ++r)
            factors[k * R + r] = sums[k * R + r] != 0.0 ? setSums[r] / sums[k * R + r] : 1.0;
    return [ring = std::move(ring), factors = std::move(factors), R](std::size_t k, Grid& grid) {
        const double* f = &factors[k * R];
        for (std::size_t i = 0; i < ring.size(); ++i) {
            grid.g[2 * i + 1] = grid.Re(i) * f[ring[i]];
            grid.g[2 * i + 2] = grid.Im(i) * f[ring[i]];
        }
    };
}

void Spectrum(PictureSet& set, Rescale rescale, int jobs, Tally& tally)
{
    Remake remake(set, jobs, tally);
    remake.Into(set, rescale, SpectrumChange(set, MeanAmplitude(remake)));
}

void Rotational(PictureSet& set, Rescale rescale, int jobs, Tally& tally)
{
    Remake remake(set, jobs, tally);
    remake.Into(set, rescale, RotationalChange(remake));
}

// Passes over the set each step makes, for the progress count.
std::size_t Passes(Step step) { return step == Step::Spectrum || step == Step::Rotational ? 3 : 1; }

}  // namespace

std::vector<std::uint32_t> TargetHistogram(const PictureSet& set, const std::uint8_t* mask)
{
    const std::size_t K = set.Count(), n = set.Pixels(), m = UsedCount(mask, n);
    std::vector<std::uint64_t> total(256, 0);
    for (std::size_t k = 0; k < K; ++k) {
        const std::uint8_t* x = set.Levels(k);
        for (std::size_t i = 0; i < n; ++i)
            if (Used(mask, i))
                ++total[x[i]];
    }
    std::vector<std::uint32_t> target(256);
    std::uint64_t given = 0;
    for (int l = 0; l < 256; ++l) {
        target[std::size_t(l)] = std::uint32_t(total[std::size_t(l)] / K);
        given += target[std::size_t(l)];
    }
    // The remainders total[l] mod K, largest first, the lower level first
    // among equals; each of the first (m - given) levels gets one more.
    std::vector<int> levels(256);
    std::iota(levels.begin(), levels.end(), 0);
    std::stable_sort(levels.begin(), levels.end(), [&](int a, int b) {
        return total[std::size_t(a)] % K > total[std::size_t(b)] % K;
    });
    for (std::size_t j = 0; given < m; ++j, ++given)
        ++target[std::size_t(levels[j])];
    return target;
}

void MatchLuminance(PictureSet& set, const std::uint8_t* mask, int jobs)
{
    Tally tally(nullptr, 0);
    Luminance(set, mask, jobs, tally);
}

void MatchHistogram(PictureSet& set, const std::uint8_t* mask, std::uint64_t seed, int jobs)
{
    Tally tally(nullptr, 0);
    Histogram(set, mask, seed, jobs, tally);
}

void MatchSpectrum(PictureSet& set, Rescale rescale, int jobs)
{
    Tally tally(nullptr, 0);
    Spectrum(set, rescale, jobs, tally);
}

void MatchRotational(PictureSet& set, Rescale rescale, int jobs)
{
    Tally tally(nullptr, 0);
    Rotational(set, rescale, jobs, tally);
}

void SpectrumValues(const PictureSet& set, int jobs, const Values& each)
{
    Tally tally(nullptr, 0);
    Remake remake(set, jobs, tally);
    remake.Each(SpectrumChange(set, MeanAmplitude(remake)), each);
}

void RotationalValues(const PictureSet& set, int jobs, const Values& each)
{
    Tally tally(nullptr, 0);
    Remake remake(set, jobs, tally);
    remake.Each(RotationalChange(remake), each);
}

int Ring(int x, int y, int W, int H)
{
    const long long u = x < (W + 1) / 2 ? x : x - W;
    const long long v = y < (H + 1) / 2 ? y : y - H;
    // sqrt of an integer is never exactly a half above another integer.
    return int(std::floor(std::sqrt(double(u * u + v * v)) + 0.5));
}

int RingCount(int W, int H)
{
    // The farthest element from frequency 0 is a corner: (floor(W/2), floor(H/2)).
    return Ring(W / 2, H / 2, W, H) + 1;
}

std::uint64_t BytesNeeded(int W, int H, std::size_t K, int jobs)
{
    const std::uint64_t n = std::uint64_t(std::max(W, 0)) * std::uint64_t(std::max(H, 0));
    const std::uint64_t threads = std::min<std::uint64_t>(std::uint64_t(std::max(jobs, 1)), std::max<std::uint64_t>(K, 1));
    return 2 * n * K + threads * (16 * n + 16) + 17 * n + (std::uint64_t(1) << 20);
}

void Equalise(PictureSet& set, const EqualiseOptions& options)
{
    if (set.Count() < 2)
        throw EqualiseError("equalising needs at least two pictures, got " + std::to_string(set.Count()));
    if (options.steps.empty())
        throw EqualiseError("no step to run: use lum, hist, amplitude or sf");
    if (options.iterations < 1)
        throw EqualiseError("--iterations must be at least 1, not " + std::to_string(options.iterations));
    if (options.mask && UsedCount(options.mask, set.Pixels()) == 0)
        throw EqualiseError("the mask has no used (non-zero) pixel");
    std::size_t passes = 0;
    for (const Step step : options.steps)
        passes += Passes(step);
    Tally tally(&options, set.Count() * passes * std::size_t(options.iterations));
    for (int iteration = 0; iteration < options.iterations; ++iteration)
        for (const Step step : options.steps) {
            switch (step) {
            case Step::Luminance:
                Luminance(set, options.mask, options.jobs, tally);
                break;
            case Step::Histogram:
                Histogram(set, options.mask, options.seed, options.jobs, tally);
                break;
            case Step::Spectrum:
                Spectrum(set, options.rescale, options.jobs, tally);
                break;
            case Step::Rotational:
                Rotational(set, options.rescale, options.jobs, tally);
                break;
            }
        }
}

}  // namespace stimuli
