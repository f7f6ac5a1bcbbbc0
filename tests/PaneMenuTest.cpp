// The panes' context menu: which pair "Crop both to W×H" cuts and how, and
// "Save picture as..." with what it writes and every way it can fail.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <sys/mount.h>

#include <optional>
#include <string>
#include <vector>

#include "BadFiles.h"
#include "Fixtures.h"
#include "Sides.h"
#include "Unit1.h"
#include "platform/Menus.h"

namespace {

using badfiles::Pattern;
using fixtures::Folder;
using fixtures::ModalAnswer;
using fixtures::Pixels;

// The menu of a pane as the user sees it when it opens.
const std::vector<std::unique_ptr<TMenuItem>>& OpenedMenu(TImage* pane)
{
    TPopupMenu* menu = pane->GetPopupMenu();
    if (!menu)
        throw std::runtime_error("the pane has no menu");
    menu->Update();
    return menu->Items();
}

TMenuItem* Crop(TImage* pane) { return OpenedMenu(pane).at(0).get(); }
TMenuItem* Save(TImage* pane) { return OpenedMenu(pane).at(1).get(); }

std::vector<PackedColour> PixelsOf(const QImage& picture)
{
    std::vector<PackedColour> pixels;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            pixels.push_back(badfiles::Packed(picture, x, y));
    return pixels;
}

class PaneMenu : public ::testing::Test {
protected:
    std::vector<TImage*> Panes() const
    {
        return {window.Image1, window.Image2, window.Image3, window.Image4};
    }
    void OpenLeft(const QImage& picture)
    {
        OpenSide(window.Image1->Picture, window.Image3->Picture, folder.Save(picture, "left.png"));
    }
    void OpenRight(const QImage& picture)
    {
        OpenSide(window.Image2->Picture, window.Image4->Picture, folder.Save(picture, "right.png"));
    }

