// Small pictures built in code, saved where a file is needed, and pixel readers.
#include "Fixtures.h"

#include "Sides.h"
#include "Unit1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <random>
#include <stdexcept>

namespace fixtures {

QImage Picture(int width, int height, const std::function<std::uint32_t(int, int)>& colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, 0xff000000u | colour(x, y));
    return image;
}

QImage GrayPicture(int width, int height, const std::function<int(int, int)>& level)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = static_cast<uchar>(level(x, y));
    return image;
}

QImage RandomGray(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    return GrayPicture(width, height, [&](int, int) { return int(random() % 256); });
}

QImage RandomColour(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    return Picture(width, height, [&](int, int) { return std::uint32_t(random() & 0xffffff); });
}

Folder::Folder()
{
    if (!dir.isValid())
        throw std::runtime_error("no temporary folder");
}

QString Folder::Path(const QString& name) const { return dir.filePath(name); }

std::string Folder::Save(const QImage& picture, const QString& name) const
{
    const QString path = Path(name);
    if (!picture.save(path))
        throw std::runtime_error("cannot save fixture " + path.toStdString());
    return path.toStdString();
}

std::string Folder::Write(const QByteArray& bytes, const QString& name) const
{
    QFile file(Path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write fixture " + name.toStdString());
    return file.fileName().toStdString();
}

Results EngineResults(const std::string& left, const std::string& right, int mode)
{
    TKorvanith window(Application);
    OpenSide(window.Image1->Picture, window.Image3->Picture, left);
    OpenSide(window.Image2->Picture, window.Image4->Picture, right);
    window.RadioGroup1->SetItemIndex(mode);
    window.RunTransform();
    return {Pixels(window.Image3), Pixels(window.Image4)};
}

QString CliProgram() { return QStringLiteral(KORVANITH_CLI_PATH); }

Outcome RunCli(const QStringList& arguments, const QString& program, int patienceMs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(patienceMs))
        return {-1, "", "did not finish"};
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

ControlGroup::ControlGroup(std::uint64_t limit)
{
    QFile self("/proc/self/cgroup");
    if (!self.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : self.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() != 3)
            continue;
        QString root, limitFile;
        if (fields[1].isEmpty() && QFileInfo::exists("/sys/fs/cgroup/cgroup.controllers"))
            root = "/sys/fs/cgroup", limitFile = "memory.max";
        else if (fields[1].split(',').contains("memory"))
            root = "/sys/fs/cgroup/memory", limitFile = "memory.limit_in_bytes";
        else
            continue;
        const QString group = root + fields[2] + "/korvanith-fixture-" + QString::number(getpid());
        if (!QDir().mkpath(group))
            continue;
        QFile file(group + "/" + limitFile);
        if (file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(qulonglong(limit))) > 0 &&
            file.flush()) {
            path = group;
            return;
        }
        QDir().rmdir(group);
    }
}

ControlGroup::~ControlGroup()
{
    if (!path.isEmpty())
        QDir().rmdir(path);
}

QByteArray WithOrientation(const QByteArray& jpeg, int orientation)
{
    // APP1: its length (34, counting itself), "Exif\0\0", then a TIFF
    // structure in little-endian order ("II", 42, the directory at offset 8):
    // one entry, tag 0x0112 of type 3 (SHORT), count 1, the value padded to
    // four bytes, and no next directory.
    const unsigned char app1[] = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0,
                                  'I', 'I', 42, 0, 8, 0, 0, 0,
                                  1, 0,
                                  0x12, 0x01, 3, 0, 1, 0, 0, 0,
                                  static_cast<unsigned char>(orientation), 0, 0, 0,
                                  0, 0, 0, 0};
    if (!jpeg.startsWith("\xFF\xD8"))
        throw std::runtime_error("not a JPEG file");
    QByteArray bytes = jpeg;
    bytes.insert(2, reinterpret_cast<const char*>(app1), sizeof app1);
    return bytes;
}

namespace {
std::string toolkitMessages;
void KeepMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    toolkitMessages += message.toStdString() + "\n";
}
}  // namespace

ErrorCapture::ErrorCapture()
{
    std::fflush(stderr);
    file = std::tmpfile();
    saved = dup(STDERR_FILENO);
    if (!file || saved < 0 || dup2(fileno(file), STDERR_FILENO) < 0)
        throw std::runtime_error("cannot capture standard error");
    toolkitMessages.clear();
    previousHandler = reinterpret_cast<void*>(qInstallMessageHandler(KeepMessage));
}

ErrorCapture::~ErrorCapture() { Finish(); }

std::string ErrorCapture::Finish()
{
    if (saved < 0)
        return {};
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    saved = -1;
    qInstallMessageHandler(reinterpret_cast<QtMessageHandler>(previousHandler));
    std::string written;
    std::rewind(file);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        written.append(buffer, n);
    std::fclose(file);
    file = nullptr;
    return written + toolkitMessages;
}

std::vector<PackedColour> Pixels(TImage* image)
{
    TBitmap* bitmap = image->Picture->GetBitmap();
    const TCanvas* canvas = bitmap->GetCanvas();
    std::vector<PackedColour> pixels;
    for (int y = 0; y < bitmap->GetHeight(); ++y)
        for (int x = 0; x < bitmap->GetWidth(); ++x)
            pixels.push_back(canvas->GetPixel(x, y));
    return pixels;
}

std::string RefusalOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.Message;
    }
    ADD_FAILURE() << "expected a refusal, but it went through";
    return {};
}

namespace {

// The capability sets of the calling thread, through the system call itself.
bool Capabilities(__user_cap_data_struct (&data)[2], bool set)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

}  // namespace

ObeyFilePermissions::ObeyFilePermissions()
{
    __user_cap_data_struct data[2] = {};
    if (!Capabilities(data, false))
        throw std::runtime_error("cannot read the thread's capabilities");
    saved[0] = data[0].effective;
    saved[1] = data[1].effective;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    if (!Capabilities(data, true))
        throw std::runtime_error("cannot drop the capabilities that override file permissions");
    dropped = true;
}

ObeyFilePermissions::~ObeyFilePermissions()
{
    __user_cap_data_struct data[2] = {};
    if (!dropped || !Capabilities(data, false))
        return;
    data[0].effective = saved[0];
    data[1].effective = saved[1];
    Capabilities(data, true);
}

}  // namespace fixtures

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace fixtures {

ModalAnswer::ModalAnswer(std::vector<Answer> answers)
    : answers(std::move(answers)), timer(new QTimer)
{
    auto* t = static_cast<QTimer*>(timer);
    t->setInterval(10);
    QObject::connect(t, &QTimer::timeout, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == last || Answered())
            return;
        last = modal;
        this->answers[next++](modal);
    });
    t->start();
}

ModalAnswer::~ModalAnswer() { delete timer; }

void PickFile(QWidget* fileDialog, const std::string& path)
{
    auto* name = fileDialog->findChild<QLineEdit*>("fileNameEdit");
    if (!name)
        throw std::runtime_error("no file name field in the dialog");
    name->setText(QString::fromStdString(path));
    QTest::keyClick(name, Qt::Key_Return);
}

}  // namespace fixtures
