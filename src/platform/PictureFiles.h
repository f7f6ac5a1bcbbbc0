// Checks on picture files that the toolkit's decoders do not make: sizes
// declared in headers, and data that ends before the picture does.
#pragma once

#include <QSize>
#include <QString>

class QFile;
class QImageReader;

namespace picturefiles {

// Opens the file for reading when it is a regular non-empty file (links
// followed); otherwise says why not, in words for the user ("the file does
// not exist", "it is a named pipe, not a picture file", ...), and leaves
// `file` closed. Never blocks: a pipe or a device is refused before it is read.
QString Open(const QString& path, QFile& file);

// The size a BMP header declares, or an invalid size when the file is not a
// BMP or its header cannot be read.
QSize DeclaredBmpSize(QFile& file);

// The size a GIF decoder paints its first frame on: the logical screen the
// header declares, widened to reach the frame's far edges. The toolkit's
// reader declares the frame's own size, which may be far smaller. An invalid
// size when the file is not a GIF or ends before its first frame. Leaves the
// file at its start.
QSize DeclaredGifCanvas(QFile& file);

// The size of the PNG that an icon file's first image is, which its decoder
// reads whole whatever the directory says; an invalid size when the file is
// not an icon file or its first image not a PNG. Leaves the file at its start.
QSize DeclaredIcoPng(QFile& file);

// The size the reader, made on `file` and not yet read from, will decode
// to as far as the headers tell: its own word, widened for a GIF to the
// canvas and for an icon file to its first PNG; sides the reader gives as
// negative (a BMP stored top row first) count as positive. Invalid when none
// tells.
QSize DeclaredSize(QFile& file, QImageReader& reader);

// Whether an uncompressed BMP ends before the rows its header declares.
bool BmpCutShort(QFile& file);

// Whether a JPEG file ends before its end-of-image marker.
bool JpegCutShort(QFile& file);

// The colour planes whose coefficients a progressive JPEG's decoder keeps
// whole until the last scan (its component count); 0 for any other file.
// Leaves the file at its start.
int JpegProgressivePlanes(QFile& file);

}  // namespace picturefiles
