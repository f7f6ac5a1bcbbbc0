// The save dialog: where to write a file, asked of the user.
#pragma once

#include <vector>

#include "platform/Exception.h"

class QWidget;

class TSaveDialog {
public:
    AnsiString InitialDir;             // the folder it opens in
    AnsiString FileName;               // the name it proposes; the chosen path after Execute
    std::vector<AnsiString> Filters;   // "PNG picture (*.png)", ...; the first is chosen
    AnsiString DefaultExt;             // added to a name typed without an extension

    // Shows the dialog (it asks before replacing a file); true when the user
    // accepted a name.
    bool Execute(QWidget* parent);
};
