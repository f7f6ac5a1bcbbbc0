// The context menu of the main window's four picture panes: cut a pair that
// does not fit the transform down to one that does, save a pane's picture,
// open the phase lab (also on F2).
#pragma once

#include <functional>

#include "platform/Controls.h"
#include "platform/Forms.h"

// The main window's panes: its two inputs, then the results below them.
struct TPanes {
    TImage* leftInput;
    TImage* rightInput;
    TImage* leftResult;
    TImage* rightResult;
};

// Gives each pane its menu (right-click, or the menu key once clicked) and a
// hint that says so, and the window the key F2; "Phase lab..." and F2 run
// openLab.
void AttachPaneMenus(TForm* window, const TPanes& panes, std::function<void()> openLab);

// Asks where to save the pane's whole picture (a result pane's or an input's)
// and writes it there, through a temporary file beside the target; raises with
// the file and the reason.
void SavePaneAs(TImage* pane, bool result);
