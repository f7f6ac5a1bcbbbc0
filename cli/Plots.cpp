// Line plots for the equalising report: axes, ticks, labels, legend.
#include "Plots.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int Width = 1000, Height = 640;
constexpr int Few = 12;  // pictures named in a legend at most

QFont PlotFont(int pixels, bool bold = false)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// One colour a picture, hues spread round the wheel, dark enough on white.
QColor Colour(std::size_t k, std::size_t count)
{
    return QColor::fromHsv(int((k * 360) / std::max<std::size_t>(count, 1)) % 360, 230, count == 1 ? 0 : 190);
}

// "10⁻³", "10", "100", "10⁴": a power of ten as a label.
QString Decade(int power)
{
    if (power >= 0 && power <= 3)
        return QString::number(std::pow(10.0, power), 'f', 0);
    static const char16_t digits[] = u"⁰¹²³⁴⁵⁶⁷⁸⁹";
    QString exponent = QString::number(std::abs(power));
    for (QChar& c : exponent)
        c = QChar(digits[c.unicode() - '0']);
    return QStringLiteral("10") + (power < 0 ? QStringLiteral("⁻") : QString()) + exponent;
}

// A rectangle of the figure with axes mapping values to pixels.
struct Frame {
    QRectF area;
    double x0, x1, y0, y1;  // in axis units (log10 for logarithmic axes)
    QPointF At(double x, double y) const
    {
        return {area.left() + (x - x0) / (x1 - x0) * area.width(),
                area.bottom() - (y - y0) / (y1 - y0) * area.height()};
    }
};

void Title(QPainter& p, const QString& text)
{
    p.setFont(PlotFont(17, true));
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 8, Width, 28), Qt::AlignHCenter | Qt::AlignVCenter, text);
}

// The box, tick marks with labels at `ticks` (value, label; minor when the
// label is empty), the axis names along the bottom and up the left.
void Axes(QPainter& p, const Frame& f, const std::vector<std::pair<double, QString>>& xTicks,
          const std::vector<std::pair<double, QString>>& yTicks, const QString& xName, const QString& yName)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(225, 225, 225), 1));
    for (const auto& [x, label] : xTicks)
        if (!label.isEmpty())
            p.drawLine(f.At(x, f.y0), f.At(x, f.y1));
    for (const auto& [y, label] : yTicks)
        if (!label.isEmpty())
            p.drawLine(f.At(f.x0, y), f.At(f.x1, y));
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(f.area);
    p.setFont(PlotFont(13));
    const QFontMetrics metrics(p.font());
    for (const auto& [x, label] : xTicks) {
        const QPointF at = f.At(x, f.y0);
        p.drawLine(at, at + QPointF(0, label.isEmpty() ? 4 : 7));
        if (!label.isEmpty())
            p.drawText(QRectF(at.x() - 40, at.y() + 9, 80, 18), Qt::AlignHCenter | Qt::AlignTop, label);
    }
    for (const auto& [y, label] : yTicks) {
        const QPointF at = f.At(f.x0, y);
        p.drawLine(at, at - QPointF(label.isEmpty() ? 4 : 7, 0));
        if (!label.isEmpty())
            p.drawText(QRectF(at.x() - 70, at.y() - 9, 60, 18), Qt::AlignRight | Qt::AlignVCenter, label);
    }
    p.setFont(PlotFont(14));
    p.drawText(QRectF(f.area.left(), f.area.bottom() + 30, f.area.width(), 22), Qt::AlignHCenter, xName);
    p.save();
    p.translate(f.area.left() - 62, f.area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-f.area.height() / 2, -22, f.area.height(), 22), Qt::AlignHCenter | Qt::AlignBottom, yName);
    p.restore();
}

// Ticks of a logarithmic axis from 10^a0 to 10^a1 (in log10 units):
// labelled decades, unlabelled 2..9 between them.
std::vector<std::pair<double, QString>> LogTicks(double a0, double a1)
{
    std::vector<std::pair<double, QString>> ticks;
    for (int d = int(std::floor(a0)); d <= int(std::ceil(a1)); ++d)
        for (int m = 1; m <= 9; ++m) {
            const double t = d + std::log10(double(m));
            if (t >= a0 - 1e-9 && t <= a1 + 1e-9)
                ticks.emplace_back(t, m == 1 ? Decade(d) : QString());
        }
    return ticks;
}

