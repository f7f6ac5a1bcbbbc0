// Controls of the form over Qt widgets.
#include "platform/Controls.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QPointer>
#include <QToolTip>
#include <QHeaderView>
#include <QImage>
#include <QMimeData>
#include <QUrl>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/ActnList.h"
#include "platform/Application.h"
#include "platform/Memory.h"
#include "platform/Menus.h"

TImage::TImage(QWidget* parent)
    : QWidget(parent), Picture(new TPicture), picture(Picture)
{
    Picture->OnChange.Add([this] { update(); });
}

TImage::~TImage() = default;

TCanvas* TImage::GetCanvas() { return Picture->GetBitmap()->GetCanvas(); }

void TImage::SetHint(const AnsiString& hint) { setToolTip(QString::fromStdString(hint)); }

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
    // Opened once the drop has ended: the program the file came from waits
    // for the drop while a message box would wait for the user.
    Application->Post([pane = QPointer<TImage>(this), name = file.toStdString()] {
        if (pane && pane->onDropFile)
            pane->onDropFile(name);
    });
}

AnsiString TImage::GetHint() const
{
    const QString help = toolTip();
    if (Picture->GetWidth() == 0)
        return help.toStdString();
    const AnsiString size =
        std::to_string(Picture->GetWidth()) + "\u00d7" + std::to_string(Picture->GetHeight());
    const AnsiString name = ShownName(
        QFileInfo(QString::fromStdString(Picture->GetFileName())).fileName().toStdString());
    const AnsiString first = name.empty() ? size : name + " \u2014 " + size;
    return help.isEmpty() ? first : first + "\n" + help.toStdString();
}

bool TImage::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const QString hint = QString::fromStdString(GetHint());
    if (hint.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), hint, this);
    }
    return true;
}

TPixelView::TPixelView(QWidget* parent)
    : QWidget(parent), source(std::make_unique<QImage>()), shown(std::make_unique<QImage>())
{
}
TPixelView::~TPixelView() = default;

namespace {

// The pixels averaged over blocks of f x f (the last partial ones left out):
// a cheap first step down from a large picture, so that the smooth scaling
// after it has at most twice the room's pixels to work on.
QImage Reduced(const std::uint8_t* bytes, int width, int height, int channels, int f)
{
    const int w = width / f, h = height / f;
    QImage reduced(w, h, channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (reduced.isNull())
        return reduced;
    std::vector<std::uint32_t> sums(std::size_t(w) * channels);
    const std::uint32_t area = std::uint32_t(f) * std::uint32_t(f);
    for (int y = 0; y < h; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int dy = 0; dy < f; ++dy) {
            const std::uint8_t* row = bytes + (std::size_t(y) * f + dy) * std::size_t(width) * channels;
            for (int x = 0; x < w; ++x)
                for (int dx = 0; dx < f; ++dx)
                    for (int c = 0; c < channels; ++c)
                        sums[std::size_t(x) * channels + c] += row[(std::size_t(x) * f + dx) * channels + c];
        }
        std::uint8_t* out = reduced.scanLine(y);
        for (std::size_t i = 0; i < sums.size(); ++i)
            out[i] = std::uint8_t((sums[i] + area / 2) / area);
    }
    return reduced;
}

// The view scaled smoothly to fit the room in proportion. The toolkit
// converts the view to 32-bit pixels and scales it on its helper threads, and
// waits for ever for one that cannot start: where memory is short for that,
// block averages alone bring the view within the room.
QImage ScaledWithin(const QImage& view, QSize room)
{
    const std::uint64_t pixels = std::uint64_t(view.width()) * std::uint64_t(view.height());
    const std::uint64_t roomPixels = std::uint64_t(room.width()) * std::uint64_t(room.height());
    // 32-bit copies of both, and as much again for the scaling's own work.
    const TMemoryNeed need{8 * (pixels + roomPixels) + (4 << 20),
                           ToolkitThreadStacks(std::int64_t(std::max(pixels, roomPixels)))};
    if (need.Fits(CurrentMemoryFigures()))
        return view.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const int f = std::max((view.width() + room.width() - 1) / room.width(),
                           (view.height() + room.height() - 1) / room.height());
    const int channels = view.format() == QImage::Format_Grayscale8 ? 1 : 3;
    const std::size_t row = std::size_t(view.width()) * channels;
    if (std::size_t(view.bytesPerLine()) == row)
        return Reduced(view.constBits(), view.width(), view.height(), channels, f);
    std::vector<std::uint8_t> rows(row * std::size_t(view.height()));  // without the padding
    for (int y = 0; y < view.height(); ++y)
        std::copy_n(view.constScanLine(y), row, rows.data() + row * std::size_t(y));
    return Reduced(rows.data(), view.width(), view.height(), channels, f);
}

}  // namespace

// The largest side kept of the pixels given: no screen shows a tile larger.
constexpr int KeptSide = 1024;

