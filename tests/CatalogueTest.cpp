// What a user may feed Korvanith, each case through korvanith-cli and through
// the window: refused with one clear message and nothing half-changed, or
// transformed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BadFiles.h"
#include "Fixtures.h"
#include "Sides.h"
#include "Unit1.h"

namespace {

using namespace badfiles;
using fixtures::Folder;
using fixtures::ModalAnswer;
using fixtures::Pixels;

QImage Gray(int W, int H)
{
    return fixtures::GrayPicture(W, H, [](int x, int y) { return (x * 29 + y * 7) & 255; });
}

// A file for one side: its name, and how to make it in a folder. An empty
// name means the side is never loaded.
struct Side {
    QString name;
    std::function<void(const Folder&, const QString&)> make;
};

Side Picture(const QString& name, const QImage& picture, const char* format = nullptr)
{
    return {name, [=](const Folder& f, const QString& n) {
                f.Write(Encoded(picture, format ? format : "PNG"), n);
            }};
}
Side Bytes(const QString& name, std::function<QByteArray()> bytes)
{
    return {name, [=](const Folder& f, const QString& n) { f.Write(bytes(), n); }};
}
Side Nothing(const QString& name) { return {name, [](const Folder&, const QString&) {}}; }
Side Folder_(const QString& name)
{
    return {name, [](const Folder& f, const QString& n) { QDir().mkpath(f.Path(n)); }};
}

// Special files: a named pipe, a socket, a symbolic link.
Side Fifo(const QString& name)
{
    return {name, [](const Folder& f, const QString& n) {
                if (mkfifo(QFile::encodeName(f.Path(n)).constData(), 0644) != 0)
                    throw std::runtime_error("cannot make a named pipe");
            }};
}
Side Socket(const QString& name)
{
    return {name, [](const Folder& f, const QString& n) {
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                const QByteArray path = QFile::encodeName(f.Path(n));
                if (std::size_t(path.size()) >= sizeof address.sun_path)
                    throw std::runtime_error("socket path too long");
                std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
                const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
                const bool bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
                if (fd >= 0)
                    close(fd);
                if (!bound)
                    throw std::runtime_error("cannot make a socket");
            }};
}
Side Link(const QString& name, const QString& target)
{
    return {name, [=](const Folder& f, const QString& n) {
                if (!QFile::link(target.startsWith('/') ? target : f.Path(target), f.Path(n)))
                    throw std::runtime_error("cannot make a symbolic link");
            }};
}

struct Input {
    const char* name;
    Side left, right;
    std::vector<std::string> said;  // parts of the message; none: it transforms
    bool windowOnly = false;
};

void PrintTo(const Input& c, std::ostream* os) { *os << c.name; }

const Side Good = Picture("good.png", Gray(8, 8));

std::vector<Input> Catalogue()
{
    return {
        {"missing_file", Nothing("missing.png"), Good, {"missing.png", "does not exist"}},
        {"folder", Folder_("pictures"), Good, {"pictures", "folder"}},
        {"empty_file", Bytes("empty.png", [] { return QByteArray(); }), Good, {"empty.png", "empty"}},
        {"text_named_png", Bytes("words.png", [] { return QByteArray("hello\n"); }), Good,
         {"words.png", "not a picture in a known format"}},
        {"truncated_png", Good,
         Bytes("cut.png", [] { auto b = Encoded(Pattern(32, 32), "PNG"); return b.left(b.size() / 2); }),
         {"cut.png", "damaged or cut short"}},
        {"truncated_jpeg", Good,
         Bytes("cut.jpg", [] { auto b = Encoded(Pattern(32, 32), "JPEG", 90); return b.left(b.size() * 2 / 3); }),
         {"cut.jpg", "damaged or cut short"}},
        {"truncated_bmp", Bytes("cut.bmp", [] { return Encoded(Pattern(16, 16), "BMP").left(200); }), Good,
         {"cut.bmp", "damaged or cut short"}},
        {"garbled_png", Bytes("garbled.png", GarbledPng), Good, {"garbled.png", "damaged or cut short"}},
        {"header_60000_square", Bytes("huge.png", [] { return PngDeclaring(60000, 60000); }), Good,
         {"huge.png", "too large", "60000\u00d760000"}},
        {"header_100000_square", Good, Bytes("huge.bmp", [] { return BmpDeclaring(100000, 100000); }),
         {"huge.bmp", "too large", "100000\u00d7100000"}},
        {"side_not_power_of_two", Picture("a.png", Gray(12, 8)), Picture("b.png", Gray(12, 8)),
         {"12\u00d78", "power of two"}},
        {"different_sizes", Picture("a.png", Gray(8, 8)), Picture("b.png", Gray(16, 8)),
         {"8\u00d78", "16\u00d78"}},
        {"right_never_loaded", Good, Side{}, {"right picture is not loaded"}, true},
        {"named_pipe", Fifo("pipe.png"), Good, {"pipe.png", "is a named pipe, not a picture file"}},
        {"socket", Good, Socket("socket.png"), {"socket.png", "is a socket, not a picture file"}},
        {"dev_zero", Link("zero.png", "/dev/zero"), Good, {"zero.png", "is a character device, not a picture file"}},
        {"dev_urandom", Good, Link("random.png", "/dev/urandom"), {"random.png", "is a character device, not a picture file"}},
        {"link_loop", Link("loop.png", "loop.png"), Good, {"loop.png", "symbolic link in a loop"}},
        {"dangling_link", Link("gone.png", "nothing-here.png"), Good,
         {"gone.png", "symbolic link to a file that does not exist"}},
        {"link_to_picture", Link("linked.png", "good.png"), Good, {}},
        {"wrong_extension", Picture("really-png.jpg", Gray(8, 8)), Good, {}},
        {"one_by_one", Picture("a.png", Gray(1, 1)), Picture("b.bmp", Gray(1, 1), "BMP"), {}},
        {"one_by_n", Picture("a.png", Gray(1, 16)), Picture("b.png", Gray(1, 16)), {}},
        {"n_by_one", Picture("a.png", Gray(16, 1)), Picture("b.png", Gray(16, 1)), {}},
        {"animated_gif", Bytes("frames.gif", TwoFrameGif), Picture("b.png", Gray(2, 1)), {}},
        {"sixteen_bit_png", Picture("a.png", Gray(8, 8).convertToFormat(QImage::Format_RGBA64)), Good, {}},
        {"indexed_png", Picture("a.png", Pattern(8, 8).convertToFormat(QImage::Format_Indexed8)), Good, {}},
        {"alpha_png", Picture("a.png", Pattern(8, 8).convertToFormat(QImage::Format_ARGB32)), Good, {}},
    };
}

class BadInput : public ::testing::TestWithParam<Input> {
protected:
    void SetUp() override
    {
        const Input& c = GetParam();
        if (!c.left.name.isEmpty())
            c.left.make(folder, c.left.name);
        if (!c.right.name.isEmpty())
            c.right.make(folder, c.right.name);
    }
    QString Left() const { return folder.Path(GetParam().left.name); }
    QString Right() const { return folder.Path(GetParam().right.name); }
    void ExpectSaid(const std::string& message) const
    {
        for (const std::string& part : GetParam().said)
            EXPECT_NE(message.find(part), std::string::npos) << message;
    }

