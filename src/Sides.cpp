// A side of the main window: opening a file into it, cropping a pair to fit.
#include "Sides.h"

void OpenSide(TPicture* input, TPicture* result, const AnsiString& fileName)
{
    input->LoadFromFile(fileName);
    result->LoadFromFile(fileName);
}

TPairSizes PairSizes(const TPicture* left, const TPicture* right)
{
    return {left->GetWidth(), left->GetHeight(), right->GetWidth(), right->GetHeight()};
}

void CheckPairFits(const TPicture* left, const TPicture* right)
{
    CheckPairFits(PairSizes(left, right));
}

void CropSide(TPicture* input, TPicture* result, TCropSize size)
{
    input->Crop((input->GetWidth() - size.width) / 2, (input->GetHeight() - size.height) / 2,
                size.width, size.height);
    result->Assign(input);
}

bool CropBoth(TPicture* leftInput, TPicture* leftResult, TPicture* rightInput,
              TPicture* rightResult)
{
    const std::optional<TCropSize> size = CropToFit(PairSizes(leftInput, rightInput));
    if (!size)
        return false;
    CropSide(leftInput, leftResult, *size);
    CropSide(rightInput, rightResult, *size);
    return true;
}
