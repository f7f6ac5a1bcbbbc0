// Controls of the form: the picture box, the push button, the radio group.
#pragma once

#include <functional>
#include <memory>

#include <QGroupBox>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include "platform/Graphics.h"

class QRadioButton;
class TAction;
class TPopupMenu;

// Shows its picture at the picture's own size from the top-left corner,
// clipped to the control; never stretched or centred.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    ~TImage() override;

    TCanvas* GetCanvas();  // draws into the picture

    TPicture* const Picture;

    // When set, a single local file dropped on the control is handed to it
    // (through the application's handler guard); any other drop is refused.
    void SetOnDropFile(std::function<void(const AnsiString& fileName)> handler);

    // The menu shown on a right-click, or on the menu key once a click has
    // given the control the focus; none when null.
    void SetPopupMenu(TPopupMenu* menu);
    TPopupMenu* GetPopupMenu() const { return popupMenu; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::unique_ptr<TPicture> picture;
    std::function<void(const AnsiString&)> onDropFile;
    TPopupMenu* popupMenu = nullptr;
};

class TButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString Action MEMBER actionName)
public:
    explicit TButton(QWidget* parent = nullptr);

    // Shows the action's caption and triggers the action when clicked.
    void SetAction(TAction* action);

    // Runs on a click, through the application's handler guard.
    std::function<void()> OnClick;

private:
    QString actionName;
};

// A group box whose items are radio buttons, one above the other; ItemIndex
// is the chosen item, -1 for none.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ GetItems WRITE SetItems)
    Q_PROPERTY(int ItemIndex READ GetItemIndex WRITE SetItemIndex)
public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    QStringList GetItems() const;
    void SetItems(const QStringList& items);
    int GetItemIndex() const;
    void SetItemIndex(int index);

private:
    QList<QRadioButton*> buttons;
    int wanted = -1;
};
