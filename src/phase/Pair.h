// The pair rule of the main command: which two pictures it takes, how a pair
// that does not fit is cut down to one that does, and how sizes read.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/Exception.h"

// "256×128"; "not loaded" for an empty size.
AnsiString SizeText(int width, int height);

// Whether n is a power of two (1 included).
bool PowerOfTwo(std::int64_t n);

// The largest power of two not above side (side >= 1).
int PowerOfTwoWithin(int side);

struct TCropSize {
    int width = 0, height = 0;
    AnsiString Text() const { return SizeText(width, height); }
};

// The sizes of a pair of pictures, 0 for a picture not loaded.
struct TPairSizes {
    int leftWidth = 0, leftHeight = 0, rightWidth = 0, rightHeight = 0;
};

// Whether the main command takes the pair: both loaded, of one size, with
// sides that are powers of two.
bool PairFits(const TPairSizes& sizes);

// The size both pictures are cut to so that the pair fits: for each
// dimension the largest power of two not above either picture's. Nothing
// when a picture is empty or the pair fits as it is.
std::optional<TCropSize> CropToFit(const TPairSizes& sizes);

// A pair the main command refuses: Message says why and how to crop it in the
// window; Sizes the same without the remedy; Crop the size it can be cut to.
class EMisfitPair : public Exception {
public:
    EMisfitPair(AnsiString sizes, std::optional<TCropSize> crop);
    AnsiString Sizes;
    std::optional<TCropSize> Crop;
};

// Raises EMisfitPair unless PairFits.
void CheckPairFits(const TPairSizes& sizes);
