// The form base class: a top-level window built from a form description.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include "platform/Application.h"

class TForm : public QWidget {
public:
    explicit TForm(TComponent* Owner);

    // Shows the form as a window of its own in front of the owner's; the
    // first time, beside the owner's where the screen has room. Closing the
    // form hides it; whoever made it destroys it.
    void ShowOwnedBy(QWidget* owner);

    // Whether the form is on the screen (shown, not hidden or closed).
    bool IsShown() const;

    // Where a form of this size goes beside its owner on a screen of that
    // room: right of it, else left of it, else at the room's right edge; its
    // top at the owner's, within the room.
    static QPoint PlaceBeside(const QRect& owner, const QSize& size, const QRect& room);

protected:
    // Once the form description has been set up: places the window at its
    // "Left" and "Top", sizes its font by "FontHeight", and binds the buttons
    // to their actions (by the buttons' "Action" property).
    void Loaded();

private:
    void PlaceBeside(const QWidget* owner);
};
