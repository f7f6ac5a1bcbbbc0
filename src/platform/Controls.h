// Controls of the form: the picture box, the push button, the radio group.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
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
    // (through the application's handler guard) once the drop has ended; any
    // other drop is refused.
    void SetOnDropFile(std::function<void(const AnsiString& fileName)> handler);

    // The menu shown on a right-click, or on the menu key once a click has
    // given the control the focus; none when null.
    void SetPopupMenu(TPopupMenu* menu);
    TPopupMenu* GetPopupMenu() const { return popupMenu; }

    // The text shown when the pointer rests on the control.
    void SetHint(const AnsiString& hint);

    // What the control's tooltip shows: the picture's file name and size
    // ("chelsea.png — 451×300") above the tooltip text it was given;
    // that text alone while it shows no picture.
    AnsiString GetHint() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::unique_ptr<TPicture> picture;
    std::function<void(const AnsiString&)> onDropFile;
    TPopupMenu* popupMenu = nullptr;
};

// Shows pixels that are not a picture of their own (the lab's tiles): gray or
// RGB bytes, from the top-left corner, as large as the control allows in
// proportion: enlarged by whole pixels, without smoothing, so that a small
// picture's pixels stay sharp squares; reduced smoothly. Follows the
// control's size. Keeps a copy of at most 1024 pixels a side (block averages
// of larger pixels) and what it shows.
class TPixelView : public QWidget {
    Q_OBJECT
public:
    explicit TPixelView(QWidget* parent = nullptr);
    ~TPixelView() override;

    // Fills the whole control instead, out of proportion (a legend's bar).
    void SetFillsRoom(bool fills);

    // width x height pixels, row-major without padding, channels 1 (gray) or
    // 3 (RGB); a null bytes or an empty size shows nothing.
    void SetPixels(int width, int height, int channels, const std::uint8_t* bytes);
    // The size of the pixels given, and of what is shown of them.
    int GetPixelWidth() const { return pixelWidth; }
    int GetPixelHeight() const { return pixelHeight; }
    QSize ShownSize() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Rescale();
    std::unique_ptr<QImage> source;  // the pixels, or their block averages
    std::unique_ptr<QImage> shown;
    int pixelWidth = 0, pixelHeight = 0;
    bool fillsRoom = false;
};

// A line of text.
class TLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLabel(QWidget* parent = nullptr);
    void SetCaption(const AnsiString& caption);
    AnsiString GetCaption() const;
};

// Marks under a scale, spread evenly along its width: the first flush with
// its left edge, the last flush with its right edge, the others centred on
// their places ("−π", "0", "π" under a bar from −π to π).
class TScaleCaption : public QWidget {
    Q_OBJECT
public:
    explicit TScaleCaption(QWidget* parent = nullptr);
    void SetMarks(const std::vector<AnsiString>& marks);
    // Where mark i starts, in pixels from the left edge.
    int MarkLeft(std::size_t i) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<AnsiString> texts;
};

// A line of text the user edits. OnChange runs when the user has finished
// (Enter, or the focus leaves) and the text differs from before.
class TEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TEdit(QWidget* parent = nullptr);
    AnsiString GetText() const;
    void SetText(const AnsiString& text);
    std::function<void()> OnChange;

private:
    QString finished;  // the text when OnChange last ran
};

// A slider from Min to Max. OnChange runs when the position changes: while
// it is dragged when Tracking, else once it is let go. OnMove runs whenever
// the handle is dragged to another position, Tracking or not.
class TTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TTrackBar(QWidget* parent = nullptr);
    void SetRange(int min, int max);
    int GetPosition() const;
    void SetPosition(int position);  // runs OnChange when it moves
    void SetTracking(bool tracking);
    void SetEnabled(bool enabled);
    // The position the handle is at, also while dragged and not yet let go.
    int GetHandlePosition() const;
    std::function<void()> OnChange;
    std::function<void()> OnMove;
};

// A table of texts, addressed by column and row from 0; a cell may be bold.
class TStringGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit TStringGrid(QWidget* parent = nullptr);
    void SetSize(int columns, int rows);
    void SetColumnTitle(int column, const AnsiString& title);
    void SetRowTitle(int row, const AnsiString& title);
    void SetCell(int column, int row, const AnsiString& text, bool bold = false);
    AnsiString GetCell(int column, int row) const;
    bool IsBold(int column, int row) const;
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

    // Runs when the user chooses an item (not when SetItemIndex does).
    std::function<void()> OnClick;

private:
    QList<QRadioButton*> buttons;
    int wanted = -1;
};
