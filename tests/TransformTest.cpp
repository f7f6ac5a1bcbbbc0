// The transform command on a window: results in both modes, against a slow
// reference and against what the pictures must look like, and every refusal.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "phase/Levels.h"
#include "LiteralCommand.h"
#include "Sides.h"
#include "Unit1.h"
#include "fourier/FourierTransform.h"

namespace {

using fixtures::Folder;
using fixtures::Pixels;
using fixtures::RandomColour;
using fixtures::RandomGray;

// The whole command the slow way (LiteralCommand.h), on to gray levels.
struct Reference {
    std::vector<PackedColour> left, right;
};

Reference Expected(const std::vector<PackedColour>& leftIn, const std::vector<PackedColour>& rightIn,
                   int W, int H, bool swap)
{
    const literal::CommandGrids grids = literal::Command(leftIn, rightIn, W, H, swap);
    const auto level = [swap](double v) {
        return levels::Gray(swap ? levels::Logarithmic(v, 105.0) : levels::Linear(v));
    };
    Reference out;
    for (std::size_t k = 0; k < std::size_t(W) * H; ++k) {
        out.left.push_back(level(grids.left[2 * k + 1]));
        out.right.push_back(level(grids.right[2 * k + 1]));
    }
    return out;
}

QImage Black(int W, int H) { return fixtures::GrayPicture(W, H, [](int, int) { return 0; }); }

class TransformCommand : public ::testing::Test {
protected:
    // As the open actions do: the input and the result picture below it.
    void Open(const QImage& left, const QImage& right)
    {
        if (!left.isNull())
            OpenSide(window.Image1->Picture, window.Image3->Picture, folder.Save(left, "left.png"));
        if (!right.isNull())
            OpenSide(window.Image2->Picture, window.Image4->Picture, folder.Save(right, "right.png"));
    }
    void Run(int mode)
    {
        window.RadioGroup1->SetItemIndex(mode);
        window.RunTransform();
    }
    void ExpectReference(bool swap)
    {
        const Reference expected =
            Expected(Pixels(window.Image1), Pixels(window.Image2),
                     window.Image1->Picture->GetWidth(), window.Image1->Picture->GetHeight(), swap);
        EXPECT_EQ(Pixels(window.Image3), expected.left) << "left result";
        EXPECT_EQ(Pixels(window.Image4), expected.right) << "right result";
    }