void TPixelView::SetPixels(int width, int height, int channels, const std::uint8_t* bytes)
{
    pixelWidth = pixelHeight = 0;
    *source = QImage();
    if (bytes && width > 0 && height > 0 && (channels == 1 || channels == 3)) {
        const int f = (std::max(width, height) + KeptSide - 1) / KeptSide;
        // The copy kept and a view of the room's size, asked of memory first:
        // where it is short the toolkit would only complain and show nothing.
        const QSize room = size().isEmpty() ? QSize(width, height) : size();
        const std::uint64_t kept = std::uint64_t(width / f) * std::uint64_t(height / f) * 4;
        const TMemoryNeed need{kept + 4 * std::uint64_t(room.width()) * std::uint64_t(room.height()) +
                                   (1 << 20),
                               0};
        if (!need.Fits(CurrentMemoryFigures())) {
            Rescale();
            return;
        }
        *source = f > 1 ? Reduced(bytes, width, height, channels, f)
                        : QImage(bytes, width, height, qsizetype(width) * channels,
                                 channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888)
                              .copy();
        if (!source->isNull())
            pixelWidth = width, pixelHeight = height;
    }
    Rescale();
}

void TPixelView::Rescale()
{
    *shown = QImage();
    if (source->isNull()) {
        update();
        return;
    }
    const QSize room = size().isEmpty() ? source->size() : size();
    if (fillsRoom) {
        *shown = source->scaled(room, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        update();
        return;
    }
    const double fits = std::min(double(room.width()) / source->width(),
                                 double(room.height()) / source->height());
    if (fits >= 1.0) {
        const int k = int(fits);  // whole pixels, each a k x k square
        *shown = k == 1 ? *source
                        : source->scaled(source->width() * k, source->height() * k,
                                         Qt::IgnoreAspectRatio, Qt::FastTransformation);
    } else {
        *shown = ScaledWithin(*source, room);
    }
    update();
}

void TPixelView::resizeEvent(QResizeEvent*) { Rescale(); }

void TPixelView::SetFillsRoom(bool fills)
{
    fillsRoom = fills;
    Rescale();
}

QSize TPixelView::ShownSize() const { return shown->size(); }

void TPixelView::paintEvent(QPaintEvent*)
{
    if (shown->isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, *shown);
}

TLabel::TLabel(QWidget* parent) : QLabel(parent) {}

TEdit::TEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::editingFinished, this, [this] {
        if (text() == finished)
            return;
        finished = text();
        if (OnChange)
            Application->Dispatch(OnChange);
    });
}

AnsiString TEdit::GetText() const { return text().toStdString(); }

void TEdit::SetText(const AnsiString& value)
{
    setText(QString::fromStdString(value));
    finished = text();
}

TScaleCaption::TScaleCaption(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(fontMetrics().height());
}

void TScaleCaption::SetMarks(const std::vector<AnsiString>& marks)
{
    texts = marks;
    update();
}

int TScaleCaption::MarkLeft(std::size_t i) const
{
    const QString text = QString::fromStdString(texts[i]);
    const int w = fontMetrics().horizontalAdvance(text);
    if (texts.size() == 1)
        return (width() - w) / 2;
    // The first flush left, the last flush right, the others centred on
    // their place along the width.
    const int at = int(std::lround(double(width()) * double(i) / double(texts.size() - 1)));
    return i == 0 ? 0 : i + 1 == texts.size() ? width() - w : at - w / 2;
}

void TScaleCaption::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (std::size_t i = 0; i < texts.size(); ++i)
        painter.drawText(MarkLeft(i), fontMetrics().ascent(), QString::fromStdString(texts[i]));
}
void TLabel::SetCaption(const AnsiString& caption) { setText(QString::fromStdString(caption)); }
AnsiString TLabel::GetCaption() const { return text().toStdString(); }

TTrackBar::TTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    connect(this, &QSlider::sliderMoved, this, [this] {
        if (OnMove)
            Application->Dispatch(OnMove);
    });
    connect(this, &QSlider::valueChanged, this, [this] {
        if (OnChange)
            Application->Dispatch(OnChange);
    });
}

void TTrackBar::SetRange(int min, int max) { setRange(min, max); }
int TTrackBar::GetPosition() const { return value(); }
int TTrackBar::GetHandlePosition() const { return sliderPosition(); }
void TTrackBar::SetPosition(int position) { setValue(position); }
void TTrackBar::SetEnabled(bool enabled) { setEnabled(enabled); }

void TTrackBar::SetTracking(bool tracking) { setTracking(tracking); }

TStringGrid::TStringGrid(QWidget* parent) : QTableWidget(parent)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void TStringGrid::SetSize(int columns, int rows)
{
    setColumnCount(columns);
    setRowCount(rows);
}

void TStringGrid::SetColumnTitle(int column, const AnsiString& title)
{
    setHorizontalHeaderItem(column, new QTableWidgetItem(QString::fromStdString(title)));
}

void TStringGrid::SetRowTitle(int row, const AnsiString& title)
{
    setVerticalHeaderItem(row, new QTableWidgetItem(QString::fromStdString(title)));
}

void TStringGrid::SetCell(int column, int row, const AnsiString& text, bool bold)
{
    auto* cell = new QTableWidgetItem(QString::fromStdString(text));
    cell->setTextAlignment(Qt::AlignCenter);
    QFont font = cell->font();
    font.setBold(bold);
    cell->setFont(font);
    setItem(row, column, cell);
}

AnsiString TStringGrid::GetCell(int column, int row) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text().toStdString() : AnsiString();
}

bool TStringGrid::IsBold(int column, int row) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell && cell->font().bold();
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
        connect(button, &QRadioButton::clicked, this, [this] {
            if (OnClick)
                Application->Dispatch(OnClick);
        });
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
