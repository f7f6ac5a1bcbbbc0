// The form base class: a top-level window built from a form description.
#pragma once

#include <QWidget>

#include "platform/Application.h"

class TForm : public QWidget {
public:
    explicit TForm(TComponent* Owner);

protected:
    // Once the form description has been set up: places the window at its
    // "Left" and "Top", sizes its font by "FontHeight", and binds the buttons
    // to their actions (by the buttons' "Action" property).
    void Loaded();
};
