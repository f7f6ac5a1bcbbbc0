// The save dialog: where to write a file, asked of the user.
#pragma once

#include <vector>

#include "platform/Exception.h"

class QWidget;

// The standard file-open dialog: no initial folder; the pictures the program
// reads are listed first, every file on request.
class TOpenDialog {
public:
    // The dialog's filters: "Pictures (*.bmp *.BMP *.gif *.GIF ...)", the
    // patterns of each format the toolkit reads, then "All files (*)".
    static std::vector<AnsiString> PictureFilters();

    // Shows the dialog; true when the user accepted a file.
    bool Execute(QWidget* parent);
    AnsiString GetFileName() const { return fileName; }
    void SetFileName(const AnsiString& name) { fileName = name; }

private:
    AnsiString fileName;
};

class TSaveDialog {
public:
    AnsiString InitialDir;             // the folder it opens in
    AnsiString FileName;               // the name it proposes; the chosen path after Execute
    std::vector<AnsiString> Filters;   // "PNG picture (*.png)", ...; the first is chosen
    AnsiString DefaultExt;             // added to a name typed without an extension

    // Proposes a name beside the file a picture came from: its folder, and
    // its name without extension followed by suffix ("cat" + "-result.png").
    // Nothing when sourceFile is empty.
    void ProposeBeside(const AnsiString& sourceFile, const AnsiString& suffix);

    // Shows the dialog (it asks before replacing a file); true when the user
    // accepted a name.
    bool Execute(QWidget* parent);
};
