// The open and save dialogs over QFileDialog.
#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QStringList>

void TSaveDialog::ProposeBeside(const AnsiString& sourceFile, const AnsiString& suffix)
{
    if (sourceFile.empty())
        return;
    const QFileInfo source(QString::fromStdString(sourceFile));
    InitialDir = source.absolutePath().toStdString();
    FileName = source.completeBaseName().toStdString() + suffix;
}

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
