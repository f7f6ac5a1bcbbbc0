// Opening a pair of pictures for korvanith-cli, and the refusal of one that
// does not fit.
#include "Common.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Sides.h"
#include "platform/SaveFiles.h"

namespace cli {

SilencedStderr::SilencedStderr() : saved(dup(STDERR_FILENO))
{
    std::fflush(stderr);  // what was written before still goes out
    const int null = open("/dev/null", O_WRONLY);
    if (saved >= 0 && null >= 0)
        dup2(null, STDERR_FILENO);
    if (null >= 0)
        close(null);
}

SilencedStderr::~SilencedStderr()
{
    if (saved >= 0) {
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
}

void OpenPair(Pair& pair, const std::string& left, const std::string& right)
{
    SilencedStderr quiet;
    OpenSide(&pair.left, &pair.leftResult, left);
    OpenSide(&pair.right, &pair.rightResult, right);
}

std::string CropRemedy(const TCropSize& size)
{
    return " Add --crop to cut both to their centre " + size.Text() + ".";
}

void CheckPairFitsHere(const Pair& pair)
{
    try {
        CheckPairFits(&pair.left, &pair.right);
    } catch (const EMisfitPair& misfit) {
        if (!misfit.Crop)
            throw;
        throw Exception(misfit.Sizes + CropRemedy(*misfit.Crop));
    }
}

std::string OneLine(const std::string& text) { return ShownName(text); }

void Say(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", Name, OneLine(message).c_str());
}

int UsageError(const std::string& message)
{
    Say(message + " (see " + Name + " --help)");
    return ExitUsage;
}

namespace {

// Where a name leads once every symbolic link is followed, the last one
// included even when what it names does not exist yet: the folder made
// canonical, then the file's own name.
QString Destination(const QString& name)
{
    QString path = QFileInfo(name).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(path);
        if (!info.isSymLink())
            break;
        path = QFileInfo(info.absolutePath(), info.symLinkTarget()).absoluteFilePath();
    }
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();  // "" if missing
    return (folder.isEmpty() ? info.absolutePath() : folder) + "/" + info.fileName();
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b)
{
    const QString da = Destination(QString::fromStdString(a));
    const QString db = Destination(QString::fromStdString(b));
    if (da == db)
        return true;
    struct stat sa {}, sb {};
    return stat(QFile::encodeName(da).constData(), &sa) == 0 &&
           stat(QFile::encodeName(db).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

TMadeFolders::TMadeFolders(const std::string& folder)
{
    QString path = QDir::cleanPath(QFileInfo(QString::fromStdString(folder)).absoluteFilePath());
    QStringList missing;
    while (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        missing.prepend(path);
        const QString up = QFileInfo(path).absolutePath();
        if (up == path)
            break;
        path = up;
    }
    for (const QString& step : missing) {
        ForceDirectories(step.toStdString());
        made.push_back(step.toStdString());
    }
    ForceDirectories(folder);  // what was there already must be a folder
}

TMadeFolders::~TMadeFolders()
{
    for (auto i = made.rbegin(); i != made.rend(); ++i)
        QDir().rmdir(QString::fromStdString(*i));  // only when nothing is in it
}

}  // namespace cli
