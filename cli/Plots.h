// The equalising report's two figures, drawn with QPainter on 8-bit RGB.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <QImage>
#include <QStringList>

// The rotational mean amplitude of each picture against spatial frequency
// (rings 1 .. R, cycles per picture) on log-log axes: before as thin lines,
// after as bold ones in the same colour a picture; the legend gives the set's
// fitted slopes (NaN: "none"), and the pictures' names when there are few.
QImage SpectraPlot(const std::vector<std::vector<double>>& before,
                   const std::vector<std::vector<double>>& after, double slopeBefore,
                   double slopeAfter, const QStringList& names);

// Each picture's histogram, before in the left panel and after in the right,
// on one scale of counts; `masked` says that the counts are of the mask's
// pixels.
QImage HistogramPlot(const std::vector<std::array<std::uint32_t, 256>>& before,
                     const std::vector<std::array<std::uint32_t, 256>>& after, const QStringList& names,
                     bool masked);

// The picture's pixels as rows of R, G, B bytes without padding.
std::vector<std::uint8_t> RgbBytes(const QImage& picture);
