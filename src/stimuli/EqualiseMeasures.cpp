// The report's figures of a set: moments, histograms, rotational spectra.
#include "stimuli/EqualiseMeasures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "stimuli/EqualiseWorkers.h"

namespace stimuli {

std::vector<PictureMeasures> Measure(const PictureSet& set, const std::uint8_t* mask, int jobs)
{
    const int W = set.Width(), H = set.Height();
    const std::size_t K = set.Count(), n = set.Pixels(), R = std::size_t(RingCount(W, H));
    std::vector<int> ring(n);
    std::vector<std::uint32_t> members(R, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int r = Ring(x, y, W, H);
            ring[std::size_t(y) * std::size_t(W) + std::size_t(x)] = r;
            ++members[std::size_t(r)];
        }
    std::vector<PictureMeasures> result(K);
    const std::size_t threads = std::min<std::size_t>(std::size_t(std::max(jobs, 1)), std::max<std::size_t>(K, 1));
    std::vector<std::vector<double>> grids(threads);
    const std::uint32_t dims[3] = {0, std::uint32_t(H), std::uint32_t(W)};
    ForEachPicture(K, jobs, [&](std::size_t k, int worker) {
        const std::uint8_t* x = set.Levels(k);
        PictureMeasures& p = result[k];
        std::uint64_t counts[256] = {};
        for (std::size_t i = 0; i < n; ++i)
            if (!mask || mask[i])
                ++counts[x[i]];
        for (int l = 0; l < 256; ++l)
            p.histogram[std::size_t(l)] = std::uint32_t(counts[l]);
        Moments(counts, p.mean, p.deviation);
        std::vector<double>& g = grids[std::size_t(worker)];
        g.resize(2 * n + 1);
        for (std::size_t i = 0; i < n; ++i) {
            g[2 * i + 1] = double(x[i]);
            g[2 * i + 2] = 0.0;
        }
        TakeTurnsDft(g.data(), dims, 2, -1);
        p.rotational.assign(R, 0.0);
        for (std::size_t i = 0; i < n; ++i)
            p.rotational[std::size_t(ring[i])] += std::sqrt(g[2 * i + 1] * g[2 * i + 1] + g[2 * i + 2] * g[2 * i + 2]);
        for (std::size_t r = 0; r < R; ++r)
            if (members[r])
                p.rotational[r] /= double(members[r]);
    });
    return result;
}

int FullRings(int W, int H) { return std::min(W / 2, H / 2); }

SetSpread Spread(const std::vector<PictureMeasures>& pictures, int W, int H)
{
    SetSpread s;
    if (pictures.empty())
        return s;
    const auto [meanLow, meanHigh] = std::minmax_element(
        pictures.begin(), pictures.end(), [](const auto& a, const auto& b) { return a.mean < b.mean; });
    s.meanRange = meanHigh->mean - meanLow->mean;
    const auto [devLow, devHigh] = std::minmax_element(
        pictures.begin(), pictures.end(), [](const auto& a, const auto& b) { return a.deviation < b.deviation; });
    s.deviationRange = devHigh->deviation - devLow->deviation;

    std::uint64_t used = 0;
    for (const std::uint32_t c : pictures[0].histogram)
        used += c;
    std::uint64_t largest = 0;
    for (std::size_t a = 0; a < pictures.size(); ++a)
        for (std::size_t b = a + 1; b < pictures.size(); ++b) {
            std::uint64_t d = 0;
            for (int l = 0; l < 256; ++l)
                d += std::uint64_t(std::llabs(std::int64_t(pictures[a].histogram[std::size_t(l)]) -
                                              std::int64_t(pictures[b].histogram[std::size_t(l)])));
            largest = std::max(largest, d);
        }
    s.histogramDifference = used ? double(largest) / 2.0 / double(used) : 0.0;

    const std::size_t K = pictures.size();
    double squares = 0.0;
    std::size_t terms = 0;
    for (int r = 1; r <= FullRings(W, H); ++r) {
        bool usable = true;
        double meanLog = 0.0;
        for (const PictureMeasures& p : pictures) {
            usable = usable && std::size_t(r) < p.rotational.size() && p.rotational[std::size_t(r)] > 0.0;
            if (usable)
                meanLog += std::log10(p.rotational[std::size_t(r)]);
        }
        if (!usable)
            continue;
        meanLog /= double(K);
        for (const PictureMeasures& p : pictures) {
            const double d = std::log10(p.rotational[std::size_t(r)]) - meanLog;
            squares += d * d;
            ++terms;
        }
    }
    s.spectrumSpread = terms ? std::sqrt(squares / double(terms)) : 0.0;
    return s;
}

double FittedSlope(const std::vector<PictureMeasures>& pictures, int W, int H)
{
    std::vector<double> xs, ys;
    for (int r = 1; r <= FullRings(W, H); ++r) {
        double mean = 0.0;
        for (const PictureMeasures& p : pictures)
            mean += std::size_t(r) < p.rotational.size() ? p.rotational[std::size_t(r)] : 0.0;
        mean /= double(pictures.size());
        if (mean > 0.0) {
            xs.push_back(std::log10(double(r)));
            ys.push_back(std::log10(mean));
        }
    }
    if (xs.size() < 2)
        return std::numeric_limits<double>::quiet_NaN();
    double mx = 0.0, my = 0.0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        mx += xs[i];
        my += ys[i];
    }
    mx /= double(xs.size());
    my /= double(xs.size());
    double sxy = 0.0, sxx = 0.0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        sxy += (xs[i] - mx) * (ys[i] - my);
        sxx += (xs[i] - mx) * (xs[i] - mx);
    }
    return sxy / sxx;
}

double Rmse(const std::uint8_t* a, const std::uint8_t* b, std::size_t n)
{
    std::uint64_t squares = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t d = std::int64_t(a[i]) - std::int64_t(b[i]);
        squares += std::uint64_t(d * d);
    }
    return n ? std::sqrt(double(squares) / double(n)) : 0.0;
}

std::uint8_t Luma(int red, int green, int blue)
{
    return std::uint8_t((299 * red + 587 * green + 114 * blue + 500) / 1000);
}

}  // namespace stimuli
