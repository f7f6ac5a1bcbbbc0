// The panes' context menu: "Crop both to W×H", "Save picture as..." and
// "Phase lab...".
#include "PaneMenu.h"

#include <algorithm>

#include "Sides.h"
#include "platform/Dialogs.h"
#include "platform/Menus.h"
#include "platform/SaveFiles.h"

namespace {

const char Hint[] =
    "Right-click (or the menu key) for: Crop both to fit, Save picture as..., Phase lab... (F2)";

}  // namespace

void SavePaneAs(TImage* pane, bool result)
{
    TSaveDialog dialog;
    dialog.Filters = TSaveGroup::PictureFilters();
    dialog.DefaultExt = "png";
    dialog.ProposeBeside(pane->Picture->GetFileName(), result ? "-result.png" : "-input.png");
    if (!dialog.Execute(pane))
        return;
    try {
        TSaveGroup file;
        file.AddPicture(dialog.FileName, pane->Picture);
        file.Commit();
    } catch (const EWriteError& e) {
        throw Exception("Cannot save " + ShownName(e.FileName) + ": " + e.Reason + ".");
    }
}

void AttachPaneMenus(TForm* window, const TPanes& panes, std::function<void()> openLab)
{
    AddShortcut(window, "F2", openLab);
    TPicture* const left = panes.leftInput->Picture;
    TPicture* const right = panes.rightInput->Picture;
    for (TImage* pane : {panes.leftInput, panes.rightInput, panes.leftResult, panes.rightResult}) {
        const bool result = pane == panes.leftResult || pane == panes.rightResult;
        auto* menu = new TPopupMenu(pane);
        TMenuItem* crop = menu->Add("&Crop both to fit", [=] {
            CropBoth(left, panes.leftResult->Picture, right, panes.rightResult->Picture);
        });
        TMenuItem* save = menu->Add("&Save picture as...", [pane, result] { SavePaneAs(pane, result); });
        menu->Add("Phase &lab...", openLab);
        menu->OnPopup = [=] {
            const TPairSizes sizes = PairSizes(left, right);
            const bool both = sizes.leftWidth > 0 && sizes.rightWidth > 0;
            const TCropSize size{PowerOfTwoWithin(std::min(sizes.leftWidth, sizes.rightWidth)),
                                 PowerOfTwoWithin(std::min(sizes.leftHeight, sizes.rightHeight))};
            crop->Caption = both ? "&Crop both to " + size.Text() : "&Crop both to fit";
            crop->Enabled = CropToFit(sizes).has_value();
            save->Enabled = pane->Picture->GetWidth() > 0;
        };
        pane->SetPopupMenu(menu);
        pane->SetHint(Hint);
    }
}
