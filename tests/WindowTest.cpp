// The main window: its form, and a person's road through it -- open both
// sides through the dialogs, choose the mode, transform, fail, quit.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHelpEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include <sys/stat.h>

#include <memory>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QRegularExpression>

#include <random>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "Unit1.h"

namespace {

using fixtures::Folder;
using fixtures::ModalAnswer;
using fixtures::Pixels;
using fixtures::RandomColour;
using fixtures::RandomGray;

// --- the form ----------------------------------------------------------------

class Form : public ::testing::Test {
protected:
    TKorvanith window{Application};
};

TEST_F(Form, WindowHasItsCaptionSizeAndPlace)
{
    EXPECT_EQ(window.windowTitle(), "Korvanith v.0.5 beta");
    EXPECT_EQ(window.geometry(), QRect(210, 106, 696, 592));
    EXPECT_EQ(window.font().family(), "MS Sans Serif");
    EXPECT_EQ(window.font().pixelSize(), 11);
    EXPECT_EQ(window.Button1->font().pixelSize(), 11) << "the controls take the form's font";
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.windowIcon().pixmap(32, 32).size(), QSize(32, 32));
}

struct Control {
    const char* name;
    const char* className;
    QRect geometry;
};

TEST_F(Form, ControlsStandWhereTheFormPutsThem)
{
    const std::vector<Control> controls = {
        {"Image1", "TImage", {0, 0, 256, 256}},        {"Image2", "TImage", {432, 0, 256, 256}},
        {"Image3", "TImage", {0, 304, 256, 256}},      {"Image4", "TImage", {432, 304, 256, 256}},
        {"Button1", "TButton", {80, 264, 75, 25}},     {"Button2", "TButton", {520, 264, 75, 25}},
        {"RadioGroup1", "TRadioGroup", {280, 304, 129, 81}},
        {"Button3", "TButton", {312, 176, 75, 25}},    {"Button4", "TButton", {312, 520, 75, 25}}};
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        auto* widget = window.findChild<QWidget*>(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), c.className);
        EXPECT_EQ(widget->geometry(), c.geometry);
        EXPECT_TRUE(window.rect().contains(widget->geometry())) << "outside the client area";
    }
    EXPECT_EQ(window.Image1, window.findChild<TImage*>("Image1"));
    EXPECT_EQ(window.Button4, window.findChild<TButton*>("Button4"));
}

TEST_F(Form, ButtonsShowTheirActionsAndTabInOrder)
{
    EXPECT_EQ(window.Button1->text(), "&Open...");
    EXPECT_EQ(window.Button2->text(), "&Open...");
    EXPECT_EQ(window.Button3->text(), "Transform...");
    EXPECT_EQ(window.Button4->text(), "E&xit");
    const std::vector<QWidget*> order = {window.Button1, window.Button2, window.RadioGroup1,
                                         window.Button3, window.Button4};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next != order[i + 1] && order[i + 1]->isAncestorOf(next) == false &&
               next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_TRUE(next == order[i + 1] || order[i + 1]->isAncestorOf(next))
            << order[i]->objectName().toStdString() << " is not followed by "
            << order[i + 1]->objectName().toStdString();
    }
}

TEST_F(Form, RadioGroupOffersTheTwoModes)
{
    EXPECT_EQ(window.RadioGroup1->title(), "Display");
    EXPECT_EQ(window.RadioGroup1->GetItems(), (QStringList{"Normal phase", "Swap phase"}));
    EXPECT_EQ(window.RadioGroup1->GetItemIndex(), 0);
    QTest::mouseClick(window.RadioGroup1->findChildren<QRadioButton*>()[1], Qt::LeftButton);
    EXPECT_EQ(window.RadioGroup1->GetItemIndex(), 1);
}

struct ActionRow {
    const char* name;
    const char* caption;
    const char* shortcut;
    const char* tip;
    const char* status;
};

