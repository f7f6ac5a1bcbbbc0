// Small pictures built in code, saved where a file is needed, and pixel readers.
#pragma once

#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Controls.h"

namespace fixtures {

// A picture whose pixel (x, y) is colour(x, y), given as 0xRRGGBB.
QImage Picture(int width, int height, const std::function<std::uint32_t(int, int)>& colour);

// A gray picture whose pixel (x, y) has level level(x, y).
QImage GrayPicture(int width, int height, const std::function<int(int, int)>& level);

// A folder that lives as long as the fixture; files saved into it.
class Folder {
public:
    Folder();
    QString Path(const QString& name) const;
    // Saves the picture in the format of the name's extension; returns the path.
    std::string Save(const QImage& picture, const QString& name) const;
    std::string Write(const QByteArray& bytes, const QString& name) const;

private:
    QTemporaryDir dir;
};

// Every pixel of the control's picture as PackedColour, row by row.
std::vector<PackedColour> Pixels(TImage* image);

}  // namespace fixtures
