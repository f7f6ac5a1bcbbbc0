// korvanith-cli lab: the lab's ten tiles as PNG files and its table as JSON.
#include "Lab.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "Common.h"
#include "Sides.h"
#include "lab/PhaseLab.h"
#include "platform/SaveFiles.h"

namespace cli {
namespace {

const std::pair<const char*, lab::Side> Sides[] = {{"left", lab::Side::Left},
                                                   {"right", lab::Side::Right}};
const std::pair<const char*, lab::Tile> Tiles[] = {{"magnitude", lab::Tile::Magnitude},
                                                   {"phase", lab::Tile::Phase},
                                                   {"magnitude-only", lab::Tile::MagnitudeOnly},
                                                   {"phase-only", lab::Tile::PhaseOnly},
                                                   {"mix", lab::Tile::Mix}};
const std::pair<const char*, lab::Rebuild> Rows[] = {{"normal", lab::Rebuild::Normal},
                                                     {"swap", lab::Rebuild::Swap},
                                                     {"mix", lab::Rebuild::Mix},
                                                     {"magnitude_only", lab::Rebuild::MagnitudeOnly},
                                                     {"phase_only", lab::Rebuild::PhaseOnly}};
const char TableName[] = "resemblance.json";

// A number as JSON holds it: the shortest text that reads back to the same
// double, and 0 rather than -0.
QJsonValue Number(double value) { return QJsonValue(value == 0.0 ? 0.0 : value); }

// For each side's magnitude, each rebuild's correlation with the left and
// the right picture (null where undefined).
QByteArray ResemblanceJson(const lab::PhaseLab& engine)
{
    const auto r = [](const std::optional<double>& value) {
        return value ? Number(*value) : QJsonValue(QJsonValue::Null);
    };
    QJsonObject table{{"width", engine.Width()},
                      {"height", engine.Height()},
                      {"mix", Number(engine.Mix())}};
    for (const auto& [sideName, side] : Sides) {
        QJsonObject rows;
        for (const auto& [rowName, rebuild] : Rows)
            rows.insert(rowName,
                        QJsonObject{{"left", r(engine.Resemblance(side, rebuild, lab::Side::Left))},
                                    {"right", r(engine.Resemblance(side, rebuild, lab::Side::Right))}});
        table.insert(sideName, rows);
    }
    return QJsonDocument(table).toJson(QJsonDocument::Indented);
}

}  // namespace

std::vector<LabPicture> LabPictures()
{
    std::vector<LabPicture> pictures;
    for (const auto& [sideName, side] : Sides)
        for (const auto& [tileName, tile] : Tiles)
            pictures.push_back({std::string(sideName) + "-" + tileName + ".png", side, tile});
    return pictures;
}

std::vector<std::string> LabFileNames()
{
    std::vector<std::string> names;
    for (const LabPicture& picture : LabPictures())
        names.push_back(picture.name);
    names.push_back(TableName);
    return names;
}

int Lab(const LabOptions& options)
{
    Pair pair;
    OpenPair(pair, options.left, options.right);
    const TPairSizes sizes = PairSizes(&pair.left, &pair.right);
    const std::optional<TCropSize> centre = lab::CommonCentre(sizes);
    if (centre && options.crop) {
        CropSide(&pair.left, &pair.leftResult, *centre);
        CropSide(&pair.right, &pair.rightResult, *centre);
    } else if (!lab::LabPairFits(sizes)) {
        throw Exception("Cannot open the lab: the left picture is " +
                        SizeText(sizes.leftWidth, sizes.leftHeight) + " and the right picture is " +
                        SizeText(sizes.rightWidth, sizes.rightHeight) +
                        ". Both pictures must be loaded and have the same size." +
                        (centre ? CropRemedy(*centre) : std::string()));
    }
    const int W = pair.left.GetWidth(), H = pair.left.GetHeight();
    lab::PhaseLab::CheckMemory(W, H);
    std::vector<PackedColour> left(std::size_t(W) * H), right(std::size_t(W) * H);
    pair.left.CopyPixels(left.data());
    pair.right.CopyPixels(right.data());
    // The check above counts what the lab holds; the system may still refuse.
    std::unique_ptr<lab::PhaseLab> opened;
    try {
        opened = std::make_unique<lab::PhaseLab>(left.data(), right.data(), W, H, options.mix);
    } catch (const std::bad_alloc&) {
        throw Exception("Not enough memory for the lab at " + SizeText(W, H) + ".");
    }
    const lab::PhaseLab& engine = *opened;

    const QDir folder(QString::fromStdString(options.folder));
    TMadeFolders made(options.folder);
    {
        TSaveGroup files;
        for (const LabPicture& picture : LabPictures()) {
            const lab::TilePixels pixels = engine.Pixels(picture.side, picture.tile);
            files.AddPixels(folder.filePath(QString::fromStdString(picture.name)).toStdString(),
                            pixels.width, pixels.height, pixels.channels, pixels.bytes);
        }
        files.AddText(folder.filePath(TableName).toStdString(),
                      ResemblanceJson(engine).toStdString());
        files.Commit();
    }
    made.Keep();
    return 0;
}

}  // namespace cli
