// The form base class over Qt: placing the window and binding its buttons.
#include "platform/Forms.h"

#include <QFont>

#include "platform/ActnList.h"
#include "platform/Controls.h"

TForm::TForm(TComponent*) : QWidget(nullptr) {}

void TForm::ShowOwnedBy(QWidget* owner)
{
    if (parentWidget() != owner) {
        setParent(owner, Qt::Window);
        setAttribute(Qt::WA_DeleteOnClose);
        adjustSize();  // as large as its layout asks
    }
    show();
    raise();
    activateWindow();
}

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
