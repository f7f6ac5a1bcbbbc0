// Controls of the form over Qt widgets.
#include "platform/Controls.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QUrl>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/ActnList.h"
#include "platform/Application.h"
#include "platform/Menus.h"

TImage::TImage(QWidget* parent)
    : QWidget(parent), Picture(new TPicture), picture(Picture)
{
    Picture->OnChange = [this] { update(); };
}

TImage::~TImage() = default;

TCanvas* TImage::GetCanvas() { return Picture->GetBitmap()->GetCanvas(); }

void TImage::paintEvent(QPaintEvent*)
{
    const QImage& image = Picture->Image();
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void TImage::SetPopupMenu(TPopupMenu* menu)
{
    popupMenu = menu;
    setFocusPolicy(menu ? Qt::ClickFocus : Qt::NoFocus);  // not in the Tab order
}

void TImage::contextMenuEvent(QContextMenuEvent* event)
{
    if (!popupMenu) {
        event->ignore();
        return;
    }
    event->accept();
    popupMenu->Popup(event->globalPos().x(), event->globalPos().y());
}

void TImage::SetOnDropFile(std::function<void(const AnsiString&)> handler)
{
    onDropFile = std::move(handler);
    setAcceptDrops(static_cast<bool>(onDropFile));
}

namespace {

// The one local file a drag carries, or "" for anything else.
QString DroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().constFirst();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

void TImage::dragEnterEvent(QDragEnterEvent* event)
{
    if (onDropFile && !DroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TImage::dropEvent(QDropEvent* event)
{
    const QString file = DroppedFile(event->mimeData());
    if (!onDropFile || file.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Application->Dispatch([this, name = file.toStdString()] { onDropFile(name); });
}

TButton::TButton(QWidget* parent) : QPushButton(parent)
{
    connect(this, &QPushButton::clicked, this, [this] {
        if (OnClick)
            Application->Dispatch(OnClick);
    });
}

void TButton::SetAction(TAction* action)
{
    QAction* handle = action->Handle();
    setText(handle->text());
    setToolTip(handle->toolTip());
    setStatusTip(handle->statusTip());
    OnClick = [handle] { handle->trigger(); };
}

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(0);
}

QStringList TRadioGroup::GetItems() const
{
    QStringList items;
    for (const QRadioButton* button : buttons)
        items << button->text();
    return items;
}

void TRadioGroup::SetItems(const QStringList& items)
{
    qDeleteAll(buttons);
    buttons.clear();
    for (const QString& text : items) {
        auto* button = new QRadioButton(text, this);
        layout()->addWidget(button);
        buttons << button;
    }
    SetItemIndex(wanted);  // the form may choose the item before naming the items
}

int TRadioGroup::GetItemIndex() const
{
    for (int i = 0; i < buttons.size(); ++i)
        if (buttons[i]->isChecked())
            return i;
    return -1;
}

void TRadioGroup::SetItemIndex(int index)
{
    wanted = index;
    if (index >= 0 && index < buttons.size()) {
        buttons[index]->setChecked(true);
        return;
    }
    for (QRadioButton* button : buttons) {  // none chosen
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}