    Folder folder;
    TKorvanith window{Application};
};

TEST_F(TransformCommand, StartsInNormalPhase) { EXPECT_EQ(window.RadioGroup1->GetItemIndex(), 0); }

TEST_F(TransformCommand, EqualsTheSlowReferenceInBothModes)
{
    struct Case {
        const char* name;
        int W, H;
        bool swap;
    };
    for (const Case& c : {Case{"square normal", 16, 16, false}, Case{"square swap", 16, 16, true},
                          Case{"wide swap", 32, 4, true}, Case{"tall normal", 2, 64, false},
                          Case{"one pixel swap", 1, 1, true}, Case{"one row normal", 8, 1, false},
                          Case{"one column swap", 1, 8, true}}) {
        SCOPED_TRACE(c.name);
        Open(RandomColour(c.W, c.H, 1), RandomGray(c.W, c.H, 2));
        Run(c.swap ? 1 : 0);
        ExpectReference(c.swap);
    }
}

TEST_F(TransformCommand, NormalPhaseGivesGrayLevelsBackOrOneDarker)
{
    const QImage left = RandomGray(32, 16, 3), right = RandomGray(32, 16, 4);
    Open(left, right);
    Run(0);
    for (auto [input, result] : {std::pair{window.Image1, window.Image3}, {window.Image2, window.Image4}}) {
        const auto in = Pixels(input), out = Pixels(result);
        int darker = 0;
        for (std::size_t k = 0; k < in.size(); ++k) {
            const int g = in[k] & 0xff;
            const int b = out[k] & 0xff;
            EXPECT_EQ(out[k], b * 65793) << "pixel " << k << " is not gray";
            EXPECT_TRUE(b == g || (g > 0 && b == g - 1)) << "pixel " << k << ": " << g << " -> " << b;
            darker += b != g;
        }
        EXPECT_LT(darker, int(in.size())) << "every level came back one darker";
    }
}

TEST_F(TransformCommand, NormalPhaseGivesColourBackAsItsRedChannel)
{
    Open(RandomColour(16, 16, 5), RandomColour(16, 16, 6));
    Run(0);
    const auto in = Pixels(window.Image1), out = Pixels(window.Image3);
    for (std::size_t k = 0; k < in.size(); ++k) {
        const int red = in[k] & 0xff;
        const int b = out[k] & 0xff;
        // a hair below the packed value truncates one lower: red 0 wraps to white
        EXPECT_TRUE(b == red || b == ((red + 255) & 0xff)) << "pixel " << k;
    }
}

TEST_F(TransformCommand, SwapWithIdenticalInputsShowsOwnReconstructionLogarithmically)
{
    const QImage picture = RandomGray(16, 8, 7);
    Open(picture, picture);
    Run(1);
    const auto in = Pixels(window.Image1);
    const auto left = Pixels(window.Image3), right = Pixels(window.Image4);
    EXPECT_EQ(left, right);
    for (std::size_t k = 0; k < in.size(); ++k) {
        const double exact = double(in[k]);
        const int b = left[k] & 0xff;
        EXPECT_TRUE(b == levels::Logarithmic(exact, 105.0) ||
                    b == levels::Logarithmic(exact - 1, 105.0))
            << "pixel " << k;
    }
}

TEST_F(TransformCommand, BlackPicturesGiveBlackResults)
{
    for (int mode : {0, 1}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        Open(Black(8, 8), Black(8, 8));
        Run(mode);
        EXPECT_EQ(Pixels(window.Image3), std::vector<PackedColour>(64, 0));
        EXPECT_EQ(Pixels(window.Image4), std::vector<PackedColour>(64, 0));

        Open(Black(8, 8), RandomGray(8, 8, 8));  // one black: its own result is black
        Run(mode);
        EXPECT_EQ(Pixels(window.Image3), std::vector<PackedColour>(64, 0));
        ExpectReference(mode == 1);
    }
}

TEST_F(TransformCommand, SecondRunPaintsTheSamePixels)
{
    Open(RandomGray(16, 16, 9), RandomColour(16, 16, 10));
    Run(1);
    const auto left = Pixels(window.Image3), right = Pixels(window.Image4);
    Run(1);
    EXPECT_EQ(Pixels(window.Image3), left);
    EXPECT_EQ(Pixels(window.Image4), right);
}

TEST_F(TransformCommand, PaintsOnlyTheResultsAndRestoresTheCursor)
{
    Open(RandomGray(8, 8, 11), RandomGray(8, 8, 12));
    const auto left = Pixels(window.Image1), right = Pixels(window.Image2);
    Run(1);
    EXPECT_EQ(Pixels(window.Image1), left);
    EXPECT_EQ(Pixels(window.Image2), right);
    EXPECT_EQ(Screen->GetCursor(), crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(TransformCommand, EachRendererPaintsOnlyItsTarget)
{
    Open(RandomGray(4, 4, 13), RandomGray(4, 4, 14));
    std::vector<double> grid(2 * 16 + 1, 0.0);
    for (std::size_t k = 0; k < 16; ++k)
        grid[2 * k + 1] = double(k) * 20.0;
    const auto left = Pixels(window.Image3);
    window.ShowLinear(grid.data(), true, 105.0);
    EXPECT_EQ(Pixels(window.Image3), left);
    EXPECT_EQ(Pixels(window.Image4)[5], 100 * 65793);
    window.ShowLog(grid.data(), false, 105.0);
    EXPECT_EQ(Pixels(window.Image3)[1], levels::Gray(levels::Logarithmic(20.0, 105.0)));
}

// --- the platform's mathematical functions --------------------------------------

// A fingerprint of the platform's sin, cos, atan2 and log over many
// arguments: it tells which of glibc's variants of them runs.
std::uint64_t MathFingerprint()
{
    std::uint64_t hash = 14695981039346656037u;
    for (int i = 1; i < 20000; ++i) {
        const double x = i * 0.0123456 - 123.0;
        for (const double v : {std::sin(x), std::cos(x), std::atan2(x, 1.7), std::log(std::fabs(x) + 1)}) {
            std::uint64_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            hash = (hash ^ bits) * 1099511628211u;
        }
    }
    return hash;
}

// Run under another variant, the test program writes the fingerprint of the
// variant it ran with where KORVANITH_MATH_FINGERPRINT says.
class WritesMathFingerprint : public ::testing::Environment {
    void SetUp() override
    {
        const QString path = qEnvironmentVariable("KORVANITH_MATH_FINGERPRINT");
        QFile file(path);
        if (!path.isEmpty() && file.open(QIODevice::WriteOnly))
            file.write(QByteArray::number(qulonglong(MathFingerprint()), 16));
    }
};
const auto* const fingerprintWriter = ::testing::AddGlobalTestEnvironment(new WritesMathFingerprint);

bool ProcessorHas(const char* flag)
{
    QFile cpuinfo("/proc/cpuinfo");
    if (!cpuinfo.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : cpuinfo.readAll().split('\n'))
        if (line.startsWith("flags"))
            return line.split(' ').contains(flag);
    return false;
}

// The pixels are exact for the platform's sin, cos, atan2 and log, and glibc
// picks a variant of these by processor (with fused multiply-add or without).
// Forced onto the other variant, the command must still equal the slow
// reference run under that same variant.
TEST(OtherMathVariant, CommandStillEqualsTheSlowReferenceUnderIt)
{
    if (!ProcessorHas("fma"))
        GTEST_SKIP() << "this processor has no fused multiply-add: glibc has no other variant to force";
    Folder folder;
    const QString fingerprint = folder.Path("fingerprint");
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("GLIBC_TUNABLES", "glibc.cpu.hwcaps=-FMA,-AVX2");
    environment.insert("KORVANITH_MATH_FINGERPRINT", fingerprint);
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationFilePath(),
                  {"--gtest_filter=TransformCommand.EqualsTheSlowReferenceInBothModes:"
                   "TransformCommand.BlackPicturesGiveBlackResults"});
    ASSERT_TRUE(process.waitForFinished(120000));
    const std::string output = process.readAllStandardOutput().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 2 tests."), std::string::npos) << output;
    QFile written(fingerprint);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << "the run under the other variant wrote no fingerprint";
    EXPECT_NE(written.readAll(), QByteArray::number(qulonglong(MathFingerprint()), 16))
        << "the other variant was not taken: the run compared nothing new";
}

// --- refusals ------------------------------------------------------------------

struct Refusal {
    const char* name;
    QImage left, right;
    std::vector<std::string> said;  // parts of the message
    const char* crop;               // the size the message offers to crop both to; "" for none
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class RefusedTransform : public TransformCommand, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedTransform, ChangesNothingAndSaysWhy)
{
    const Refusal& c = GetParam();
    Open(c.left, c.right);
    const std::vector<std::vector<PackedColour>> before = {
        Pixels(window.Image1), Pixels(window.Image2), Pixels(window.Image3), Pixels(window.Image4)};
    for (int mode : {0, 1}) {
        window.RadioGroup1->SetItemIndex(mode);
        const std::string message = fixtures::RefusalOf([&] { window.RunTransform(); });
        for (const std::string& part : c.said)
            EXPECT_NE(message.find(part), std::string::npos) << message;
        EXPECT_NE(message.find("power of two"), std::string::npos) << message;
        const std::string remedy = std::string("choose \"Crop both to ") + c.crop + "\".";
        EXPECT_EQ(message.find("Crop both") != std::string::npos, *c.crop != 0) << message;
        if (*c.crop) {
            EXPECT_EQ(message.substr(message.size() - std::min(message.size(), remedy.size())), remedy);
        }
        EXPECT_EQ(Screen->GetCursor(), crDefault);
    }
    const std::vector<std::vector<PackedColour>> after = {
        Pixels(window.Image1), Pixels(window.Image2), Pixels(window.Image3), Pixels(window.Image4)};
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, RefusedTransform,
    ::testing::Values(
        Refusal{"nothing_loaded", {}, {}, {"left picture is not loaded", "right picture is not loaded"}, ""},
        Refusal{"left_missing", {}, Black(8, 8), {"left picture is not loaded", "8\u00d78"}, ""},
        Refusal{"right_missing", Black(8, 8), {}, {"8\u00d78", "right picture is not loaded"}, ""},
        Refusal{"sizes_differ", Black(8, 8), Black(16, 8), {"8\u00d78", "16\u00d78"}, "8\u00d78"},
        Refusal{"sides_swapped", Black(4, 8), Black(8, 4), {"4\u00d78", "8\u00d74"}, "4\u00d74"},
        Refusal{"width_not_power_of_two", Black(12, 8), Black(12, 8), {"12\u00d78"}, "8\u00d78"},
        Refusal{"height_not_power_of_two", Black(8, 3), Black(8, 3), {"8\u00d73"}, "8\u00d72"},
        Refusal{"right_larger", Black(8, 8), Black(9, 9), {"9\u00d79"}, "8\u00d78"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