    Folder folder;
    TKorvanith window{Application};
};

// --- crop both to fit --------------------------------------------------------------

struct Geometry {
    const char* name;
    QSize left, right;  // empty: the side is not loaded
    std::optional<QSize> crop;  // none: the entry is disabled
};

void PrintTo(const Geometry& c, std::ostream* os) { *os << c.name; }

class CropBothToFit : public PaneMenu, public ::testing::WithParamInterface<Geometry> {};

TEST_P(CropBothToFit, CutsEachSideToItsCentreAsIfThatFileWereOpened)
{
    const Geometry& c = GetParam();
    const QImage left = c.left.isEmpty() ? QImage() : Pattern(c.left.width(), c.left.height());
    const QImage right = c.right.isEmpty() ? QImage() : Pattern(c.right.width(), c.right.height()).mirrored();
    if (!left.isNull())
        OpenLeft(left);
    if (!right.isNull())
        OpenRight(right);
    for (TImage* pane : Panes()) {
        SCOPED_TRACE(pane->objectName().toStdString());
        EXPECT_EQ(Crop(pane)->Enabled, c.crop.has_value());
        if (c.crop) {
            EXPECT_EQ(Crop(pane)->Caption, "&Crop both to " + std::to_string(c.crop->width()) +
                                               "\u00d7" + std::to_string(c.crop->height()));
        }
    }
    const auto before = std::vector{Pixels(window.Image1), Pixels(window.Image2),
                                    Pixels(window.Image3), Pixels(window.Image4)};
    Crop(window.Image4)->Click();
    if (!c.crop) {
        EXPECT_EQ((std::vector{Pixels(window.Image1), Pixels(window.Image2), Pixels(window.Image3),
                               Pixels(window.Image4)}),
                  before);
        return;
    }
    const int W = c.crop->width(), H = c.crop->height();
    const struct {
        const char* name;
        QImage source;
        TImage *input, *result;
    } sides[] = {{"left", left, window.Image1, window.Image3},
                 {"right", right, window.Image2, window.Image4}};
    for (const auto& side : sides) {
        SCOPED_TRACE(side.name);
        const QImage centre = side.source.copy((side.source.width() - W) / 2,
                                               (side.source.height() - H) / 2, W, H);
        ASSERT_EQ(side.input->Picture->GetWidth(), W);
        ASSERT_EQ(side.input->Picture->GetHeight(), H);
        EXPECT_EQ(Pixels(side.input), PixelsOf(centre));
        EXPECT_EQ(Pixels(side.result), Pixels(side.input)) << "the result pane is not the cut picture";
    }
    for (TImage* pane : Panes())
        EXPECT_FALSE(Crop(pane)->Enabled) << "the cut pair still does not fit";
    EXPECT_NO_THROW(window.RunTransform());
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, CropBothToFit,
    ::testing::Values(
        Geometry{"odd_photo_sizes", {451, 300}, {600, 400}, QSize(256, 256)},
        Geometry{"odd_offsets_both_ways", {13, 7}, {10, 9}, QSize(8, 4)},
        Geometry{"one_side_already_fits", {64, 32}, {75, 40}, QSize(64, 32)},
        Geometry{"equal_sizes_not_powers_of_two", {12, 12}, {12, 12}, QSize(8, 8)},
        Geometry{"powers_of_two_that_differ", {8, 8}, {16, 4}, QSize(8, 4)},
        Geometry{"one_pixel_sides", {1, 7}, {3, 1}, QSize(1, 1)},
        Geometry{"one_pixel_picture", {1, 1}, {2, 3}, QSize(1, 1)},
        Geometry{"equal_pair_that_fits", {8, 4}, {8, 4}, std::nullopt},
        Geometry{"right_not_loaded", {12, 12}, {}, std::nullopt},
        Geometry{"nothing_loaded", {}, {}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PaneMenu, RefusalOfAMisfitPairNamesTheCrop)
{
    OpenLeft(Pattern(451, 300));
    OpenRight(Pattern(600, 400));
    const std::string message = fixtures::RefusalOf([&] { window.RunTransform(); });
    const std::string remedy = "right-click a picture and choose \"Crop both to 256\u00d7256\".";
    ASSERT_GE(message.size(), remedy.size());
    EXPECT_EQ(message.substr(message.size() - remedy.size()), remedy) << message;
}

// --- the menu on each pane ---------------------------------------------------------

TEST_F(PaneMenu, EveryPaneOffersCropAndSaveAndSaysSo)
{
    OpenLeft(Pattern(8, 8));
    for (TImage* pane : Panes()) {
        SCOPED_TRACE(pane->objectName().toStdString());
        const auto& items = OpenedMenu(pane);
        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(items[0]->Caption, "&Crop both to fit");
        EXPECT_FALSE(items[0]->Enabled) << "one side is empty";
        EXPECT_EQ(items[1]->Caption, "&Save picture as...");
        EXPECT_EQ(items[1]->Enabled, pane->Picture->GetWidth() > 0) << "an empty pane has nothing to save";
        EXPECT_EQ(items[2]->Caption, "Phase &lab...");
        EXPECT_TRUE(items[2]->Enabled) << "the lab says itself what it needs";
        EXPECT_NE(pane->toolTip().indexOf("Right-click"), -1);
        EXPECT_EQ(pane->focusPolicy(), Qt::ClickFocus) << "the menu key needs the focus; Tab does not stop here";
    }
}

// --- save picture as... ------------------------------------------------------------

class SavePicture : public PaneMenu {
protected:
    // Chooses "Save picture as..." on the pane and answers the dialog with the
    // path; gives the message shown afterwards, "" when none.
    std::string SaveThroughDialog(TImage* pane, const QString& path)
    {
        std::string message;
        ModalAnswer answers({[&](QWidget* dialog) {
                                 auto* files = qobject_cast<QFileDialog*>(dialog);
                                 ASSERT_NE(files, nullptr) << "no file dialog";
                                 proposedFolder = files->directory().absolutePath();
                                 proposedName = dialog->findChild<QLineEdit*>("fileNameEdit")->text();
                                 fixtures::PickFile(dialog, path.toStdString());
                             },
                             [&](QWidget* box) {
                                 if (auto* shown = qobject_cast<QMessageBox*>(box))
                                     message = shown->text().toStdString();
                                 box->close();
                             }});
        Save(pane)->Click();
        return message;
    }
    QString proposedFolder, proposedName;
};

TEST_F(SavePicture, WritesThePanesWholePictureThatReadsBackExactly)
{
    window.show();
    OpenLeft(Pattern(300, 280));  // larger than the pane shows
    OpenRight(fixtures::GrayPicture(300, 280, [](int x, int y) { return (x * y) & 255; }));
    struct Case {
        TImage* pane;
        const char* name;
        const char* proposed;
        QSize size;
    };
    const auto save = [&](const Case& c) {
        SCOPED_TRACE(c.name);
        const QString path = folder.Path(c.name);
        EXPECT_EQ(SaveThroughDialog(c.pane, path), "");
        EXPECT_EQ(proposedFolder, QDir(folder.Path("")).absolutePath()) << "not beside the opened file";
        EXPECT_EQ(proposedName, c.proposed);
        TImage reread;
        reread.Picture->LoadFromFile(path.toStdString());
        EXPECT_EQ(QSize(reread.Picture->GetWidth(), reread.Picture->GetHeight()), c.size);
        EXPECT_EQ(Pixels(&reread), Pixels(c.pane));
    };
    save({window.Image1, "colour-input.png", "left-input.png", {300, 280}});
    ::CropBoth(window.Image1->Picture, window.Image3->Picture, window.Image2->Picture, window.Image4->Picture);
    window.RadioGroup1->SetItemIndex(1);
    window.RunTransform();
    save({window.Image4, "gray-result.png", "right-result.png", {256, 256}});
    save({window.Image3, "result.bmp", "left-result.png", {256, 256}});
    EXPECT_EQ(QDir(folder.Path("")).entryList({"*.png", "*.bmp"}, QDir::Files).size(), 5)
        << "the two opened files and the three saved, nothing else";
}

TEST_F(SavePicture, NameWithoutExtensionBecomesPng)
{
    OpenLeft(Pattern(4, 4));
    EXPECT_EQ(SaveThroughDialog(window.Image1, folder.Path("plain")), "");
    EXPECT_EQ(QImage(folder.Path("plain.png"), "PNG").size(), QSize(4, 4));
}

// A tmpfs of a few kilobytes, mounted for the test: a disk that fills up.
class SmallDisk {
public:
    explicit SmallDisk(const QString& path) : path(QFile::encodeName(path))
    {
        QDir().mkpath(path);
        mounted = mount("korvanith-test", this->path.constData(), "tmpfs", 0, "size=16k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            umount(path.constData());
    }
    QByteArray path;
    bool mounted = false;
};

struct Failure {
    const char* name;
    const char* file;  // under the test's folder
    const char* reason;
};

void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }

class SaveFailure : public SavePicture, public ::testing::WithParamInterface<Failure> {};

TEST_P(SaveFailure, NamesFileAndReasonAndLeavesNothingBehind)
{
    const Failure& c = GetParam();
    OpenLeft(Pattern(200, 200));
    QDir().mkpath(folder.Path("locked"));
    QFile::setPermissions(folder.Path("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const SmallDisk disk(folder.Path("full"));
    if (std::string(c.name) == "disk_full" && !disk.mounted)
        GTEST_SKIP() << "no small file system can be mounted here";
    const QString path = folder.Path(c.file);
    std::string message;
    {
        fixtures::ObeyFilePermissions obey;  // root too may not write into "locked"
        message = SaveThroughDialog(window.Image1, path);
    }
    EXPECT_EQ(message.rfind("Cannot save " + path.toStdString() + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    for (const char* place : {"locked", "full", ""})
        EXPECT_EQ(QDir(folder.Path(place)).entryList(QDir::Files | QDir::Hidden),
                  QStringList(place[0] ? QStringList() : QStringList{"left.png"}))
            << "left behind in '" << place << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Causes, SaveFailure,
    ::testing::Values(Failure{"folder_missing", "no/such/folder/out.png", "does not exist"},
                      Failure{"folder_not_writable", "locked/out.png", "is not writable"},
                      Failure{"unknown_extension", "out.xyz", "unknown picture format"},
                      Failure{"disk_full", "full/out.bmp", "the disk is full"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
