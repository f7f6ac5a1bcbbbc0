// The form base class over Qt: placing the window and binding its buttons.
#include "platform/Forms.h"

#include <QFont>
#include <QScreen>

#include <algorithm>

#include "platform/ActnList.h"
#include "platform/Controls.h"

TForm::TForm(TComponent*) : QWidget(nullptr) {}

void TForm::PlaceBeside(const QWidget* owner)
{
    const QScreen* screen = owner->screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect main = owner->frameGeometry();
    const int gap = 8;
    // Right of the owner, else left of it; where neither fits, at the
    // screen's right edge, covering as little of the owner as it can.
    int x = main.right() + 1 + gap;
    if (x + width() > room.right() + 1) {
        x = main.left() - gap - width();
        if (x < room.left())
            x = std::max(room.left(), room.right() + 1 - width());
    }
    const int y = std::clamp(main.top(), room.top(), std::max(room.top(), room.bottom() + 1 - height()));
    move(x, y);
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
