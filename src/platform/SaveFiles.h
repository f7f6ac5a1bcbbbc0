// Writing files as one: pictures and texts go to temporary files beside their
// targets and are renamed into place only when every one of them is complete.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Exception.h"

class QImage;
class TPicture;

// Makes the folder and those above it that are missing; true when it made
// the folder itself. Raises EWriteError when it cannot, or the path is a file.
bool ForceDirectories(const AnsiString& folder);

// A file that could not be written, and why, in words for the user.
class EWriteError : public Exception {
public:
    EWriteError(AnsiString fileName, AnsiString reason);
    AnsiString FileName;
    AnsiString Reason;
};

class TSaveGroup {
public:
    TSaveGroup();
    ~TSaveGroup();  // what was not committed is removed
    TSaveGroup(const TSaveGroup&) = delete;
    TSaveGroup& operator=(const TSaveGroup&) = delete;

    // Raises EWriteError unless the name's extension is a picture format that
    // can be written (.png, .bmp, .pgm, .ppm, .jpg, .tif, ...; any case).
    static void CheckPictureName(const AnsiString& fileName);

    // The formats pictures can be written in, as dialog filters: PNG first,
    // then the others ("BMP picture (*.bmp)", "JPEG picture (*.jpg *.jpeg)", ...).
    static std::vector<AnsiString> PictureFilters();

    // Writes the whole picture to a temporary file beside fileName, in the
    // format its extension names: 8-bit gray when every pixel is gray, else
    // 8-bit RGB. Raises EWriteError.
    void AddPicture(const AnsiString& fileName, TPicture* picture);
    // The same for pixels that are not a picture of their own: width x height,
    // row-major without padding, channels 1 (gray) or 3 (RGB).
    void AddPixels(const AnsiString& fileName, int width, int height, int channels,
                   const std::uint8_t* bytes);
    void AddText(const AnsiString& fileName, const AnsiString& text);

    // Renames every file into place. Raises EWriteError.
    void Commit();

private:
    void AddImage(const AnsiString& fileName, const QImage& image);
    struct File;
    std::vector<std::unique_ptr<File>> files;
};
