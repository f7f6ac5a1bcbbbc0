// A side of the main window: opening a file into it.
#include "Sides.h"

void OpenSide(TImage* input, TImage* result, const AnsiString& fileName)
{
    input->Picture->LoadFromFile(fileName);
    result->Picture->LoadFromFile(fileName);
}
