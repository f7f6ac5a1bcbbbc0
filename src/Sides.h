// A side of the main window: its input picture and the result pane below it.
#pragma once

#include "platform/Controls.h"

// Loads the file into the input picture, then into the result pane below it,
// as a side's "Open..." does: a load that fails raises and leaves the rest
// alone, so when the input fails the result pane keeps what it held.
void OpenSide(TImage* input, TImage* result, const AnsiString& fileName);
