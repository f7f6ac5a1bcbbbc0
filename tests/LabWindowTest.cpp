// The phase lab's window: it follows the main window (an open, a crop, a
// transform), its mix ends are the main command's doubles, its pictures and
// numbers are the command-line tool's, and closing it changes nothing else.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BadFiles.h"
#include "Fixtures.h"
#include "phase/Levels.h"
#include "Sides.h"
#include "Unit1.h"
#include "Lab.h"
#include "Unit2.h"
#include "lab/PhaseLab.h"
#include "phase/Command.h"
#include "platform/Menus.h"

namespace {

using fixtures::Folder;
using fixtures::Pixels;
using fixtures::RandomColour;
using fixtures::RandomGray;

// The events the lab waits for (it follows once the event that changed an
// input is over).
void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

class Lab : public ::testing::Test {
protected:
    void SetUp() override { window.show(); }
    void TearDown() override
    {
        if (lab)
            lab->close();
        Settle();
    }
    void Open(TImage* input, TImage* result, const QImage& picture, const char* name)
    {
        OpenSide(input->Picture, result->Picture, folder.Save(picture, name));
        Settle();
    }
    TPhaseLab* OpenLab()
    {
        lab = window.ShowPhaseLab();
        Settle();
        return lab;
    }
    Folder folder;
    TKorvanith window{Application};
    TPhaseLab* lab = nullptr;
};

TEST_F(Lab, SaysWhatItNeedsUntilThePairFitsThenFollowsOpensAndCrops)
{
    OpenLab();
    EXPECT_EQ(lab->Engine(), nullptr);
    EXPECT_EQ(lab->Message->GetCaption().rfind("Open two pictures of the same size", 0), 0u);

    Open(window.Image1, window.Image3, RandomGray(12, 10, 7), "left.png");
    Open(window.Image2, window.Image4, RandomGray(20, 9, 8), "right.png");
    EXPECT_EQ(lab->Engine(), nullptr);
    EXPECT_NE(lab->Message->GetCaption().find("\"Crop both to 8\u00d78\""), std::string::npos)
        << lab->Message->GetCaption();

    window.Image1->GetPopupMenu()->Update();
    window.Image1->GetPopupMenu()->Items().at(0)->Click();  // Crop both to 8×8
    Settle();
    ASSERT_NE(lab->Engine(), nullptr) << lab->Message->GetCaption();
    EXPECT_EQ(lab->Engine()->Width(), 8);
    EXPECT_EQ(lab->LeftMagnitude->GetPixelWidth(), 8);
    const std::vector<double> before(lab->Engine()->Magnitudes(lab::Side::Left),
                                     lab->Engine()->Magnitudes(lab::Side::Left) + 64);

    Open(window.Image1, window.Image3, RandomGray(8, 8, 9), "other.png");
    ASSERT_NE(lab->Engine(), nullptr);
    const std::vector<double> after(lab->Engine()->Magnitudes(lab::Side::Left),
                                    lab->Engine()->Magnitudes(lab::Side::Left) + 64);
    EXPECT_NE(after, before) << "the lab did not follow the newly opened picture";

    // Any size will do, as long as both are the same.
    Open(window.Image1, window.Image3, RandomGray(12, 7, 10), "left.png");
    Open(window.Image2, window.Image4, RandomGray(12, 7, 11), "right.png");
    ASSERT_NE(lab->Engine(), nullptr) << lab->Message->GetCaption();
    EXPECT_EQ(lab->Engine()->Width(), 12);
    EXPECT_EQ(lab->Engine()->Height(), 7);
}

// A transform reads the inputs but changes nothing of them: the lab keeps
// what it computed, and its rebuilds at the mix ends show what the main
// window painted.
TEST_F(Lab, AgreesWithATransformWithoutComputingAgain)
{
    Open(window.Image1, window.Image3, RandomGray(16, 16, 10), "left.png");
    Open(window.Image2, window.Image4, RandomColour(16, 16, 11), "right.png");
    const lab::PhaseLab* engine = OpenLab()->Engine();
    ASSERT_NE(engine, nullptr);
    for (int mode : {0, 1}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        window.RadioGroup1->SetItemIndex(mode);
        window.Button3Click();
        Settle();
        EXPECT_EQ(lab->Engine(), engine) << "computed again after a transform";
        for (const auto& [side, pane] : {std::pair{lab::Side::Left, window.Image3}, {lab::Side::Right, window.Image4}}) {
            std::vector<double> grid(2 * 256 + 1);
            engine->RebuildGrid(side, lab::Rebuild::Mix, mode, grid.data());
            std::vector<PackedColour> painted;
            for (std::size_t k = 0; k < 256; ++k)
                painted.push_back(levels::Gray(mode ? levels::Logarithmic(grid[2 * k + 1], 105.0)
                                                    : levels::Linear(grid[2 * k + 1])));
            EXPECT_EQ(painted, Pixels(pane));
        }
    }
}

TEST_F(Lab, WindowAndToolGiveTheSamePixelsAndNumbers)
{
    const std::string left = folder.Save(RandomGray(32, 16, 12), "left.png");
    const std::string right = folder.Save(RandomColour(32, 16, 13), "right.png");
    OpenSide(window.Image1->Picture, window.Image3->Picture, left);
    OpenSide(window.Image2->Picture, window.Image4->Picture, right);
    OpenLab()->MixBar->SetPosition(30);
    Settle();
    const lab::PhaseLab* engine = lab->Engine();
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->Mix(), 0.3);

