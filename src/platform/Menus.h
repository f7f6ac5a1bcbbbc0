// Pop-up menus: a list of items, each a caption, an enabled state and a
// handler, shown where the user right-clicks a control (or presses the menu key).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>

class QWidget;

#include "platform/Exception.h"

class TMenuItem {
public:
    AnsiString Caption;  // "&" marks the key that chooses it
    bool Enabled = true;
    std::function<void()> OnClick;

    // Runs OnClick through the application's handler guard, when enabled.
    void Click();
};

// A key (such as "F2") that runs the handler, through the application's
// handler guard, while the form or any of its controls has the focus.
void AddShortcut(QWidget* form, const AnsiString& key, std::function<void()> handler);

class TPopupMenu : public QObject {
public:
    using QObject::QObject;

    TMenuItem* Add(const AnsiString& caption, std::function<void()> onClick);
    const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return items; }

    // Runs just before the menu shows, to set captions and enabled states.
    std::function<void()> OnPopup;

    // Brings the items up to date (OnPopup) without showing the menu.
    void Update();

    // Shows the menu at the screen position and runs the item chosen, if any.
    void Popup(int X, int Y);

private:
    std::vector<std::unique_ptr<TMenuItem>> items;
};