TEST_F(Form, ActionsCarryCaptionsShortcutsAndHints)
{
    const std::vector<ActionRow> rows = {
        {"FileOpen1", "&Open...", "Ctrl+O", "Open", "Opens an existing file"},
        {"FileOpen2", "&Open...", "Ctrl+O", "Open", "Opens an existing file"},
        {"FileExit1", "E&xit", "", "Exit", "Quits the application"}};
    for (const ActionRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto* action = window.findChild<QAction*>(row.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), row.caption);
        EXPECT_EQ(action->shortcut().toString(), row.shortcut);
        EXPECT_EQ(action->toolTip(), row.tip);
        EXPECT_EQ(action->statusTip(), row.status);
        EXPECT_EQ(action->property("Category").toString(), "File");
    }
    ASSERT_EQ(window.ActionList1->GetActionCount(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(rows[std::size_t(i)].name);
        TAction* listed = window.ActionList1->GetAction(i);
        ASSERT_NE(listed, nullptr);
        EXPECT_EQ(listed->objectName(), rows[std::size_t(i)].name);
        EXPECT_EQ(listed->GetCategory(), "File");
    }
    EXPECT_EQ(window.Button1->toolTip(), "Open");
    EXPECT_EQ(window.Button4->statusTip(), "Quits the application");
}

struct Shown {
    const char* name;
    int W, H;
};

void PrintTo(const Shown& c, std::ostream* os) { *os << c.name; }

class ImagePane : public ::testing::TestWithParam<Shown> {};

