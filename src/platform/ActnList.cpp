// Actions over QAction, and the file-open dialog over QFileDialog.
#include "platform/ActnList.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QImageReader>
#include <QStringList>

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

bool TOpenDialog::Execute(QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QStringList filters;
    for (const AnsiString& filter : PictureFilters())
        filters << QString::fromStdString(filter);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName = dialog.selectedFiles().constFirst().toStdString();
    return true;
}

std::vector<AnsiString> TOpenDialog::PictureFilters()
{
    QStringList patterns;
    // Both cases: some dialogs (GTK's) match patterns by case, and cameras
    // name their files IMG_0001.JPG.
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format)
                 << QStringLiteral("*.") + QString::fromLatin1(format).toUpper();
    return {("Pictures (" + patterns.join(' ') + ")").toStdString(), "All files (*)"};
}

void TFileOpen::Execute()
{
    auto* window = qobject_cast<QWidget*>(Handle()->parent());
    if (GetDialog()->Execute(window ? window : QApplication::activeWindow()) && OnAccept)
        OnAccept();
}

void TFileExit::Execute() { Application->Terminate(); }
