// The context menu of the main window's four picture panes: cut a pair that
// does not fit the transform down to one that does, save a pane's picture,
// open the phase lab (also on F2).
#pragma once

#include "platform/Controls.h"
#include "platform/Forms.h"

// Gives each pane of the window its menu (right-click, or the menu key once
// clicked) and a tooltip that says so, and the window the key F2 for the lab.
void AttachPaneMenus(TForm* window, TImage* leftInput, TImage* rightInput, TImage* leftResult,
                     TImage* rightResult);

// Asks where to save the pane's whole picture (a result pane's or an input's)
// and writes it there, through a temporary file beside the target; raises with
// the file and the reason.
void SavePaneAs(TImage* pane, bool result);
