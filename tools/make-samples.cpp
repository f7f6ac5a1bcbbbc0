// korvanith-make-samples: draws the sample picture pairs of samples/ into a folder.
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QTransform>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const char Usage[] = "Usage: korvanith-make-samples FOLDER\n"
                     "Draws Korvanith's sample pictures (256x256, 8-bit gray PNG) into FOLDER.\n";

const char FontFile[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

constexpr int Side = 256;

// Light shapes on a mid-gray ground rather than white on black: the swapped
// results then sit clear of zero, where the window's logarithmic gray does
// not wrap around, and read as clean pictures instead of speckle.
const QColor Paper(96, 96, 96);
const QColor Ink(224, 224, 224);

// Letters are filled as outlines, unhinted, so that the pixels depend on the
// font file and the rasteriser only, not on the font configuration.
QFont Lettering;

// Fills the text centred on centre, scaled to the given width.
void Text(QPainter& p, const QString& text, double width, QPointF centre)
{
    QFont font = Lettering;
    font.setPixelSize(100);
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF box = path.boundingRect();
    const double scale = width / box.width();
    QTransform fit;
    fit.translate(centre.x(), centre.y());
    fit.scale(scale, scale);
    fit.translate(-box.center().x(), -box.center().y());
    p.fillPath(fit.map(path), Ink);
}

QPolygonF Star(QPointF centre, double outer, double inner, int points)
{
    QPolygonF star;
    for (int i = 0; i < 2 * points; ++i) {
        const double angle = M_PI * i / points - M_PI / 2;
        const double r = i % 2 ? inner : outer;
        star << centre + QPointF(r * std::cos(angle), r * std::sin(angle));
    }
    return star;
}

// Pairs for "Swap phase": after the swap each result shows the shapes of the
// picture whose phase it got.

void TextLeft(QPainter& p)
{
    p.fillRect(0, 0, Side, Side, Paper);
    Text(p, "PHASE", 224, {128, 128});
}

void TextRight(QPainter& p)
{
    p.fillRect(0, 0, Side, Side, Paper);
    Text(p, "KORV", 208, {128, 128});
}

void ShapesLeft(QPainter& p)
{
    p.fillRect(0, 0, Side, Side, Paper);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(72, 72), 48, 48);
    p.drawRect(150, 30, 80, 80);
    p.drawPolygon(QPolygonF({{40, 230}, {110, 140}, {180, 230}}));
    p.drawRect(200, 140, 30, 100);
}

void ShapesRight(QPainter& p)
{
    p.fillRect(0, 0, Side, Side, Paper);
    p.setPen(QPen(Ink, 14));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(176, 176), 56, 56);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawPolygon(Star({76, 76}, 60, 24, 5));
    p.drawRect(20, 180, 110, 24);
    p.drawRect(190, 20, 24, 90);
}

void FaceLeft(QPainter& p)
{
    p.fillRect(0, 0, Side, Side, Paper);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(128, 132), 96, 112);
    p.setBrush(Paper);
    p.drawEllipse(QPointF(92, 104), 18, 12);
    p.drawEllipse(QPointF(164, 104), 18, 12);
    p.drawPolygon(QPolygonF({{128, 118}, {116, 162}, {140, 162}}));
    QPainterPath mouth;
    mouth.moveTo(84, 188);
    mouth.quadTo(128, 226, 172, 188);
    mouth.quadTo(128, 206, 84, 188);
    p.drawPath(mouth);
}

void FaceRight(QPainter& p)
{
    p.fillRect(0, 0, Side, Side, Paper);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    // A house: walls, a roof, a door and two windows cut out.
    p.drawRect(48, 120, 160, 120);
    p.drawPolygon(QPolygonF({{28, 124}, {128, 28}, {228, 124}}));
    p.setBrush(Paper);
    p.drawRect(110, 170, 36, 70);
    p.drawRect(66, 140, 30, 30);
    p.drawRect(160, 140, 30, 30);
}

// The pair where the magnitude carries more: regular textures whose spectra
// are a few sharp peaks; after the swap each result keeps its own texture.

void TextureLeft(QPainter& p)
{
    p.fillRect(0, 0, Side, Side, Paper);
    for (int x = 0; x < Side; x += 16)
        p.fillRect(x, 0, 8, Side, Ink);
}

void TextureRight(QPainter& p)
{
    p.fillRect(0, 0, Side, Side, Paper);
    for (int y = 0; y < Side; y += 32)
        for (int x = 0; x < Side; x += 32)
            if ((x / 32 + y / 32) % 2 == 0)
                p.fillRect(x, y, 32, 32, Ink);
}

struct Sample {
    const char* name;
    std::function<void(QPainter&)> draw;
};

// The toolkit's notes about the environment are not for the user of this tool.
void QuietToolkit(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "korvanith-make-samples: %s\n", qPrintable(message));
}

const Sample Samples[] = {
    {"text-left.png", TextLeft},       {"text-right.png", TextRight},
    {"shapes-left.png", ShapesLeft},   {"shapes-right.png", ShapesRight},
    {"face-left.png", FaceLeft},       {"face-right.png", FaceRight},
    {"texture-left.png", TextureLeft}, {"texture-right.png", TextureRight},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(Usage, argc == 2 && QString(argv[1]) == "--help" ? stdout : stderr);
        return argc == 2 && QString(argv[1]) == "--help" ? 0 : 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietToolkit);
    QGuiApplication toolkit(argc, argv);

    const int id = QFontDatabase::addApplicationFont(FontFile);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (id < 0 || families.isEmpty()) {
        std::fprintf(stderr, "korvanith-make-samples: cannot load the font %s (install fonts-dejavu-core)\n",
                     FontFile);
        return 1;
    }
    Lettering = QFont(families.first());
    Lettering.setBold(true);
    Lettering.setHintingPreference(QFont::PreferNoHinting);
    Lettering.setKerning(false);

    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (const Sample& sample : Samples) {
        QImage picture(Side, Side, QImage::Format_RGB32);
        {
            QPainter painter(&picture);
            painter.setRenderHint(QPainter::Antialiasing);
            sample.draw(painter);
        }
        const QString path = folder + '/' + sample.name;
        if (!picture.convertToFormat(QImage::Format_Grayscale8).save(path, "PNG")) {
            std::fprintf(stderr, "korvanith-make-samples: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
