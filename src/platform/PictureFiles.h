// Checks on picture files that the toolkit's decoders do not make: sizes
// declared in headers, and data that ends before the picture does.
#pragma once

#include <QSize>

class QFile;

namespace picturefiles {

// The size a BMP header declares, or an invalid size when the file is not a
// BMP or its header cannot be read.
QSize DeclaredBmpSize(QFile& file);

// Whether an uncompressed BMP ends before the rows its header declares.
bool BmpCutShort(QFile& file);

// Whether a JPEG file ends before its end-of-image marker.
bool JpegCutShort(QFile& file);

}  // namespace picturefiles
