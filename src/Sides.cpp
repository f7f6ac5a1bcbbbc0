// A side of the main window: opening a file into it, cropping a pair to fit.
#include "Sides.h"

#include <algorithm>
#include <string>

void OpenSide(TImage* input, TImage* result, const AnsiString& fileName)
{
    input->Picture->LoadFromFile(fileName);
    result->Picture->LoadFromFile(fileName);
}

AnsiString TCropSize::Text() const
{
    return std::to_string(width) + "\u00d7" + std::to_string(height);
}

int PowerOfTwoWithin(int side)
{
    int power = 1;
    while (power <= side / 2)
        power *= 2;
    return power;
}

namespace {

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

std::optional<TCropSize> CropToFit(int leftWidth, int leftHeight, int rightWidth, int rightHeight)
{
    if (leftWidth <= 0 || leftHeight <= 0 || rightWidth <= 0 || rightHeight <= 0)
        return std::nullopt;
    const bool fits = leftWidth == rightWidth && leftHeight == rightHeight &&
                      PowerOfTwo(leftWidth) && PowerOfTwo(leftHeight);
    if (fits)
        return std::nullopt;
    return TCropSize{PowerOfTwoWithin(std::min(leftWidth, rightWidth)),
                     PowerOfTwoWithin(std::min(leftHeight, rightHeight))};
}

std::optional<TCropSize> CropToFit(const TPicture* left, const TPicture* right)
{
    return CropToFit(left->GetWidth(), left->GetHeight(), right->GetWidth(), right->GetHeight());
}

void CropSide(TImage* input, TImage* result, TCropSize size)
{
    TPicture* picture = input->Picture;
    picture->Crop((picture->GetWidth() - size.width) / 2, (picture->GetHeight() - size.height) / 2,
                  size.width, size.height);
    result->Picture->Assign(picture);
}

bool CropBoth(TImage* leftInput, TImage* leftResult, TImage* rightInput, TImage* rightResult)
{
    const std::optional<TCropSize> size = CropToFit(leftInput->Picture, rightInput->Picture);
    if (!size)
        return false;
    CropSide(leftInput, leftResult, *size);
    CropSide(rightInput, rightResult, *size);
    return true;
}

namespace {

std::string SizeText(const TPicture* picture)
{
    if (picture->GetWidth() == 0 || picture->GetHeight() == 0)
        return "not loaded";
    return std::to_string(picture->GetWidth()) + "\u00d7" + std::to_string(picture->GetHeight());
}

}  // namespace

void CheckPairFits(const TPicture* left, const TPicture* right)
{
    const bool fit = PowerOfTwo(left->GetWidth()) && PowerOfTwo(left->GetHeight()) &&
                     left->GetWidth() == right->GetWidth() &&
                     left->GetHeight() == right->GetHeight();
    if (!fit)
        throw EMisfitPair("Cannot transform: the left picture is " + SizeText(left) +
                              " and the right picture is " + SizeText(right) +
                              ". Both pictures must be loaded and have the same size, with a "
                              "width and a height that are each a power of two (1, 2, 4, 8, "
                              "\u2026).",
                          CropToFit(left, right));
}

EMisfitPair::EMisfitPair(AnsiString sizes, std::optional<TCropSize> crop)
    : Exception(sizes), Sizes(std::move(sizes)), Crop(crop)
{
    if (Crop)
        Message += " To cut both to their centre " + Crop->Text() +
                   ", right-click a picture and choose \"Crop both to " + Crop->Text() + "\".";
}
