// The phase lab's window: its tiles, its slider and its table, following the
// main window's two input pictures.
#include "Unit2.h"

#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Sides.h"
#include "lab/PhaseLab.h"
#include "stimuli/SplitMix64.h"
#include "ui_Unit2.h"

namespace {

// The legend's pixels: as wide as a tile may grow, stretched to the column.
constexpr int LegendWidth = 1024;

const lab::Rebuild Rows[] = {lab::Rebuild::Normal, lab::Rebuild::Swap, lab::Rebuild::Mix,
                             lab::Rebuild::MagnitudeOnly, lab::Rebuild::PhaseOnly};
const char* const RowTitles[] = {"Normal (own phase)", "Swap (the other's phase)", "Mix at \u03b1",
                                 "Magnitude only", "Phase only"};

// r with two decimals and a true minus sign; a dash where it is undefined.
AnsiString Figure(const std::optional<double>& r)
{
    if (!r)
        return "\u2014";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", *r);
    return text[0] == '-' ? "\u2212" + AnsiString(text + 1) : AnsiString(text);
}

AnsiString MixText(double alpha)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", alpha);
    return "Mix \u03b1 = " + AnsiString(text);
}

void Show(TPixelView* view, const lab::TilePixels& tile)
{
    view->SetPixels(tile.width, tile.height, tile.channels, tile.bytes);
}

}  // namespace

TPhaseLab::TPhaseLab(TComponent* Owner, TPicture* leftInput, TPicture* rightInput)
    : TForm(Owner), leftInput(leftInput), rightInput(rightInput)
{
    Ui::TPhaseLab form;
    form.setupUi(this);
    LeftMagnitude = form.LeftMagnitude;
    LeftPhase = form.LeftPhase;
    LeftMagnitudeOnly = form.LeftMagnitudeOnly;
    LeftPhaseOnly = form.LeftPhaseOnly;
    LeftMix = form.LeftMix;
    RightMagnitude = form.RightMagnitude;
    RightPhase = form.RightPhase;
    RightMagnitudeOnly = form.RightMagnitudeOnly;
    RightPhaseOnly = form.RightPhaseOnly;
    RightMix = form.RightMix;
    Legend = form.Legend;
    LegendCaption = form.LegendCaption;
    Message = form.Message;
    MixLabel = form.MixLabel;
    MixBar = form.MixBar;
    MixToward = form.MixToward;
    MixRule = form.MixRule;
    Seed = form.Seed;
    Resemblance = form.Resemblance;
    Loaded();

    const std::vector<std::uint8_t> legend = lab::PhaseLegend(LegendWidth, 1);
    Legend->SetFillsRoom(true);
    Legend->SetPixels(LegendWidth, 1, 3, legend.data());
    MixBar->SetRange(0, 100);
    MixBar->SetPosition(50);
    MixBar->OnChange = [this] { MixBarChange(); };
    MixBar->OnMove = [this] { MixBarMove(); };
    MixToward->OnClick = [this] { MixSettingsChange(); };
    MixRule->OnClick = [this] { MixSettingsChange(); };
    Seed->SetText("1");
    Seed->OnChange = [this] { MixSettingsChange(); };
    LegendCaption->SetMarks({"\u2212\u03c0", "0", "\u03c0"});
    Resemblance->SetSize(4, 5);
    const char* const columns[] = {"Left |F|: r with left", "Left |F|: r with right",
                                   "Right |F|: r with left", "Right |F|: r with right"};
    for (int c = 0; c < 4; ++c)
        Resemblance->SetColumnTitle(c, columns[c]);
    for (int r = 0; r < 5; ++r)
        Resemblance->SetRowTitle(r, RowTitles[r]);

    leftKey = leftInput->OnChange.Add([this] { InputsChanged(); });
    rightKey = rightInput->OnChange.Add([this] { InputsChanged(); });
}

TPhaseLab::~TPhaseLab()
{
    leftInput->OnChange.Remove(leftKey);
    rightInput->OnChange.Remove(rightKey);
}

// A crop changes both inputs, an open changes one: the lab looks once the
// event is over, so that it sees the pair as the event leaves it.
void TPhaseLab::InputsChanged()
{
    if (std::exchange(stale, true))
        return;
    Application->Post(this, [this] { Follow(); });
}

void TPhaseLab::Clear(const AnsiString& message)
{
    engine.reset();
    for (TPixelView* tile : {LeftMagnitude, LeftPhase, LeftMagnitudeOnly, LeftPhaseOnly, LeftMix,
                             RightMagnitude, RightPhase, RightMagnitudeOnly, RightPhaseOnly, RightMix})
        tile->SetPixels(0, 0, 1, nullptr);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 4; ++c)
            Resemblance->SetCell(c, r, "");
    MixBar->SetEnabled(false);
    Message->SetCaption(message);
}

