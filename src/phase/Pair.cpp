// The pair rule, the crop that mends a pair, and the size text.
#include "phase/Pair.h"

#include <algorithm>
#include <string>

AnsiString SizeText(int width, int height)
{
    if (width <= 0 || height <= 0)
        return "not loaded";
    return std::to_string(width) + "\u00d7" + std::to_string(height);
}

bool PowerOfTwo(std::int64_t n) { return n > 0 && (n & (n - 1)) == 0; }

int PowerOfTwoWithin(int side)
{
    int power = 1;
    while (power <= side / 2)
        power *= 2;
    return power;
}

bool PairFits(const TPairSizes& s)
{
    return PowerOfTwo(s.leftWidth) && PowerOfTwo(s.leftHeight) && s.leftWidth == s.rightWidth &&
           s.leftHeight == s.rightHeight;
}

std::optional<TCropSize> CropToFit(const TPairSizes& s)
{
    if (s.leftWidth <= 0 || s.leftHeight <= 0 || s.rightWidth <= 0 || s.rightHeight <= 0 ||
        PairFits(s))
        return std::nullopt;
    return TCropSize{PowerOfTwoWithin(std::min(s.leftWidth, s.rightWidth)),
                     PowerOfTwoWithin(std::min(s.leftHeight, s.rightHeight))};
}

void CheckPairFits(const TPairSizes& s)
{
    if (!PairFits(s))
        throw EMisfitPair("Cannot transform: the left picture is " +
                              SizeText(s.leftWidth, s.leftHeight) + " and the right picture is " +
                              SizeText(s.rightWidth, s.rightHeight) +
                              ". Both pictures must be loaded and have the same size, with a "
                              "width and a height that are each a power of two (1, 2, 4, 8, "
                              "\u2026).",
                          CropToFit(s));
}

EMisfitPair::EMisfitPair(AnsiString sizes, std::optional<TCropSize> crop)
    : Exception(sizes), Sizes(std::move(sizes)), Crop(crop)
{
    if (Crop)
        Message += " To cut both to their centre " + Crop->Text() +
                   ", right-click a picture and choose \"Crop both to " + Crop->Text() + "\".";
}