// A legend box in a corner of the frame, top right or bottom left: (pen,
// text) rows.
void Legend(QPainter& p, const Frame& f, const std::vector<std::pair<QPen, QString>>& rows, bool bottomLeft = false)
{
    if (rows.empty())
        return;
    p.setFont(PlotFont(13));
    const QFontMetrics metrics(p.font());
    int textWidth = 0;
    for (const auto& row : rows)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(row.second));
    const double rowHeight = 19, w = textWidth + 54, h = rows.size() * rowHeight + 10;
    const QRectF box = bottomLeft ? QRectF(f.area.left() + 10, f.area.bottom() - h - 10, w, h)
                                  : QRectF(f.area.right() - w - 10, f.area.top() + 10, w, h);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(160, 160, 160), 1));
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawRect(box);
    p.setBrush(Qt::NoBrush);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double y = box.top() + 5 + (i + 0.5) * rowHeight;
        p.setPen(rows[i].first);
        if (rows[i].first.style() != Qt::NoPen)
            p.drawLine(QPointF(box.left() + 8, y), QPointF(box.left() + 38, y));
        p.setPen(Qt::black);
        p.drawText(QRectF(box.left() + 46, y - rowHeight / 2, textWidth + 4, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   rows[i].second);
    }
}

QImage Blank()
{
    QImage image(Width, Height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QString Slope(double slope)
{
    return std::isfinite(slope) ? QString::number(slope, 'f', 2).replace('-', QChar(0x2212)) : QStringLiteral("none");
}

}  // namespace

QImage SpectraPlot(const std::vector<std::vector<double>>& before,
                   const std::vector<std::vector<double>>& after, double slopeBefore,
                   double slopeAfter, const QStringList& names)
{
    QImage image = Blank();
    QPainter p(&image);
    Title(p, QStringLiteral("Rotational spectra: before (thin) and after (bold)"));
    std::size_t rings = 0;
    double low = INFINITY, high = -INFINITY;
    for (const auto* set : {&before, &after})
        for (const std::vector<double>& s : *set) {
            rings = std::max(rings, s.size());
            for (std::size_t r = 1; r < s.size(); ++r)
                if (s[r] > 0.0) {
                    low = std::min(low, std::log10(s[r]));
                    high = std::max(high, std::log10(s[r]));
                }
        }
    if (rings < 2 || !(high >= low)) {
        low = 0.0;
        high = 1.0;
        rings = std::max<std::size_t>(rings, 3);
    }
    const double margin = std::max(0.05 * (high - low), 0.05);
    const Frame f{QRectF(100, 50, Width - 130, Height - 140), 0.0, std::max(std::log10(double(rings - 1)), 0.3),
                  low - margin, high + margin};
    Axes(p, f, LogTicks(f.x0, f.x1), LogTicks(f.y0, f.y1),
         QStringLiteral("spatial frequency (cycles per picture)"),
         QStringLiteral("rotational mean amplitude"));
    p.setClipRect(f.area);
    p.setRenderHint(QPainter::Antialiasing, true);
    const auto draw = [&](const std::vector<std::vector<double>>& set, double width, int alpha) {
        for (std::size_t k = 0; k < set.size(); ++k) {
            QPainterPath path;
            bool open = false;
            for (std::size_t r = 1; r < set[k].size(); ++r) {
                if (!(set[k][r] > 0.0)) {
                    open = false;
                    continue;
                }
                const QPointF at = f.At(std::log10(double(r)), std::log10(set[k][r]));
                if (open)
                    path.lineTo(at);
                else
                    path.moveTo(at);
                open = true;
            }
            QColor c = Colour(k, set.size());
            c.setAlpha(alpha);
            p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(path);
        }
    };
    draw(before, 1.0, 170);
    draw(after, 2.6, 255);
    p.setClipping(false);
    std::vector<std::pair<QPen, QString>> rows = {
        {QPen(Qt::black, 1.0), QStringLiteral("before, fitted slope %1").arg(Slope(slopeBefore))},
        {QPen(Qt::black, 2.6), QStringLiteral("after, fitted slope %1").arg(Slope(slopeAfter))}};
    if (names.size() <= Few)
        for (int k = 0; k < names.size(); ++k)
            rows.emplace_back(QPen(Colour(std::size_t(k), std::size_t(names.size())), 2.6), names[k]);
    else
        rows.emplace_back(QPen(Qt::NoPen), QStringLiteral("%1 pictures, one colour each").arg(names.size()));
    Legend(p, f, rows, true);
    return image;
}

QImage HistogramPlot(const std::vector<std::array<std::uint32_t, 256>>& before,
                     const std::vector<std::array<std::uint32_t, 256>>& after, const QStringList& names,
                     bool masked)
{
    QImage image = Blank();
    QPainter p(&image);
    Title(p, masked ? QStringLiteral("Histograms of the pixels inside the mask: before and after")
                    : QStringLiteral("Histograms: before and after"));
    std::uint32_t top = 1;
    for (const auto* set : {&before, &after})
        for (const auto& h : *set)
            top = std::max(top, *std::max_element(h.begin(), h.end()));
    // Round ticks of the count axis: 1, 2 or 5 times a power of ten, at most 8.
    double step = 0.0;
    for (double e = 1.0; step == 0.0; e *= 10.0)
        for (const double m : {1.0, 2.0, 5.0})
            if (step == 0.0 && top / (m * e) <= 8.0)
                step = m * e;
    const double y1 = std::ceil(top / step) * step;
    const int gap = 90, panelWidth = (Width - 130 - gap) / 2;
    for (int panel = 0; panel < 2; ++panel) {
        const auto& set = panel == 0 ? before : after;
        const Frame f{QRectF(100 + panel * (panelWidth + gap), 70, panelWidth, Height - 160), -0.5, 255.5, 0.0, y1};
        std::vector<std::pair<double, QString>> xTicks, yTicks;
        for (int l = 0; l <= 255; l += 32)
            xTicks.emplace_back(l, QString::number(l));
        xTicks.emplace_back(255, QStringLiteral("255"));
        for (double y = 0; y <= y1 + step / 2; y += step)
            yTicks.emplace_back(y, QString::number(y, 'f', 0));
        Axes(p, f, xTicks, yTicks, QStringLiteral("gray level"), panel == 0 ? QStringLiteral("pixels") : QString());
        p.setFont(PlotFont(15, true));
        p.drawText(QRectF(f.area.left(), f.area.top() - 24, f.area.width(), 20), Qt::AlignHCenter,
                   panel == 0 ? QStringLiteral("before") : QStringLiteral("after"));
        p.setClipRect(f.area);
        p.setRenderHint(QPainter::Antialiasing, true);
        for (std::size_t k = 0; k < set.size(); ++k) {
            QPainterPath path;
            for (int l = 0; l < 256; ++l) {
                const QPointF at = f.At(l, set[k][std::size_t(l)]);
                if (l == 0)
                    path.moveTo(at);
                else
                    path.lineTo(at);
            }
            p.setPen(QPen(Colour(k, set.size()), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(path);
        }
        p.setClipping(false);
        if (panel == 1) {
            std::vector<std::pair<QPen, QString>> rows;
            if (names.size() <= Few)
                for (int k = 0; k < names.size(); ++k)
                    rows.emplace_back(QPen(Colour(std::size_t(k), std::size_t(names.size())), 2.0), names[k]);
            else
                rows.emplace_back(QPen(Qt::NoPen), QStringLiteral("%1 pictures, one colour each").arg(names.size()));
            Legend(p, f, rows);
        }
    }
    return image;
}

std::vector<std::uint8_t> RgbBytes(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    std::vector<std::uint8_t> bytes(std::size_t(rgb.width()) * std::size_t(rgb.height()) * 3);
    for (int y = 0; y < rgb.height(); ++y)
        std::copy(rgb.constScanLine(y), rgb.constScanLine(y) + std::size_t(rgb.width()) * 3,
                  bytes.begin() + std::ptrdiff_t(std::size_t(y) * std::size_t(rgb.width()) * 3));
    return bytes;
}
