// Equalising a set of gray pictures: luminance, histogram, amplitude spectrum
// and rotational spectrum, on 8-bit levels kept in one buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace stimuli {

// K gray pictures of one size W x H, levels 0..255, picture k's pixels row by
// row at Levels(k): the whole set lives as bytes, one per pixel.
class PictureSet {
public:
    PictureSet(int width, int height, std::size_t count);
    int Width() const { return width; }
    int Height() const { return height; }
    std::size_t Count() const { return count; }
    std::size_t Pixels() const { return std::size_t(width) * std::size_t(height); }
    std::uint8_t* Levels(std::size_t k) { return levels.data() + k * Pixels(); }
    const std::uint8_t* Levels(std::size_t k) const { return levels.data() + k * Pixels(); }

private:
    int width, height;
    std::size_t count;
    std::vector<std::uint8_t> levels;
};

// The four steps: luminance, histogram, amplitude spectrum, rotational spectrum.
enum class Step { Luminance, Histogram, Spectrum, Rotational };

// How values after a spectrum step are mapped to 0..255 before rounding: Set takes
// the minimum and maximum over the whole set to 0 and 255, Mean the mean of
// the pictures' minima and the mean of their maxima.
enum class Rescale { Set, Mean };

// A request the engine cannot serve, in words for the user.
class EqualiseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "lum,hist" as its steps; an empty word or an unknown one raises
// EqualiseError naming it.
std::vector<Step> ParseSteps(const std::string& text);
const char* StepName(Step step);

struct EqualiseOptions {
    std::vector<Step> steps;  // run in this order, `iterations` times
    int iterations = 1;
    Rescale rescale = Rescale::Set;
    std::uint64_t seed = 1;  // breaks the histogram step's ties
    // W x H bytes, non-zero where a pixel is used by lum and hist; nullptr:
    // every pixel. The other steps always use the whole picture.
    const std::uint8_t* mask = nullptr;
    int jobs = 1;  // threads; the results do not depend on it
    // Told (done, total) as work on single pictures ends, from any thread,
    // one call at a time; may be empty.
    std::function<void(std::size_t, std::size_t)> progress;
};

// Runs the steps on the set in place: every step's output is rounded (halves
// up) and clipped to 0..255 before the next step reads it. Raises
// EqualiseError for fewer than two pictures, no steps, iterations < 1 or a
// mask with no used pixel; std::bad_alloc when memory runs out. The same set
// and options give the same bytes for any number of jobs.
void Equalise(PictureSet& set, const EqualiseOptions& options);

// A bound on the memory that equalising K pictures of W x H on `jobs`
// threads takes, with a copy of the originals beside them: the set twice (2
// bytes a pixel a picture), a complex grid per thread (16 bytes a pixel) and
// the largest of the steps' shared tables (the histogram step's key order, 17
// bytes a pixel while it is sorted; the set's mean amplitude, 8).
std::uint64_t BytesNeeded(int W, int H, std::size_t K, int jobs);

// The nearest level to a value: halves up, then clipped to 0..255 (NaN: 0).
std::uint8_t Level(double value);

// The mean and the standard deviation (divisor m - 1; 0 for m < 2) of the m
// levels counted by histogram[0..255], summed level by level: pictures with
// equal histograms get the same bits.
void Moments(const std::uint64_t* histogram, double& mean, double& deviation);

// The single steps, as Equalise runs them.

// lum: each picture's used pixels x become (x - mu) / sigma * S + M, mu and
// sigma (divisor m - 1 over its m used pixels) its own, M and S the means over
// the set of the mu and the sigma; a picture with sigma 0 (or one used pixel)
// becomes M. Pixels outside the mask keep their level.
void MatchLuminance(PictureSet& set, const std::uint8_t* mask, int jobs);

// The target of the histogram step: the mean over the set of the histograms
// of the used pixels, made integer by largest remainder (ties to the lower
// level), summing to the count of used pixels. Exact integer arithmetic.
std::vector<std::uint32_t> TargetHistogram(const PictureSet& set, const std::uint8_t* mask);

// hist: each picture's used pixels ranked by level, ties by ascending
// SplitMix64(NoiseState(seed, 0, i)) of their row-major index i; the r-th
// (from 0) gets the lowest level whose cumulative target count exceeds r.
void MatchHistogram(PictureSet& set, const std::uint8_t* mask, std::uint64_t seed, int jobs);

// The two spectrum steps before their rescale: picture k's real values,
// W x H row by row, handed to `each` with k (on a worker thread, one picture
// per call, any order among pictures). The spectrum is DFT with exp(-i...).
// SpectrumValues gives picture k the amplitude T (the set's mean amplitude)
// with its own phase, F_k T / |F_k|, and T where F_k is 0 (phase 0). An
// element counts as 0 when its magnitude is at most 2^-40 of the picture's
// level sum: the transform leaves elements that are 0 in exact arithmetic as
// rounding noise, whose phase would be noise too (|F_k| is taken as 0 in T
// there). RotationalValues scales each ring of F_k by the set's ring sum over
// its own (1 where its own is 0). Each value is the real part of the inverse
// DFT (exp(+i...), divided by W H).
using Values = std::function<void(std::size_t k, const double* values)>;
void SpectrumValues(const PictureSet& set, int jobs, const Values& each);
void RotationalValues(const PictureSet& set, int jobs, const Values& each);

// The spectrum steps as Equalise runs them: the values above, rescaled as told,
// rounded and clipped into the set.
void MatchSpectrum(PictureSet& set, Rescale rescale, int jobs);
void MatchRotational(PictureSet& set, Rescale rescale, int jobs);

// The ring of the DFT element at column x and row y of a W x H grid: the
// frequencies centred, u = x for x < ceil(W/2) and x - W above (v likewise),
// ring round(sqrt(u^2 + v^2)). Rings run from 0 to RingCount(W, H) - 1.
int Ring(int x, int y, int W, int H);
int RingCount(int W, int H);

}  // namespace stimuli
