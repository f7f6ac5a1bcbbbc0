// The form base class: a top-level window built from a form description.
#pragma once

#include <QWidget>

#include "platform/Application.h"

class TForm : public QWidget {
public:
    explicit TForm(TComponent* Owner);

    // Shows the form as a window of its own in front of the owner's, and
    // destroyed with it; closing the form destroys it.
    void ShowOwnedBy(QWidget* owner);

protected:
    // Once the form description has been set up: places the window at its
    // "Left" and "Top", sizes its font by "FontHeight", and binds the buttons
    // to their actions (by the buttons' "Action" property).
    void Loaded();
};
