// Actions over QAction.
#include "platform/ActnList.h"

#include <QAction>
#include <QApplication>
#include <QWidget>

#include "platform/Application.h"

TAction::TAction(QAction* action) : QObject(action), action(action)
{
    setObjectName(action->objectName());
    connect(action, &QAction::triggered, this, [this] {
        Application->Dispatch([this] { Execute(); });
    });
}

AnsiString TAction::GetCategory() const
{
    return action->property("Category").toString().toStdString();
}

void TFileOpen::Execute()
{
    auto* window = qobject_cast<QWidget*>(Handle()->parent());
    if (GetDialog()->Execute(window ? window : QApplication::activeWindow()) && OnAccept)
        OnAccept();
}

void TFileExit::Execute() { Application->Terminate(); }