void TPhaseLab::Follow()
{
    if (!stale || !IsShown())
        return;
    stale = false;
    const TPairSizes sizes = PairSizes(leftInput, rightInput);
    if (!lab::LabPairFits(sizes)) {
        AnsiString message = "Open two pictures of the same size.";
        if (const std::optional<TCropSize> crop = CropToFit(sizes))
            message += " These are " + SizeText(sizes.leftWidth, sizes.leftHeight) + " and " +
                       SizeText(sizes.rightWidth, sizes.rightHeight) + ": \"Crop both to " +
                       crop->Text() + "\" in a pane's menu cuts them to fit.";
        Clear(message);
        return;
    }
    const int W = sizes.leftWidth, H = sizes.leftHeight;
    const std::size_t N = std::size_t(W) * std::size_t(H);
    const AnsiString size = SizeText(W, H);
    try {
        lab::PhaseLab::CheckMemory(W, H);
    } catch (const Exception& refusal) {
        Clear(refusal.Message);
        return;
    }
    TBusyCursor cursor;
    cursor.Set();
    try {
        engine.reset();
        std::vector<PackedColour> left(N), right(N);
        leftInput->CopyPixels(left.data());
        rightInput->CopyPixels(right.data());
        engine = std::make_unique<lab::PhaseLab>(left.data(), right.data(), W, H,
                                                 MixBar->GetPosition() / 100.0);
        engine->SetMixSettings(mixSettings);
    } catch (const std::bad_alloc&) {
        Clear("Not enough memory for the lab at " + size + ".");
        return;
    }
    MixBar->SetEnabled(true);
    MixBar->SetTracking(long(N) <= LiveUpTo);
    Message->SetCaption("Left and right pictures: " + size + ".");
    ShowTiles();
    ShowResemblance();
}

void TPhaseLab::MixBarChange()
{
    const double alpha = MixBar->GetPosition() / 100.0;
    MixLabel->SetCaption(MixText(alpha));
    if (!engine)
        return;
    TBusyCursor cursor;
    if (long(engine->Width()) * engine->Height() > LiveUpTo)
        cursor.Set();
    engine->SetMix(alpha);
    ShowMixes();
    ShowResemblance();
}

bool TPhaseLab::ReadMixSettings()
{
    const std::optional<std::uint64_t> seed = stimuli::ParseUnsigned(Seed->GetText());
    if (!seed) {
        Message->SetCaption("The seed must be a whole number from 0 to 18446744073709551615, "
                            "not \"" + Seed->GetText() + "\".");
        return false;
    }
    mixSettings.toward = MixToward->GetItemIndex() == 1 ? lab::MixToward::RandomPhase
                                                        : lab::MixToward::OtherPicture;
    mixSettings.rule = MixRule->GetItemIndex() == 1 ? lab::MixRule::WeightedMean
                                                    : lab::MixRule::ShortWayRound;
    mixSettings.seed = *seed;
    return true;
}

void TPhaseLab::MixSettingsChange()
{
    if (!ReadMixSettings() || !engine)
        return;
    TBusyCursor cursor;
    if (long(engine->Width()) * engine->Height() > LiveUpTo)
        cursor.Set();
    engine->SetMixSettings(mixSettings);
    Message->SetCaption("Left and right pictures: " + SizeText(engine->Width(), engine->Height()) + ".");
    ShowMixes();
    ShowResemblance();
}

// The label follows the handle while it is dragged, also where the pictures
// wait for it to be let go.
void TPhaseLab::MixBarMove() { MixLabel->SetCaption(MixText(MixBar->GetHandlePosition() / 100.0)); }

void TPhaseLab::ShowTiles()
{
    using lab::Side;
    using lab::Tile;
    const struct {
        TPixelView* view;
        Side side;
        Tile tile;
    } tiles[] = {{LeftMagnitude, Side::Left, Tile::Magnitude},
                 {LeftPhase, Side::Left, Tile::Phase},
                 {LeftMagnitudeOnly, Side::Left, Tile::MagnitudeOnly},
                 {LeftPhaseOnly, Side::Left, Tile::PhaseOnly},
                 {RightMagnitude, Side::Right, Tile::Magnitude},
                 {RightPhase, Side::Right, Tile::Phase},
                 {RightMagnitudeOnly, Side::Right, Tile::MagnitudeOnly},
                 {RightPhaseOnly, Side::Right, Tile::PhaseOnly}};
    for (const auto& t : tiles)
        Show(t.view, engine->Pixels(t.side, t.tile));
    ShowMixes();
}

void TPhaseLab::ShowMixes()
{
    Show(LeftMix, engine->Pixels(lab::Side::Left, lab::Tile::Mix));
    Show(RightMix, engine->Pixels(lab::Side::Right, lab::Tile::Mix));
    MixLabel->SetCaption(MixText(engine->Mix()));
}

void TPhaseLab::ShowResemblance()
{
    using lab::Side;
    for (int r = 0; r < 5; ++r)
        for (const Side magnitudeOf : {Side::Left, Side::Right}) {
            const int column = magnitudeOf == Side::Left ? 0 : 2;
            const std::optional<double> withLeft = engine->Resemblance(magnitudeOf, Rows[r], Side::Left);
            const std::optional<double> withRight = engine->Resemblance(magnitudeOf, Rows[r], Side::Right);
            const auto [leftBold, rightBold] = BoldOfPair(withLeft, withRight);
            Resemblance->SetCell(column, r, Figure(withLeft), leftBold);
            Resemblance->SetCell(column + 1, r, Figure(withRight), rightBold);
        }
}

std::pair<bool, bool> BoldOfPair(const std::optional<double>& a, const std::optional<double>& b)
{
    if (!a || !b)
        return {false, false};
    // Compared as shown: hundredths, rounded as the figures are.
    const AnsiString shownA = Figure(a), shownB = Figure(b);
    if (shownA == shownB)
        return {false, false};
    return {*a > *b, *b > *a};
}
