// The save dialog over QFileDialog.
#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QStringList>

bool TSaveDialog::Execute(QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!InitialDir.empty())
        dialog.setDirectory(QString::fromStdString(InitialDir));
    QStringList filters;
    for (const AnsiString& filter : Filters)
        filters << QString::fromStdString(filter);
    dialog.setNameFilters(filters);
    if (!DefaultExt.empty())
        dialog.setDefaultSuffix(QString::fromStdString(DefaultExt));
    if (!FileName.empty())
        dialog.selectFile(QString::fromStdString(FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = dialog.selectedFiles().constFirst().toStdString();
    return true;
}
