// Picture files made in code, good and bad: encoded pictures, damaged data,
// headers that declare sizes the data does not have.
#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>

#include "platform/Graphics.h"

namespace badfiles {

// The picture encoded in a format Qt writes ("PNG", "BMP", "JPEG", ...).
QByteArray Encoded(const QImage& picture, const char* format, int quality = -1);

// A colour pattern whose every pixel differs from its neighbours.
QImage Pattern(int width, int height);

// A valid 4x4 PNG whose header declares width x height, its checksum made
// right again so that only the size is wrong.
QByteArray PngDeclaring(std::uint32_t width, std::uint32_t height);

// A PNG with bytes inside its compressed pixel data overwritten.
QByteArray GarbledPng();

// A BMP header that declares a size and holds no pixel data.
QByteArray BmpDeclaring(std::int32_t width, std::int32_t height);

// The picture as a 24-bit BMP whose rows are stored top row first, as a
// negative height declares.
QByteArray TopDownBmp(const QImage& picture);

// A GIF of two frames, 2x1 pixels each; the first is white then (30, 30, 200).
QByteArray TwoFrameGif();
QImage FirstFrameOfTwoFrameGif();

// A GIF whose logical screen is screenWidth x screenHeight and whose one
// frame, of frameWidth x frameHeight at (left, top), holds one black pixel's
// data. A graphic control extension stands before the frame.
QByteArray GifOnScreen(int screenWidth, int screenHeight, int left, int top, int frameWidth,
                       int frameHeight);

// An icon file whose directory has one 16x16 entry that holds the PNG.
QByteArray IcoHolding(const QByteArray& png);

// The pixel as PackedColour.
PackedColour Packed(const QImage& picture, int x, int y);

}  // namespace badfiles
