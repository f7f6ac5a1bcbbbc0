// Pop-up menus over QMenu.
#include "platform/Menus.h"

#include <QAction>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>
#include <QMenu>
#include <QPoint>
#include <QString>

#include "platform/Application.h"

void AddShortcut(QWidget* form, const AnsiString& key, std::function<void()> handler)
{
    auto* shortcut = new QShortcut(QKeySequence(QString::fromStdString(key)), form);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, shortcut,
                     [handler = std::move(handler)] { Application->Dispatch(handler); });
}

void TMenuItem::Click()
{
    if (Enabled && OnClick)
        Application->Dispatch(OnClick);
}

TMenuItem* TPopupMenu::Add(const AnsiString& caption, std::function<void()> onClick)
{
    items.push_back(std::make_unique<TMenuItem>());
    items.back()->Caption = caption;
    items.back()->OnClick = std::move(onClick);
    return items.back().get();
}

void TPopupMenu::Update()
{
    if (OnPopup)
        Application->Dispatch(OnPopup);
}

void TPopupMenu::Popup(int X, int Y)
{
    Update();
    QMenu menu;
    std::vector<std::pair<QAction*, TMenuItem*>> shown;
    for (const auto& item : items) {
        QAction* action = menu.addAction(QString::fromStdString(item->Caption));
        action->setEnabled(item->Enabled);
        shown.emplace_back(action, item.get());
    }
    QAction* chosen = menu.exec(QPoint(X, Y));
    for (const auto& [action, item] : shown)
        if (action == chosen)
            item->Click();
}
