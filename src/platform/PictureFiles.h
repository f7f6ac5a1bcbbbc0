// Checks on picture files that the toolkit's decoders do not make: sizes
// declared in headers, and data that ends before the picture does.
#pragma once

#include <QSize>
#include <QString>

class QFile;

namespace picturefiles {

// Opens the file for reading when it is a regular non-empty file (links
// followed); otherwise says why not, in words for the user ("the file does
// not exist", "it is a named pipe, not a picture file", ...), and leaves
// `file` closed. Never blocks: a pipe or a device is refused before it is read.
QString Open(const QString& path, QFile& file);

// The size a BMP header declares, or an invalid size when the file is not a
// BMP or its header cannot be read.
QSize DeclaredBmpSize(QFile& file);

// Whether an uncompressed BMP ends before the rows its header declares.
bool BmpCutShort(QFile& file);

// Whether a JPEG file ends before its end-of-image marker.
bool JpegCutShort(QFile& file);

// The colour planes whose coefficients a progressive JPEG's decoder keeps
// whole until the last scan (its component count); 0 for any other file.
// Leaves the file at its start.
int JpegProgressivePlanes(QFile& file);

}  // namespace picturefiles
