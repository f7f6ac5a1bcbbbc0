// A side of the main window: its input picture and the result picture below
// it. Opening a file into a side, and cutting a pair that does not fit the
// main command down to one that does. Pictures only: korvanith-cli uses it too.
#pragma once

#include <optional>

#include "phase/Pair.h"
#include "platform/Graphics.h"

// Loads the file into the input picture, then into the result picture, as a
// side's "Open..." does: a load that fails raises and leaves the rest alone,
// so when the input fails the result keeps what it held.
void OpenSide(TPicture* input, TPicture* result, const AnsiString& fileName);

// The sizes of the pair of input pictures.
TPairSizes PairSizes(const TPicture* left, const TPicture* right);

// Refuses, with an EMisfitPair, a pair of pictures the main command cannot take.
void CheckPairFits(const TPicture* left, const TPicture* right);

// Cuts the side to its centre width x height (left offset (w - width) / 2,
// top offset (h - height) / 2, rounded down) and gives the result the cut
// picture, as if the cut file had been opened.
void CropSide(TPicture* input, TPicture* result, TCropSize size);

// Both sides cut to CropToFit of their inputs; false, changing nothing, when
// there is nothing to cut.
bool CropBoth(TPicture* leftInput, TPicture* leftResult, TPicture* rightInput,
              TPicture* rightResult);