    Folder folder;
};

// The tool always loads both sides: the rows of the window alone are not its.
class BadInputToTheTool : public BadInput {};

TEST_P(BadInputToTheTool, ThroughTheCommandLineTool)
{
    const Input& c = GetParam();
    const QString program = fixtures::CliProgram();
    const QString leftOut = folder.Path("out-left.png"), rightOut = folder.Path("out-right.png");
    QProcess process;
    process.start(program, {"--mode", "swap", Left(), Right(), leftOut, rightOut});
    ASSERT_TRUE(process.waitForFinished(60000));
    const std::string err = process.readAllStandardError().toStdString();
    if (c.said.empty()) {
        EXPECT_EQ(process.exitCode(), 0) << err;
        EXPECT_TRUE(QFile::exists(leftOut) && QFile::exists(rightOut));
        return;
    }
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_EQ(err.rfind("korvanith-cli: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    ExpectSaid(err);
    EXPECT_FALSE(QFile::exists(leftOut) || QFile::exists(rightOut));
    EXPECT_TRUE(QDir(folder.Path("")).entryList({"*out*"}, QDir::Files | QDir::Hidden).isEmpty())
        << "a temporary file was left behind";
}

TEST_P(BadInput, ThroughTheWindow)
{
    const Input& c = GetParam();
    TKorvanith window(Application);
    window.show();
    // What the window held before: another pair, already transformed.
    const std::string before = folder.Save(Gray(4, 4), "before.png");
    OpenSide(window.Image1->Picture, window.Image3->Picture, before);
    OpenSide(window.Image2->Picture, window.Image4->Picture, before);
    window.RunTransform();

    std::vector<std::string> messages;
    const auto run = [&](const std::function<void()>& handler) {
        ModalAnswer answer([&](QWidget* box) {
            messages.push_back(static_cast<QMessageBox*>(box)->text().toStdString());
            box->close();
        });
        Application->Dispatch(handler);
    };
    const auto open = [&](TFileOpen* action, void (TKorvanith::*accept)(), const QString& path) {
        action->GetDialog()->SetFileName(path.toStdString());
        run([&] { (window.*accept)(); });
    };
    if (c.windowOnly) {  // a side never loaded: a fresh window's right side
        TKorvanith fresh(Application);
        OpenSide(fresh.Image1->Picture, fresh.Image3->Picture, Left().toStdString());
        const auto result = Pixels(fresh.Image3);
        ExpectSaid(fixtures::RefusalOf([&] { fresh.RunTransform(); }));
        EXPECT_EQ(Pixels(fresh.Image3), result);
        EXPECT_EQ(fresh.Image4->Picture->GetWidth(), 0);
        return;
    }
    const auto leftBefore = Pixels(window.Image1), resultBefore = Pixels(window.Image3);
    open(window.FileOpen1, &TKorvanith::FileOpen1Accept, Left());
    const bool leftLoaded = messages.empty();
    if (!leftLoaded) {  // the failed side is as it was
        EXPECT_EQ(Pixels(window.Image1), leftBefore);
        EXPECT_EQ(Pixels(window.Image3), resultBefore);
    }
    const auto rightBefore = Pixels(window.Image2);
    open(window.FileOpen2, &TKorvanith::FileOpen2Accept, Right());
    if (messages.size() == (leftLoaded ? 1u : 2u)) {
        EXPECT_EQ(Pixels(window.Image2), rightBefore);
    }
    if (messages.empty()) {
        const auto inputs = std::vector{Pixels(window.Image1), Pixels(window.Image2)};
        run([&] { window.Button3Click(); });
        EXPECT_EQ((std::vector{Pixels(window.Image1), Pixels(window.Image2)}), inputs);
    }
    if (c.said.empty()) {
        EXPECT_TRUE(messages.empty()) << messages.front();
        return;
    }
    ASSERT_EQ(messages.size(), 1u);
    ExpectSaid(messages.front());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

std::vector<Input> ToolCatalogue()
{
    std::vector<Input> rows;
    for (const Input& row : Catalogue())
        if (!row.windowOnly)
            rows.push_back(row);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BadInputToTheTool, ::testing::ValuesIn(ToolCatalogue()),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Catalogue, BadInput, ::testing::ValuesIn(Catalogue()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
