// A side of the main window: its input picture and the result pane below it.
// Opening a file into a side, and cutting a pair that does not fit the
// transform down to one that does.
#pragma once

#include <optional>

#include "platform/Controls.h"

// Loads the file into the input picture, then into the result pane below it,
// as a side's "Open..." does: a load that fails raises and leaves the rest
// alone, so when the input fails the result pane keeps what it held.
void OpenSide(TImage* input, TImage* result, const AnsiString& fileName);

struct TCropSize {
    int width = 0, height = 0;
    AnsiString Text() const;  // "256×128"
};

// The largest power of two not above side (side >= 1).
int PowerOfTwoWithin(int side);

// The size both pictures are cut to so that the pair can be transformed: for
// each dimension the largest power of two not above either picture's. Nothing
// when a picture is empty or the pair fits as it is.
std::optional<TCropSize> CropToFit(int leftWidth, int leftHeight, int rightWidth, int rightHeight);
std::optional<TCropSize> CropToFit(const TPicture* left, const TPicture* right);

// Cuts the side to its centre width x height (left offset (w - width) / 2,
// top offset (h - height) / 2, rounded down) and gives the result pane the
// cut picture, as if the cut file had been opened.
void CropSide(TImage* input, TImage* result, TCropSize size);

// Both sides cut to CropToFit of their inputs; false, changing nothing, when
// there is nothing to cut.
bool CropBoth(TImage* leftInput, TImage* leftResult, TImage* rightInput, TImage* rightResult);

// Refuses, with an EMisfitPair, a pair of pictures the transform cannot take:
// both must be loaded and of one size, with sides that are powers of two.
void CheckPairFits(const TPicture* left, const TPicture* right);

// A pair the transform refuses: Message says why and how to crop it in the
// window; Sizes the same without the remedy; Crop the size it can be cut to.
class EMisfitPair : public Exception {
public:
    EMisfitPair(AnsiString sizes, std::optional<TCropSize> crop);
    AnsiString Sizes;
    std::optional<TCropSize> Crop;
};