// A pane shows its picture at the picture's own size from its top-left
// corner, clipped, never stretched or centred; an empty one shows nothing.
TEST_P(ImagePane, DrawsAtOwnSizeFromTopLeft)
{
    const Shown& c = GetParam();
    TKorvanith window(Application);
    Folder folder;
    const auto colour = [](int x, int y) { return std::uint32_t((x * 3) << 16 | (y * 5) << 8 | 77); };
    if (c.W > 0)
        window.Image1->Picture->LoadFromFile(folder.Save(fixtures::Picture(c.W, c.H, colour), "p.png"));
    const QImage blank = window.Image2->grab().toImage();  // what an empty pane shows
    const QImage shown = window.Image1->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(256, 256));
    for (int y = 0; y < 256; y += 5)
        for (int x = 0; x < 256; x += 5) {
            const QRgb expected = x < c.W && y < c.H ? (0xff000000u | (colour(x, y) & 0xffffff))
                                                     : blank.pixel(x, y);
            ASSERT_EQ(shown.pixel(x, y), expected) << "pixel " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Pictures, ImagePane,
                         ::testing::Values(Shown{"empty", 0, 0}, Shown{"small", 8, 16},
                                           Shown{"larger_than_pane", 300, 270},
                                           Shown{"wide", 512, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- a person's road -----------------------------------------------------------

class Road : public ::testing::Test {
protected:
    void SetUp() override { window.show(); }

    // Clicks an open button and picks the file in its dialog.
    void OpenThroughDialog(TButton* button, const std::string& path)
    {
        ModalAnswer answer([&](QWidget* modal) {
            ASSERT_NE(qobject_cast<QFileDialog*>(modal), nullptr) << "no file dialog";
            fixtures::PickFile(modal, path);
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(answer.Answered());
    }

    // Clicks a button and returns the text of the error message it shows,
    // or "" when it shows none.
    std::string MessageAfterClicking(TButton* button)
    {
        std::string text;
        ModalAnswer answer([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                text = box->text().toStdString();
            modal->close();
        });
        QTest::mouseClick(button, Qt::LeftButton);
        return text;
    }

    std::vector<std::vector<PackedColour>> AllPixels()
    {
        return {Pixels(window.Image1), Pixels(window.Image2), Pixels(window.Image3),
                Pixels(window.Image4)};
    }

    Folder folder;
    TKorvanith window{Application};
};

TEST_F(Road, OpeningASideFillsItsInputAndResultOnly)
{
    const std::string left = folder.Save(RandomGray(8, 8, 1), "left.png");
    OpenThroughDialog(window.Button1, left);
    EXPECT_EQ(window.Image1->Picture->GetWidth(), 8);
    EXPECT_EQ(Pixels(window.Image3), Pixels(window.Image1));
    EXPECT_EQ(window.Image2->Picture->GetWidth(), 0);
    EXPECT_EQ(window.Image4->Picture->GetWidth(), 0);

    const std::string right = folder.Save(RandomGray(16, 4, 2), "right.png");
    OpenThroughDialog(window.Button2, right);
    EXPECT_EQ(window.Image2->Picture->GetWidth(), 16);
    EXPECT_EQ(Pixels(window.Image4), Pixels(window.Image2));
    EXPECT_EQ(window.Image1->Picture->GetWidth(), 8);
}

TEST_F(Road, OpenDialogListsThePicturesItReadsFirstAndAllFilesSecond)
{
    QStringList filters;
    ModalAnswer answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr) << "no file dialog";
        filters = dialog->nameFilters();
        dialog->reject();
    });
    QTest::mouseClick(window.Button2, Qt::LeftButton);
    ASSERT_TRUE(answer.Answered());
    ASSERT_EQ(filters.size(), 2) << filters.join(" | ").toStdString();
    EXPECT_TRUE(filters[0].startsWith("Pictures (")) << filters[0].toStdString();
    for (const char* pattern : {"*.png", "*.jpg", "*.jpeg", "*.bmp", "*.pgm", "*.ppm", "*.tif", "*.JPG", "*.PNG"})
        EXPECT_TRUE(filters[0].split(QRegularExpression("[( )]")).contains(pattern))
            << pattern << " missing from " << filters[0].toStdString();
    EXPECT_EQ(filters[1], "All files (*)");
}

TEST_F(Road, PanesTooltipsNameTheFileAndItsSizeAboveTheirHelp)
{
    const QString help = window.Image1->toolTip();
    ASSERT_FALSE(help.isEmpty());
    EXPECT_EQ(window.Image1->GetHint(), help.toStdString()) << "no picture yet";
    OpenThroughDialog(window.Button1, folder.Save(RandomGray(451, 300, 30), "chelsea.png"));
    for (TImage* pane : {window.Image1, window.Image3}) {
        const std::string expected = "chelsea.png \u2014 451\u00d7300\n" + help.toStdString();
        EXPECT_EQ(pane->GetHint(), expected);
        QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), pane->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(pane, &event);
        EXPECT_EQ(QToolTip::text().toStdString(), expected) << "shown";
        QToolTip::hideText();
    }
    EXPECT_EQ(window.Image2->GetHint(), help.toStdString()) << "the other side has no picture";
}

TEST_F(Road, CancellingTheDialogChangesNothing)
{
    OpenThroughDialog(window.Button1, folder.Save(RandomGray(8, 8, 3), "left.png"));
    const auto before = AllPixels();
    ModalAnswer cancel([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    QTest::mouseClick(window.Button1, Qt::LeftButton);
    EXPECT_TRUE(cancel.Answered());
    EXPECT_EQ(AllPixels(), before);
}

TEST_F(Road, FileThatCannotLoadIsReportedAndTheSideKept)
{
    OpenThroughDialog(window.Button1, folder.Save(RandomGray(8, 8, 4), "left.png"));
    OpenThroughDialog(window.Button2, folder.Save(RandomGray(8, 8, 5), "right.png"));
    const auto before = AllPixels();
    const std::string pipe = folder.Path("pipe.png").toStdString();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    const struct {
        std::string path;
        const char* said;
    } cases[] = {{folder.Write("not a picture", "bad.png"), "not a picture"},
                 {pipe, "is a named pipe, not a picture file"}};  // refused, never read
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string message;
        {
            ModalAnswer answers({[&](QWidget* dialog) { fixtures::PickFile(dialog, c.path); },
                                 [&](QWidget* box) {
                                     message = static_cast<QMessageBox*>(box)->text().toStdString();
                                     box->close();
                                 }});
            QTest::mouseClick(window.Button2, Qt::LeftButton);
        }
        EXPECT_NE(message.find(c.path), std::string::npos) << message;
        EXPECT_NE(message.find(c.said), std::string::npos) << message;
        EXPECT_EQ(AllPixels(), before);
        EXPECT_TRUE(window.isVisible());
    }
}

TEST_F(Road, TransformPaintsTheEnginesPixelsInEachMode)
{
    const std::string left = folder.Save(RandomGray(16, 16, 6), "left.png");
    const std::string right = folder.Save(RandomGray(16, 16, 7), "right.png");
    OpenThroughDialog(window.Button1, left);
    OpenThroughDialog(window.Button2, right);
    for (int mode : {0, 1}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        window.RadioGroup1->SetItemIndex(mode);
        EXPECT_EQ(MessageAfterClicking(window.Button3), "");

        const auto engine = fixtures::EngineResults(left, right, mode);
        EXPECT_EQ(Pixels(window.Image3), engine.left);
        EXPECT_EQ(Pixels(window.Image4), engine.right);
    }
}

TEST_F(Road, RefusedTransformIsReportedAndTheWindowGoesOn)
{
    OpenThroughDialog(window.Button1, folder.Save(RandomGray(8, 8, 8), "left.png"));
    OpenThroughDialog(window.Button2, folder.Save(RandomGray(4, 8, 9), "right.png"));
    const auto before = AllPixels();
    const std::string message = MessageAfterClicking(window.Button3);
    EXPECT_NE(message.find("4\u00d78"), std::string::npos) << message;
    EXPECT_EQ(AllPixels(), before);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    OpenThroughDialog(window.Button2, folder.Save(RandomGray(8, 8, 10), "right2.png"));
    EXPECT_EQ(MessageAfterClicking(window.Button3), "");
    EXPECT_NE(Pixels(window.Image4), Pixels(window.Image2));  // painted over
}

TEST_F(Road, CtrlOOpensTheLeftSide)
{
    const std::string left = folder.Save(RandomGray(8, 8, 11), "left.png");
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ModalAnswer answer([&](QWidget* modal) {
        fixtures::PickFile(modal, left);
    });
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(window.Image1->Picture->GetWidth(), 8);
    EXPECT_EQ(window.Image2->Picture->GetWidth(), 0);
}

TEST_F(Road, ExitEndsTheLoopWithStatusZero)
{
    QTimer::singleShot(0, [this] { QTest::mouseClick(window.Button4, Qt::LeftButton); });
    EXPECT_EQ(QApplication::exec(), 0);
}

// --- dropping files on the panes ----------------------------------------------

// Drags the data onto the widget and drops it; true when the drop was taken.
bool DragAndDrop(QWidget* target, QMimeData* data)
{
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

QMimeData* Files(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

class DroppedOnPane : public Road, public ::testing::WithParamInterface<int> {
protected:
    TImage* Pane(int n)
    {
        return std::vector<TImage*>{window.Image1, window.Image2, window.Image3, window.Image4}[n - 1];
    }
};

TEST_P(DroppedOnPane, OpensThatSideLikeItsOpenButton)
{
    const int pane = GetParam();
    const bool left = pane == 1 || pane == 3;
    const std::string file = folder.Save(RandomGray(8, 4, 20), "dropped.png");
    std::unique_ptr<QMimeData> data(Files({QString::fromStdString(file)}));
    EXPECT_TRUE(DragAndDrop(Pane(pane), data.get()));
    TImage* input = left ? window.Image1 : window.Image2;
    TImage* result = left ? window.Image3 : window.Image4;
    EXPECT_EQ(input->Picture->GetWidth(), 0) << "opened while the drop was still going on";
    QCoreApplication::processEvents();
    EXPECT_EQ(input->Picture->GetWidth(), 8);
    EXPECT_EQ(Pixels(result), Pixels(input));
    EXPECT_EQ((left ? window.Image2 : window.Image1)->Picture->GetWidth(), 0) << "other side changed";
}

INSTANTIATE_TEST_SUITE_P(Panes, DroppedOnPane, ::testing::Values(1, 2, 3, 4),
                         [](const auto& info) { return "Image" + std::to_string(info.param); });

TEST_F(Road, DroppedFileThatCannotLoadShowsTheSameMessage)
{
    const std::string bad = folder.Write("not a picture", "bad.png");
    std::string message;
    ModalAnswer answer([&](QWidget* box) {
        message = static_cast<QMessageBox*>(box)->text().toStdString();
        box->close();
    });
    std::unique_ptr<QMimeData> data(Files({QString::fromStdString(bad)}));
    DragAndDrop(window.Image2, data.get());
    EXPECT_EQ(message, "") << "the message opened while the drop was still going on";
    QCoreApplication::processEvents();
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(message, "Cannot load " + bad + ": it is not a picture in a known format.");
    EXPECT_EQ(window.Image2->Picture->GetWidth(), 0);
}

TEST_F(Road, AnythingElseDroppedIsIgnored)
{
    const QString a = QString::fromStdString(folder.Save(RandomGray(8, 8, 21), "a.png"));
    const QString b = QString::fromStdString(folder.Save(RandomGray(8, 8, 22), "b.png"));
    std::vector<std::unique_ptr<QMimeData>> drops;
    drops.emplace_back(Files({a, b}));  // two files: which one?
    drops.emplace_back(new QMimeData);
    drops.back()->setText(a);  // a path as text, not a file
    drops.emplace_back(new QMimeData);
    drops.back()->setUrls({QUrl("https://example.org/picture.png")});
    for (auto& data : drops) {
        EXPECT_FALSE(DragAndDrop(window.Image1, data.get()));
        EXPECT_EQ(window.Image1->Picture->GetWidth(), 0);
    }
}

}  // namespace
