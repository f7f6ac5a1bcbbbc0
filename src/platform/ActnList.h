// Actions: the form's file-open and exit commands and their dialog.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include <QObject>

#include "platform/Exception.h"

class QAction;
class QWidget;

// Gives behaviour to an action declared in the form description. It lives as
// long as that action and answers to the same name.
class TAction : public QObject {
    Q_OBJECT
public:
    explicit TAction(QAction* action);
    QAction* Handle() const { return action; }

    // The group the action is listed under, from the form description's
    // "Category".
    AnsiString GetCategory() const;

protected:
    virtual void Execute() = 0;

private:
    QAction* action;
};

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

class TFileAction : public TAction {
public:
    using TAction::TAction;
    TOpenDialog* GetDialog() { return &dialog; }

private:
    TOpenDialog dialog;
};

// Shows its dialog; when the user accepts a file, runs OnAccept.
class TFileOpen : public TFileAction {
public:
    using TFileAction::TFileAction;
    std::function<void()> OnAccept;

protected:
    void Execute() override;
};

// Ends the application.
class TFileExit : public TAction {
public:
    using TAction::TAction;

protected:
    void Execute() override;
};

// Holds the form's actions, in the order they were added; it does not own them.
class TActionList : public QObject {
public:
    using QObject::QObject;

    void AddAction(TAction* action) { actions.push_back(action); }
    int GetActionCount() const { return static_cast<int>(actions.size()); }
    TAction* GetAction(int index) const
    {
        return index >= 0 && index < GetActionCount() ? actions[std::size_t(index)] : nullptr;
    }

private:
    std::vector<TAction*> actions;
};