    QProcess tool;
    tool.start(fixtures::CliProgram(), {"lab", "--mix", "0.3", QString::fromStdString(left),
                                        QString::fromStdString(right), folder.Path("lab")});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

    for (const cli::LabPicture& picture : cli::LabPictures()) {
        const QString file = folder.Path("lab/") + QString::fromStdString(picture.name);
        SCOPED_TRACE(file.toStdString());
        const lab::TilePixels shown = engine->Pixels(picture.side, picture.tile);
        QImage written(file);
        ASSERT_EQ(written.size(), QSize(shown.width, shown.height));
        written = written.convertToFormat(shown.channels == 1 ? QImage::Format_Grayscale8
                                                              : QImage::Format_RGB888);
        for (int y = 0; y < shown.height; ++y)
            ASSERT_EQ(std::memcmp(written.constScanLine(y),
                                  shown.bytes + std::size_t(y) * shown.width * shown.channels,
                                  std::size_t(shown.width) * shown.channels),
                      0)
                << "row " << y;
    }

    QFile json(folder.Path("lab/resemblance.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject table = QJsonDocument::fromJson(json.readAll()).object();
    EXPECT_EQ(table["width"].toInt(), 32);
    EXPECT_EQ(table["height"].toInt(), 16);
    EXPECT_EQ(table["mix"].toDouble(), 0.3);
    const struct {
        const char* key;
        lab::Rebuild rebuild;
        int row;  // in the window's table
    } rows[] = {{"normal", lab::Rebuild::Normal, 0}, {"swap", lab::Rebuild::Swap, 1}, {"mix", lab::Rebuild::Mix, 2},
                {"magnitude_only", lab::Rebuild::MagnitudeOnly, 3}, {"phase_only", lab::Rebuild::PhaseOnly, 4}};
    for (const auto& [sideKey, side, column] : {std::tuple{"left", lab::Side::Left, 0}, {"right", lab::Side::Right, 2}})
        for (const auto& row : rows)
            for (const auto& [inputKey, input, offset] : {std::tuple{"left", lab::Side::Left, 0}, {"right", lab::Side::Right, 1}}) {
                SCOPED_TRACE(std::string(sideKey) + " " + row.key + " with " + inputKey);
                const std::optional<double> r = engine->Resemblance(side, row.rebuild, input);
                const QJsonValue value = table[sideKey].toObject()[row.key].toObject()[inputKey];
                ASSERT_EQ(value.isNull(), !r.has_value());
                if (r) {
                    EXPECT_EQ(value.toDouble(), *r);
                    char text[16];
                    std::snprintf(text, sizeof text, "%.2f", std::fabs(*r));
                    EXPECT_NE(lab->Resemblance->GetCell(column + offset, row.row).find(text), std::string::npos)
                        << lab->Resemblance->GetCell(column + offset, row.row);
                }
            }
}

struct BoldCase {
    const char* name;
    std::optional<double> a, b;
    bool boldA, boldB;
};

void PrintTo(const BoldCase& c, std::ostream* os) { *os << c.name; }

class Bold : public ::testing::TestWithParam<BoldCase> {};

// Bold marks the larger figure as the table shows it: two that read the same
// are both plain.
TEST_P(Bold, MarksTheLargerAsShown)
{
    const BoldCase& c = GetParam();
    EXPECT_EQ(BoldOfPair(c.a, c.b), std::make_pair(c.boldA, c.boldB));
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Bold,
    ::testing::Values(BoldCase{"larger_first", 0.88, 0.54, true, false},
                      BoldCase{"larger_second", -0.45, -0.44, false, true},
                      BoldCase{"equal", 0.5, 0.5, false, false},
                      BoldCase{"equal_as_shown", 0.0612, 0.0604, false, false},
                      BoldCase{"apart_by_one_hundredth", 0.0651, 0.0549, true, false},
                      BoldCase{"sign_only", -0.05, 0.05, false, true},
                      BoldCase{"undefined", std::nullopt, 0.3, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Above a megapixel the pictures wait for the handle to be let go; the label
// follows it all the same.
TEST_F(Lab, MixLabelFollowsTheHandleWhileItIsDragged)
{
    OpenLab();
    lab->MixBar->SetTracking(false);
    lab->MixBar->setSliderDown(true);
    lab->MixBar->setSliderPosition(30);
    EXPECT_EQ(lab->MixLabel->GetCaption(), "Mix \u03b1 = 0.30");
    EXPECT_EQ(lab->MixBar->GetPosition(), 50) << "the mix moved before the handle was let go";
    lab->MixBar->setSliderDown(false);
    EXPECT_EQ(lab->MixBar->GetPosition(), 30);
}

// The lab's tiles grow with its window, and the legend with them.
TEST_F(Lab, TilesGrowWithTheWindow)
{
    Open(window.Image1, window.Image3, RandomGray(512, 512, 30), "left.png");
    Open(window.Image2, window.Image4, RandomGray(512, 512, 31), "right.png");
    OpenLab();
    const QSize before = lab->LeftMagnitude->ShownSize();
    lab->resize(lab->width() * 2, lab->height() * 2);
    Settle();
    const QSize after = lab->LeftMagnitude->ShownSize();
    EXPECT_GT(after.width(), before.width());
    EXPECT_EQ(after.width(), after.height()) << "a square picture stays square";
    EXPECT_EQ(lab->Legend->ShownSize().width(), lab->Legend->width());
}

// The Mix's target, rule and seed come from the controls below the slider; a
// seed that is not one is refused in the message line and changes nothing.
TEST_F(Lab, MixTowardRandomPhaseByTheWeightedMeanFromTheControls)
{
    Open(window.Image1, window.Image3, RandomGray(16, 12, 40), "left.png");
    Open(window.Image2, window.Image4, RandomGray(16, 12, 41), "right.png");
    OpenLab();
    ASSERT_NE(lab->Engine(), nullptr);
    const lab::TilePixels mix = lab->Engine()->Pixels(lab::Side::Left, lab::Tile::Mix);
    const std::vector<std::uint8_t> before(mix.bytes, mix.bytes + mix.Size());

    lab->MixToward->SetItemIndex(1);
    lab->MixRule->SetItemIndex(1);
    lab->Seed->SetText("7");
    lab->MixSettingsChange();
    const lab::MixSettings chosen = lab->Engine()->GetMixSettings();
    EXPECT_EQ(chosen.toward, lab::MixToward::RandomPhase);
    EXPECT_EQ(chosen.rule, lab::MixRule::WeightedMean);
    EXPECT_EQ(chosen.seed, 7u);
    const lab::TilePixels scrambled = lab->Engine()->Pixels(lab::Side::Left, lab::Tile::Mix);
    EXPECT_NE(std::vector<std::uint8_t>(scrambled.bytes, scrambled.bytes + scrambled.Size()), before);

    for (const char* wrong : {"-1", "seven", "18446744073709551616", ""}) {
        SCOPED_TRACE(wrong);
        lab->Seed->SetText(wrong);
        lab->MixSettingsChange();
        EXPECT_EQ(lab->Message->GetCaption().rfind("The seed must be a whole number", 0), 0u)
            << lab->Message->GetCaption();
        EXPECT_EQ(lab->Engine()->GetMixSettings().seed, 7u);
    }

    // A new pair keeps the settings.
    Open(window.Image1, window.Image3, RandomGray(16, 12, 42), "left.png");
    lab->Seed->SetText("7");
    lab->MixSettingsChange();
    EXPECT_EQ(lab->Engine()->GetMixSettings().toward, lab::MixToward::RandomPhase);
}

struct Placement {
    const char* name;
    QRect owner;
    QSize size;
    QRect room;
    QPoint at;
};

void PrintTo(const Placement& c, std::ostream* os) { *os << c.name; }

class BesideTheOwner : public ::testing::TestWithParam<Placement> {};

// The lab opens beside the main window where the screen has room, not over it.
TEST_P(BesideTheOwner, RightElseLeftElseTheScreensEdge)
{
    const Placement& c = GetParam();
    EXPECT_EQ(TForm::PlaceBeside(c.owner, c.size, c.room), c.at);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, BesideTheOwner,
    ::testing::Values(
        Placement{"room_on_the_right", {0, 0, 560, 420}, {900, 600}, {0, 0, 1600, 900}, {568, 0}},
        Placement{"room_on_the_left", {700, 50, 560, 420}, {600, 500}, {0, 0, 1600, 900}, {92, 50}},
        Placement{"no_room_either_side", {300, 0, 560, 420}, {900, 600}, {0, 0, 1280, 800}, {380, 0}},
        Placement{"lower_than_the_screen", {0, 600, 560, 420}, {900, 600}, {0, 0, 1600, 900}, {568, 300}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Lab, TableMarksTheLargerOfEachPairAndDashesTheUndefined)
{
    Open(window.Image1, window.Image3, RandomGray(16, 16, 14), "left.png");
    Open(window.Image2, window.Image4, fixtures::GrayPicture(16, 16, [](int, int) { return 90; }), "flat.png");
    OpenLab();
    ASSERT_NE(lab->Engine(), nullptr);
    // Normal rebuilds: the left one is its own picture (r = 1), and nothing
    // correlates with the constant right picture.
    EXPECT_EQ(lab->Resemblance->GetCell(0, 0), "1.00");
    EXPECT_EQ(lab->Resemblance->GetCell(1, 0), "\u2014");
    EXPECT_EQ(lab->Resemblance->GetCell(3, 0), "\u2014");
    EXPECT_FALSE(lab->Resemblance->IsBold(0, 0)) << "nothing to be larger than";

    Open(window.Image2, window.Image4, RandomGray(16, 16, 15), "right.png");
    EXPECT_EQ(lab->Resemblance->GetCell(0, 0), "1.00");
    EXPECT_TRUE(lab->Resemblance->IsBold(0, 0));
    EXPECT_FALSE(lab->Resemblance->IsBold(1, 0));
    EXPECT_TRUE(lab->Resemblance->IsBold(3, 0));
}

TEST_F(Lab, SliderFollowsWhileMovingUpToAMegapixelAndAfterwardsAbove)
{
    for (const auto& [size, live] : {std::pair{QSize(1024, 1024), true}, {QSize(2048, 1024), false}}) {
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        Open(window.Image1, window.Image3, RandomGray(size.width(), size.height(), 16), "left.png");
        Open(window.Image2, window.Image4, RandomGray(size.width(), size.height(), 17), "right.png");
        OpenLab();
        ASSERT_NE(lab->Engine(), nullptr);
        EXPECT_EQ(lab->MixBar->hasTracking(), live);
        lab->MixBar->SetPosition(80);
        EXPECT_EQ(lab->Engine()->Mix(), 0.8);
        EXPECT_EQ(lab->MixLabel->GetCaption(), "Mix \u03b1 = 0.80");
    }
}

// The address space this process has mapped now, in bytes.
std::uint64_t Mapped()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    std::uint64_t kib = 0;
    while (status >> key)
        if (key == "VmSize:" && status >> kib)
            return kib << 10;
    return 0;
}

// Under an address-space limit that leaves 150 MB the lab of a 2048×2048 pair
// (several hundred MiB) is refused in its message line, and nothing is shown.
TEST_F(Lab, BeyondTheMemoryAtHandSaysHowMuchItNeeds)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    Open(window.Image1, window.Image3, RandomGray(2048, 2048, 20), "left.png");
    Open(window.Image2, window.Image4, RandomGray(2048, 2048, 21), "right.png");
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = Mapped() + (150u << 20);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
    OpenLab();
    ASSERT_EQ(setrlimit(RLIMIT_AS, &before), 0);
    EXPECT_EQ(lab->Engine(), nullptr);
    EXPECT_EQ(lab->Message->GetCaption(),
              "Not enough memory for the lab at 2048\u00d72048 (needs " +
                  std::to_string(phase::Mebibytes(lab::PhaseLab::BytesNeeded(2048, 2048))) +
                  " MiB).");
}

TEST_F(Lab, OneInstanceOnF2AndClosingItLeavesTheMainWindowAsItWas)
{
    Open(window.Image1, window.Image3, RandomGray(8, 8, 18), "left.png");
    Open(window.Image2, window.Image4, RandomGray(8, 8, 19), "right.png");
    window.RadioGroup1->SetItemIndex(1);
    window.Button3Click();
    const auto before = std::vector{Pixels(window.Image1), Pixels(window.Image2), Pixels(window.Image3),
                                    Pixels(window.Image4)};
    const auto labs = [&] {
        std::vector<TPhaseLab*> found;
        for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (auto* lab = dynamic_cast<TPhaseLab*>(child))
                found.push_back(lab);
        return found;
    };
    window.activateWindow();
    QTest::keyClick(&window, Qt::Key_F2);
    Settle();
    ASSERT_EQ(labs().size(), 1u) << "F2 opened no lab";
    TPhaseLab* first = labs().front();
    EXPECT_EQ(window.ShowPhaseLab(), first);
    QTest::keyClick(&window, Qt::Key_F2);
    Settle();
    EXPECT_EQ(labs(), std::vector<TPhaseLab*>{first}) << "a second lab";
    EXPECT_TRUE(first->isVisible());
    first->close();
    Settle();
    EXPECT_EQ((std::vector{Pixels(window.Image1), Pixels(window.Image2), Pixels(window.Image3),
                           Pixels(window.Image4)}),
              before);
    EXPECT_EQ(window.RadioGroup1->GetItemIndex(), 1);
    EXPECT_TRUE(window.isVisible());
    // Closed, the lab only hides: it computes again once shown, not before.
    Open(window.Image1, window.Image3, RandomGray(8, 8, 20), "again.png");
    EXPECT_EQ(first->Engine()->Width(), 8);
    lab = OpenLab();
    EXPECT_EQ(lab, first);
    ASSERT_NE(lab->Engine(), nullptr);
    std::vector<PackedColour> again(64);
    window.Image1->Picture->CopyPixels(again.data());
    const double* magnitudes = lab->Engine()->Magnitudes(lab::Side::Left);
    double sum = 0.0;
    for (PackedColour p : again)
        sum += double(p);
    EXPECT_EQ(magnitudes[0], sum) << "the lab shows the picture opened while it was closed";
}

}  // namespace
