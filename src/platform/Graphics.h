// Pictures, bitmaps and canvases: pixel access as PackedColour 0x00BBGGRR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/Exception.h"

class QImage;

// A pixel's colour: red in the low byte, then green, then blue, top byte zero.
using PackedColour = std::int32_t;

// Pixels are kept as 32-bit words whose bytes in memory are R, G, B, X, so on a
// little-endian machine a word read as an integer is 0xXXBBGGRR: a PackedColour
// with a filler byte on top. Reads and writes outside the picture do nothing
// (a read gives 0).
class TCanvas {
public:
    PackedColour GetPixel(int X, int Y) const
    {
        if (!Inside(X, Y))
            return 0;
        return static_cast<PackedColour>(Row(Y)[X] & 0x00ffffffu);
    }
    void SetPixel(int X, int Y, PackedColour colour)
    {
        if (Inside(X, Y))
            Row(Y)[X] = static_cast<std::uint32_t>(colour) | 0xff000000u;
    }

private:
    friend class TBitmap;
    bool Inside(int X, int Y) const { return X >= 0 && Y >= 0 && X < width && Y < height; }
    std::uint32_t* Row(int Y) const
    {
        return reinterpret_cast<std::uint32_t*>(bits + static_cast<std::size_t>(Y) * stride);
    }

    unsigned char* bits = nullptr;
    std::size_t stride = 0;  // bytes per row
    int width = 0;
    int height = 0;
};

class TPicture;

// The listeners of one event: each is added under a key of its own, by which
// it can be removed again, and all are called in the order they were added.
class TListeners {
public:
    int Add(std::function<void()> listener);
    void Remove(int key);  // a key not (or no longer) added is ignored
    void Notify() const;   // a listener may add or remove listeners meanwhile

private:
    std::vector<std::pair<int, std::function<void()>>> listeners;
    int next = 0;
};

// The stacks of the toolkit's helper threads that converting, scaling or
// encoding a picture of this many pixels may start: the toolkit splits such
// work on more than 2^17 pixels among the threads of its pool.
std::uint64_t ToolkitThreadStacks(std::int64_t pixels);

class TBitmap {
public:
    int GetWidth() const;
    int GetHeight() const;
    TCanvas* GetCanvas();  // the picture's listeners are told that its pixels may change
    const TCanvas* GetCanvas() const;  // to read pixels: tells nobody

private:
    friend class TPicture;
    explicit TBitmap(TPicture& picture) : picture(picture) {}
    TPicture& picture;
    TCanvas canvas;
    mutable TCanvas readCanvas;
};

class TPicture {
public:
    TPicture();
    ~TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Replaces the picture by the file's image, or raises an Exception that
    // names the file and the reason and leaves the picture as it was.
    void LoadFromFile(const AnsiString& fileName);

    // The file the pixels came from, by LoadFromFile (kept by Crop and
    // Assign); empty for a picture never loaded.
    AnsiString GetFileName() const { return fileName; }

    // Replaces the picture by its width x height part whose top-left corner
    // is (left, top); raises, changing nothing, unless that part lies inside.
    void Crop(int left, int top, int width, int height);

    // Becomes a copy of the source: pixels and file name.
    void Assign(const TPicture* source);

    // Every pixel as PackedColour, row by row, into width * height values at
    // target; tells nobody, since nothing changes.
    void CopyPixels(PackedColour* target) const;
    int GetWidth() const;
    int GetHeight() const;
    TBitmap* GetBitmap();

    // Told whenever the pixels are replaced or handed out for drawing, never
    // when they are only read.
    TListeners OnChange;

    // For the widget that shows the picture and the tools that save it.
    const QImage& Image() const;

    // The most pixels a picture may have: 16384 x 16384.
    static constexpr std::int64_t MaxPixels = std::int64_t(1) << 28;

private:
    friend class TBitmap;
    void Changed();
    std::unique_ptr<QImage> image;
    TBitmap bitmap;
    AnsiString fileName;
};
