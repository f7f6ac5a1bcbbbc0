// The sample pictures: korvanith-make-samples redraws the committed files pixel for pixel,
// and their swapped results make the point the README makes of them.
#include <QDir>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

const QString Committed = QStringLiteral(KORVANITH_SAMPLES_DIR);
const QString Maker = QStringLiteral(KORVANITH_MAKE_SAMPLES);
const QString Cli = QStringLiteral(KORVANITH_CLI_PROGRAM);

// Which picture a swapped result resembles: the one whose phase it got, or
// its own (whose magnitude it kept).
enum class Carrier { Phase, Magnitude };

struct Pair {
    const char* name;
    Carrier carrier;
};

const Pair Pairs[] = {
    {"text", Carrier::Phase},
    {"shapes", Carrier::Phase},
    {"face", Carrier::Phase},
    {"texture", Carrier::Magnitude},
};

void PrintTo(const Pair& pair, std::ostream* os) { *os << pair.name; }

QString Left(const Pair& pair) { return QString(pair.name) + "-left.png"; }
QString Right(const Pair& pair) { return QString(pair.name) + "-right.png"; }

std::string RunProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1))
        return "cannot run " + program.toStdString() + ": " + process.errorString().toStdString();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program.toStdString() + " failed: " + process.readAllStandardError().toStdString();
    return {};
}

// The pictures are drawn once for all the tests, into a folder of their own.
class Samples : public ::testing::TestWithParam<Pair> {
protected:
    static void SetUpTestSuite()
    {
        drawn = std::make_unique<QTemporaryDir>();
        failure = RunProgram(Maker, {drawn->path()});
    }
    static void TearDownTestSuite() { drawn.reset(); }
    void SetUp() override { ASSERT_EQ(failure, "") << "drawing the samples"; }

    static std::unique_ptr<QTemporaryDir> drawn;
    static std::string failure;
};

std::unique_ptr<QTemporaryDir> Samples::drawn;
std::string Samples::failure;

// Describes the first difference between two pictures, or gives "".
std::string Difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return "sizes or formats differ";
    int count = 0;
    std::string first;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y) && count++ == 0)
                first = "first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    return count ? std::to_string(count) + " pixels differ, " + first : "";
}

TEST_P(Samples, RedrawnPixelForPixel)
{
    for (const QString& name : {Left(GetParam()), Right(GetParam())}) {
        SCOPED_TRACE(name.toStdString());
        const QImage committed(Committed + '/' + name);
        const QImage redrawn(drawn->filePath(name));
        ASSERT_FALSE(committed.isNull()) << "the committed picture does not load";
        ASSERT_FALSE(redrawn.isNull()) << "the picture was not drawn";
        EXPECT_EQ(committed.size(), QSize(256, 256));
        EXPECT_TRUE(committed.isGrayscale());
        EXPECT_EQ(Difference(committed, redrawn), "");
    }
}

// Pearson correlation of the gray levels of two pictures of the same size.
double Correlation(const QImage& a, const QImage& b)
{
    const double n = double(a.width()) * a.height();
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const double u = qGray(a.pixel(x, y));
            const double v = qGray(b.pixel(x, y));
            sa += u, sb += v, saa += u * u, sbb += v * v, sab += u * v;
        }
    return (sab - sa * sb / n) / std::sqrt((saa - sa * sa / n) * (sbb - sb * sb / n));
}

// The share of pixels that a cyclic shift by (dx, dy) changes.
double ShiftChange(const QImage& a, int dx, int dy)
{
    const int W = a.width();
    const int H = a.height();
    int changed = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            changed += a.pixel(x, y) != a.pixel((x + dx) % W, (y + dy) % H);
    return double(changed) / (double(W) * H);
}

// A texture's magnitude is a few peaks that fix which shifts leave it alone;
// the phase cannot move them. Shifts up to the textures' periods.
const QPoint Shifts[] = {{1, 0}, {0, 1}, {16, 0}, {0, 16}, {32, 32}, {64, 0}};
constexpr double Unchanged = 0.01;  // rounding may move a level across a wrap
constexpr double Changed = 0.10;

TEST_P(Samples, SwappedResultsResembleTheirCarrier)
{
    const Pair& pair = GetParam();
    QTemporaryDir out;
    const QImage left(Committed + '/' + Left(pair));
    const QImage right(Committed + '/' + Right(pair));
    ASSERT_EQ(RunProgram(Cli, {"--mode", "swap", Committed + '/' + Left(pair), Committed + '/' + Right(pair),
                               out.filePath("left.png"), out.filePath("right.png")}),
              "");
    const struct {
        const char* result;
        const QImage& own;    // kept its magnitude
        const QImage& other;  // gave its phase
    } results[] = {{"left.png", left, right}, {"right.png", right, left}};
    for (const auto& r : results) {
        SCOPED_TRACE(std::string(r.result) + " of the swapped pair");
        const QImage result(out.filePath(r.result));
        ASSERT_FALSE(result.isNull());
        if (pair.carrier == Carrier::Phase) {
            const double withOwn = Correlation(result, r.own);
            const double withOther = Correlation(result, r.other);
            EXPECT_GT(withOther, withOwn) << "correlation with its own picture " << withOwn;
            continue;
        }
        // The result repeats as its own texture does, not as the other.
        int checked = 0;
        for (const QPoint& shift : Shifts) {
            SCOPED_TRACE("shift " + std::to_string(shift.x()) + ", " + std::to_string(shift.y()));
            const bool own = ShiftChange(r.own, shift.x(), shift.y()) == 0;
            const bool other = ShiftChange(r.other, shift.x(), shift.y()) == 0;
            const double change = ShiftChange(result, shift.x(), shift.y());
            if (own) {
                EXPECT_LE(change, Unchanged);
            } else if (other) {
                EXPECT_GE(change, Changed);
            }
            checked += own || other;
        }
        EXPECT_GT(checked, 0) << "no shift leaves either texture alone: nothing was compared";
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, Samples, ::testing::ValuesIn(Pairs),
                         [](const auto& info) { return std::string(info.param.name); });

// A picture drawn but not committed, or committed but no longer drawn, is a
// sample the README and the package would not agree on.
TEST(SampleFolder, HoldsWhatTheMakerDraws)
{
    QTemporaryDir drawn;
    ASSERT_EQ(RunProgram(Maker, {drawn.path()}), "");
    QStringList expected;
    for (const Pair& pair : Pairs)
        expected << Left(pair) << Right(pair);
    expected.sort();
    const QStringList filters{"*"};
    EXPECT_EQ(QDir(drawn.path()).entryList(filters, QDir::Files, QDir::Name), expected);
    EXPECT_EQ(QDir(Committed).entryList(filters, QDir::Files, QDir::Name), expected);
}

}  // namespace
