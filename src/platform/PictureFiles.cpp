// Checks on picture files by their headers and markers.
#include "platform/PictureFiles.h"

#include <QByteArray>
#include <QFile>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace picturefiles {

namespace {

// What a file that is not a regular one is, for the refusal; empty for a
// regular file.
QString NotAPictureFile(mode_t mode)
{
    const char* what = S_ISREG(mode)    ? nullptr
                       : S_ISDIR(mode)  ? "a folder"
                       : S_ISFIFO(mode) ? "a named pipe"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "a special file";
    return what ? QStringLiteral("it is %1, not a picture file").arg(QLatin1String(what)) : QString();
}

// The unsigned number in `count` bytes at `offset` (the caller has checked
// that they are there), least significant byte first as in BMP, GIF and ICO
// headers, or most significant first as in PNG's.
std::uint32_t LittleEndian(const QByteArray& bytes, int offset, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes[offset + i]);
    return value;
}

std::uint32_t BigEndian(const QByteArray& bytes, int offset, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | std::uint8_t(bytes[offset + i]);
    return value;
}

QString CannotRead(int error)
{
    return QStringLiteral("the file cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace

QString Open(const QString& path, QFile& file)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat target {};
    if (stat(name.constData(), &target) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ELOOP)
            return QStringLiteral("it is a symbolic link in a loop: the links never reach a file");
        if (error == ENOENT && lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode))
            return QStringLiteral("it is a symbolic link to a file that does not exist");
        if (error == ENOENT || error == ENOTDIR)
            return QStringLiteral("the file does not exist");
        return CannotRead(error);
    }
    if (const QString refusal = NotAPictureFile(target.st_mode); !refusal.isEmpty())
        return refusal;
    // Not blocking on open, and checked again on what was opened: the path
    // may have been replaced by a pipe in between.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return CannotRead(errno);
    struct stat opened {};
    QString refusal = fstat(fd, &opened) != 0 ? CannotRead(errno) : NotAPictureFile(opened.st_mode);
    if (refusal.isEmpty() && opened.st_size == 0)
        refusal = QStringLiteral("the file is empty");
    if (refusal.isEmpty()) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            refusal = CannotRead(EIO);
        else
            return {};
    }
    ::close(fd);
    return refusal;
}

// The size a BMP header declares. Qt's BMP reader refuses sides whose product
// exceeds its own limit without saying so; reading the header here lets the
// user hear that the picture is too large rather than damaged.
QSize DeclaredBmpSize(QFile& file)
{
    if (!file.seek(0))
        return {};
    const QByteArray header = file.read(26);
    if (header.size() < 26 || !header.startsWith("BM"))
        return {};
    const std::int64_t width = std::int32_t(LittleEndian(header, 18, 4));
    const std::int64_t height = std::int32_t(LittleEndian(header, 22, 4));
    if (width <= 0 || height == 0 || height == INT32_MIN)
        return {};
    return QSize(int(width), int(std::abs(height)));
}

namespace {

// The blocks are walked up to the first image descriptor: the global colour
// table by its size in the screen descriptor, extensions by their sub-blocks.
QSize GifCanvasFromStart(QFile& file)
{
    if (!file.seek(0))
        return {};
    const QByteArray header = file.read(13);
    if (header.size() < 13 || !(header.startsWith("GIF87a") || header.startsWith("GIF89a")))
        return {};
    auto uint16At = [](const QByteArray& bytes, int offset) { return int(LittleEndian(bytes, offset, 2)); };
    const int flags = std::uint8_t(header[10]);
    qint64 at = 13 + ((flags & 0x80) ? 3 * (qint64(2) << (flags & 7)) : 0);
    while (file.seek(at)) {
        const QByteArray block = file.read(10);
        if (block.isEmpty())
            return {};
        const std::uint8_t kind = std::uint8_t(block[0]);
        if (kind == 0x2C) {  // image descriptor: left, top, width, height
            if (block.size() < 9)
                return {};
            const int right = uint16At(block, 1) + uint16At(block, 5);
            const int bottom = uint16At(block, 3) + uint16At(block, 7);
            return QSize(std::max(uint16At(header, 6), right), std::max(uint16At(header, 8), bottom));
        }
        if (kind != 0x21 || block.size() < 3)
            return {};  // the trailer, or not a block at all
        at += 2;        // introducer and label, then sub-blocks up to an empty one
        for (;;) {
            char length = 0;
            if (!file.seek(at) || !file.getChar(&length))
                return {};
            at += 1 + std::uint8_t(length);
            if (length == 0)
                break;
        }
    }
    return {};
}

}  // namespace

QSize DeclaredGifCanvas(QFile& file)
{
    const QSize canvas = GifCanvasFromStart(file);
    file.seek(0);
    return canvas;
}

