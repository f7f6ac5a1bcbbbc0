// Writing pictures and texts through temporary files, over QSaveFile.
#include "platform/SaveFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include "platform/Graphics.h"

EWriteError::EWriteError(AnsiString fileName, AnsiString reason)
    : Exception("cannot write " + fileName + ": " + reason), FileName(std::move(fileName)),
      Reason(std::move(reason))
{
}

struct TSaveGroup::File {
    AnsiString name;
    QSaveFile file;
    explicit File(const AnsiString& name) : name(name), file(QString::fromStdString(name)) {}
};

namespace {

// The writer's format for a file name, from its extension; empty when none.
QByteArray FormatOf(const AnsiString& fileName)
{
    const QByteArray suffix =
        QFileInfo(QString::fromStdString(fileName)).suffix().toLower().toLatin1();
    return QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray();
}

// A picture as the image to encode: gray when every pixel is gray.
QImage Encodable(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const std::uint32_t c = row[x] & 0x00ffffffu;  // bytes R, G, B, X
            if (c != (c & 0xff) * 0x010101u)
                return image.convertToFormat(QImage::Format_RGB888);
        }
    }
    return image.convertToFormat(QImage::Format_Grayscale8);
}

}  // namespace

TSaveGroup::TSaveGroup() = default;
TSaveGroup::~TSaveGroup() = default;

void TSaveGroup::CheckPictureName(const AnsiString& fileName)
{
    if (FormatOf(fileName).isEmpty())
        throw EWriteError(fileName,
                          "unknown picture format (use .png, .bmp, .pgm, .ppm, .jpg, .tif, ...)");
}

void TSaveGroup::AddPicture(const AnsiString& fileName, TPicture* picture)
{
    CheckPictureName(fileName);
    const QImage image = Encodable(picture->Image());
    if (image.isNull())
        throw EWriteError(fileName, "not enough memory to write the picture");
    files.push_back(std::make_unique<File>(fileName));
    File& f = *files.back();
    f.file.setDirectWriteFallback(false);
    if (!f.file.open(QIODevice::WriteOnly))
        throw EWriteError(fileName, f.file.errorString().toStdString());
    QImageWriter writer(&f.file, FormatOf(fileName));
    if (!writer.write(image))
        throw EWriteError(fileName, writer.errorString().toStdString());
}

void TSaveGroup::AddText(const AnsiString& fileName, const AnsiString& text)
{
    files.push_back(std::make_unique<File>(fileName));
    File& f = *files.back();
    f.file.setDirectWriteFallback(false);
    if (!f.file.open(QIODevice::WriteOnly) ||
        f.file.write(text.data(), qint64(text.size())) != qint64(text.size()))
        throw EWriteError(fileName, f.file.errorString().toStdString());
}

void TSaveGroup::Commit()
{
    for (auto& f : files)
        if (!f->file.commit())
            throw EWriteError(f->name, f->file.errorString().toStdString());
    files.clear();
}
