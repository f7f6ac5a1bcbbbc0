// The panes' context menu: "Crop both to W×H", "Save picture as..." and
// "Phase lab...".
#include "PaneMenu.h"

#include <QFileInfo>

#include <algorithm>

#include "Sides.h"
#include "Unit2.h"
#include "platform/Dialogs.h"
#include "platform/Menus.h"
#include "platform/SaveFiles.h"

namespace {

const char Tooltip[] =
    "Right-click (or the menu key) for: Crop both to fit, Save picture as..., Phase lab... (F2)";

// The folder and name the save dialog proposes: beside the file the picture
// came from, named after it and the pane ("face-left-result.png").
void Propose(TSaveDialog& dialog, const TPicture* picture, bool result)
{
    const QFileInfo source(QString::fromStdString(picture->GetFileName()));
    if (picture->GetFileName().empty())
        return;
    dialog.InitialDir = source.absolutePath().toStdString();
    dialog.FileName = (source.completeBaseName() + (result ? "-result.png" : "-input.png")).toStdString();
}

}  // namespace

void SavePaneAs(TImage* pane, bool result)
{
    TSaveDialog dialog;
    dialog.Filters = TSaveGroup::PictureFilters();
    dialog.DefaultExt = "png";
    Propose(dialog, pane->Picture, result);
    if (!dialog.Execute(pane->window()))
        return;
    try {
        TSaveGroup file;
        file.AddPicture(dialog.FileName, pane->Picture);
        file.Commit();
    } catch (const EWriteError& e) {
        throw Exception("Cannot save " + e.FileName + ": " + e.Reason + ".");
    }
}

void AttachPaneMenus(TForm* window, TImage* leftInput, TImage* rightInput, TImage* leftResult,
                     TImage* rightResult)
{
    const auto openLab = [=] { OpenPhaseLab(window, leftInput, rightInput); };
    AddShortcut(window, "F2", openLab);
    for (TImage* pane : {leftInput, rightInput, leftResult, rightResult}) {
        const bool result = pane == leftResult || pane == rightResult;
        auto* menu = new TPopupMenu(pane);
        TMenuItem* crop = menu->Add("&Crop both to fit", [=] {
            CropBoth(leftInput, leftResult, rightInput, rightResult);
        });
        TMenuItem* save = menu->Add("&Save picture as...", [pane, result] { SavePaneAs(pane, result); });
        menu->Add("Phase &lab...", openLab);
        menu->OnPopup = [=] {
            const TPicture* left = leftInput->Picture;
            const TPicture* right = rightInput->Picture;
            const bool both = left->GetWidth() > 0 && right->GetWidth() > 0;
            const TCropSize size{PowerOfTwoWithin(std::min(left->GetWidth(), right->GetWidth())),
                                 PowerOfTwoWithin(std::min(left->GetHeight(), right->GetHeight()))};
            crop->Caption = both ? "&Crop both to " + size.Text() : "&Crop both to fit";
            crop->Enabled = CropToFit(left, right).has_value();
            save->Enabled = pane->Picture->GetWidth() > 0;
        };
        pane->SetPopupMenu(menu);
        pane->setToolTip(Tooltip);
    }
}