QSize DeclaredIcoPng(QFile& file)
{
    QSize size;
    const QByteArray directory = file.seek(0) ? file.read(22) : QByteArray();
    // reserved 0, type 1 (icon) or 2 (cursor), a count, then the first entry
    if (directory.size() == 22 && directory[0] == 0 && directory[1] == 0 &&
        (directory[2] == 1 || directory[2] == 2) && directory[3] == 0 &&
        (directory[4] != 0 || directory[5] != 0)) {
        const std::uint32_t offset = LittleEndian(directory, 18, 4);
        const QByteArray head = file.seek(offset) ? file.read(24) : QByteArray();
        // the signature, then the IHDR chunk's length, type, width and height
        if (head.size() == 24 && head.startsWith("\x89PNG\r\n\x1a\n") && head.mid(12, 4) == "IHDR") {
            const std::uint32_t width = BigEndian(head, 16, 4), height = BigEndian(head, 20, 4);
            if (width <= 0x7fffffffu && height <= 0x7fffffffu)
                size = QSize(int(width), int(height));
        }
    }
    file.seek(0);
    return size;
}

QSize DeclaredSize(QFile& file, QImageReader& reader)
{
    // The reader has at most peeked at the file, and the headers are read
    // before the reader reads on: a decoder may keep what it has read of the
    // file and expect the file where it left it.
    const QSize canvas = DeclaredGifCanvas(file), png = DeclaredIcoPng(file);
    QSize size = reader.size();
    // The BMP reader gives a picture stored top row first a negative height
    // (and (-1, -1) says nothing is known).
    if (size != QSize(-1, -1) && (size.width() < 0 || size.height() < 0)) {
        auto side = [](int length) { return length == INT_MIN ? INT_MAX : std::abs(length); };
        size = QSize(side(size.width()), side(size.height()));
    }
    for (const QSize headers : {canvas, png})
        if (headers.isValid())
            size = headers.expandedTo(size);
    return size;
}

// Whether an uncompressed BMP ends before the rows its header declares. Qt's
// BMP reader stops at the end of the file without an error and hands back a
// picture whose missing rows were never written.
bool BmpCutShort(QFile& file)
{
    if (!file.seek(0))
        return false;
    const QByteArray header = file.read(34);
    if (header.size() < 34 || !header.startsWith("BM"))
        return false;
    auto uintAt = [&](int offset, int bytes) { return LittleEndian(header, offset, bytes); };
    const std::uint32_t infoSize = uintAt(14, 4);
    const std::uint32_t compression = uintAt(30, 4);
    // BI_RGB, BI_BITFIELDS and BI_ALPHABITFIELDS store whole rows; the
    // run-length encodings have no fixed size.
    if (infoSize < 40 || (compression != 0 && compression != 3 && compression != 6))
        return false;
    const std::int64_t width = std::int32_t(uintAt(18, 4));
    const std::int64_t height = std::int32_t(uintAt(22, 4));
    const std::int64_t bits = uintAt(28, 2);
    const std::int64_t rowBytes = (width * bits + 31) / 32 * 4;  // rows are padded to 4 bytes
    const std::int64_t rows = height < 0 ? -height : height;
    const std::int64_t end = std::int64_t(uintAt(10, 4)) + rowBytes * rows;
    return width > 0 && end > file.size();
}

// Whether a JPEG file ends before its end-of-image marker. The decoder fills
// what is missing with gray and reports success, so the file's markers are
// walked here: segments by their lengths, entropy-coded data up to the next
// marker (0xFF is stuffed as FF 00 there, and FF D0..D7 are restart markers).
// Whatever follows the end-of-image marker (some cameras append a video) is
// not looked at.
bool JpegCutShort(QFile& file)
{
    if (!file.seek(0))
        return false;
    const QByteArray bytes = file.readAll();
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 2 || b[0] != 0xFF || b[1] != 0xD8)
        return false;
    qsizetype i = 2;
    while (i + 1 < n) {
        if (b[i] != 0xFF) {
            ++i;  // entropy-coded data
            continue;
        }
        const std::uint8_t marker = b[i + 1];
        if (marker == 0xD9)
            return false;  // end of image
        if (marker == 0x00 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD7) ||
            marker == 0x01) {
            i += marker == 0xFF ? 1 : 2;  // stuffing, fill bytes, restarts
            continue;
        }
        if (i + 3 >= n)
            return true;
        const qsizetype length = qsizetype(b[i + 2]) << 8 | b[i + 3];
        if (length < 2)
            return true;
        i += 2 + length;
    }
    return true;
}

// The markers are walked by their segments' lengths up to the first frame
// header: SOF2, SOF6, SOF10 and SOF14 are the progressive ones, and their
// tenth byte counts the components.
int JpegProgressivePlanes(QFile& file)
{
    int planes = 0;
    qint64 at = 2;
    if (file.seek(0) && file.read(2) == QByteArray("\xFF\xD8", 2)) {
        while (file.seek(at)) {
            const QByteArray head = file.read(10);
            if (head.size() < 4 || std::uint8_t(head[0]) != 0xFF)
                break;
            const std::uint8_t marker = std::uint8_t(head[1]);
            if (marker == 0xFF) {  // fill byte
                ++at;
                continue;
            }
            const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
                               marker != 0xC8 && marker != 0xCC;
            if (frame || marker == 0xDA || marker == 0xD9) {
                const bool progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA ||
                                         marker == 0xCE;
                if (progressive && head.size() == 10)
                    planes = std::uint8_t(head[9]);
                break;
            }
            at += 2 + (qint64(std::uint8_t(head[2])) << 8 | std::uint8_t(head[3]));
        }
    }
    file.seek(0);
    return planes;
}

}  // namespace picturefiles
