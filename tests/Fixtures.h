// Small pictures built in code, saved where a file is needed, and pixel readers.
#pragma once

// KORVANITH_ASAN is defined in a build under AddressSanitizer, whose shadow
// memory does not fit under an address-space or control-group limit.
#if defined(__SANITIZE_ADDRESS__)
#define KORVANITH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVANITH_ASAN 1
#endif
#endif

#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/Controls.h"

namespace fixtures {

// A picture whose pixel (x, y) is colour(x, y), given as 0xRRGGBB.
QImage Picture(int width, int height, const std::function<std::uint32_t(int, int)>& colour);

// A gray picture whose pixel (x, y) has level level(x, y).
QImage GrayPicture(int width, int height, const std::function<int(int, int)>& level);

// Pictures of random levels or colours, the same for the same seed.
QImage RandomGray(int width, int height, unsigned seed);
QImage RandomColour(int width, int height, unsigned seed);

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

// The JPEG file with an EXIF block inserted after its start-of-image marker
// whose orientation tag (0x0112) holds the value: 1 upright, 2 mirrored, 3
// turned half a turn, 4 flipped, 5 transposed, 6 to be turned clockwise, 7
// transversed, 8 to be turned anticlockwise.
QByteArray WithOrientation(const QByteArray& jpeg, int orientation);

// What is written to standard error (the file descriptor, so libraries'
// own prints too) while the capture lives, and the toolkit's messages.
class ErrorCapture {
public:
    ErrorCapture();
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;
    // Ends the capture; what was written, then the toolkit's messages, one a line.
    std::string Finish();

private:
    int saved = -1;
    std::FILE* file = nullptr;
    void* previousHandler = nullptr;
};

// A memory control group of its own under this process's group, cgroup v2
// or v1, limited to the bytes given; removed when it ends. Its path is empty
// where the machine offers none that can be made here.
class ControlGroup {
public:
    explicit ControlGroup(std::uint64_t limit);
    ~ControlGroup();
    ControlGroup(const ControlGroup&) = delete;
    ControlGroup& operator=(const ControlGroup&) = delete;
    QString path;
};

// The korvanith-cli built beside the tests.
QString CliProgram();

// What a run of a program gave: its exit status (-1 when it did not end in
// time) and what it wrote.
struct Outcome {
    int status;
    std::string out, err;
};

// Runs the program (korvanith-cli unless told otherwise) with the arguments.
Outcome RunCli(const QStringList& arguments, const QString& program = CliProgram(),
               int patienceMs = 120000);

// The two result pictures of a window that loaded the files as the open
// actions do (each into an input and the result below it) and transformed
// them in the mode (0 "Normal phase", 1 "Swap phase").
struct Results {
    std::vector<PackedColour> left, right;
};
Results EngineResults(const std::string& left, const std::string& right, int mode);

// Every pixel of the control's picture as PackedColour, row by row.
std::vector<PackedColour> Pixels(TImage* image);

// The message of the Exception that the action raises. When it raises none,
// the test fails and the message is empty.
std::string RefusalOf(const std::function<void()>& action);

// While it lives, the calling thread obeys file permissions even as root: it
// drops the capabilities that override them, and takes them back at the end.
class ObeyFilePermissions {
public:
    ObeyFilePermissions();
    ~ObeyFilePermissions();
    ObeyFilePermissions(const ObeyFilePermissions&) = delete;
    ObeyFilePermissions& operator=(const ObeyFilePermissions&) = delete;

private:
    std::uint32_t saved[2] = {0, 0};  // the effective capability sets before
    bool dropped = false;
};

}  // namespace fixtures

namespace fixtures {

// Answers the next modal dialogs the moment each is shown (file dialogs and
// message boxes run their own event loop, so the answers come from a timer):
// the first answer for the first dialog, the next for the next one.
class ModalAnswer {
public:
    using Answer = std::function<void(QWidget*)>;
    explicit ModalAnswer(Answer answer) : ModalAnswer(std::vector<Answer>{std::move(answer)}) {}
    explicit ModalAnswer(std::vector<Answer> answers);
    ~ModalAnswer();
    bool Answered() const { return next == answers.size(); }

private:
    std::vector<Answer> answers;
    std::size_t next = 0;
    QObject* timer;
    QObject* last = nullptr;
};

// Types the path into a file dialog's name field and presses Return, as a
// person would.
void PickFile(QWidget* fileDialog, const std::string& path);

}  // namespace fixtures
