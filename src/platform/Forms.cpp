// The form base class over Qt: placing the window and binding its buttons.
#include "platform/Forms.h"

#include <QFont>
#include <QScreen>

#include <algorithm>

#include "platform/ActnList.h"
#include "platform/Controls.h"

TForm::TForm(TComponent*) : QWidget(nullptr) {}

QPoint TForm::PlaceBeside(const QRect& owner, const QSize& size, const QRect& room)
{
    const int gap = 8;
    // Right of the owner, else left of it; where neither fits, at the
    // screen's right edge, covering as little of the owner as it can.
    int x = owner.right() + 1 + gap;
    if (x + size.width() > room.right() + 1) {
        x = owner.left() - gap - size.width();
        if (x < room.left())
            x = std::max(room.left(), room.right() + 1 - size.width());
    }
    const int y = std::clamp(owner.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height()));
    return {x, y};
}

void TForm::PlaceBeside(const QWidget* owner)
{
    if (const QScreen* screen = owner->screen())
        move(PlaceBeside(owner->frameGeometry(), frameGeometry().size(), screen->availableGeometry()));
}

void TForm::ShowOwnedBy(QWidget* owner)
{
    if (parentWidget() != owner) {
        setParent(owner, Qt::Window);
        adjustSize();  // as large as its layout asks
        PlaceBeside(owner);
    }
    show();
    raise();
    activateWindow();
}

bool TForm::IsShown() const { return isVisible(); }

void TForm::Loaded()
{
    // The toolkit's form compiler sizes a top-level window but does not place it.
    const QVariant left = property("Left"), top = property("Top");
    if (left.isValid() && top.isValid())
        move(left.toInt(), top.toInt());
    // A negative "FontHeight" is the characters' height in pixels; the form
    // compiler knows only point sizes.
    const QVariant height = property("FontHeight");
    if (height.isValid() && height.toInt() < 0) {
        QFont sized = font();
        sized.setPixelSize(-height.toInt());
        setFont(sized);
    }
    for (TButton* button : findChildren<TButton*>()) {
        const QString name = button->property("Action").toString();
        if (name.isEmpty())
            continue;
        if (auto* action = findChild<TAction*>(name))
            button->SetAction(action);
    }
}
