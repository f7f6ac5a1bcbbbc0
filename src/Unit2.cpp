// The phase lab's window: its tiles, its slider and its table, following the
// main window's two input pictures.
#include "Unit2.h"

#include <cstdio>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "Sides.h"
#include "lab/PhaseLab.h"
#include "platform/Memory.h"
#include "ui_Unit2.h"

namespace {

constexpr int TileSide = 192;  // as the form gives the tiles

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

void Show(TPixelView* view, const lab::Picture& picture)
{
    view->SetPixels(picture.width, picture.height, picture.channels, picture.bytes);
}

TPhaseLab* current = nullptr;  // the one lab, while it is open

}  // namespace

TPhaseLab::TPhaseLab(TComponent* Owner, TImage* leftInput, TImage* rightInput)
    : TForm(Owner), leftInput(leftInput), rightInput(rightInput),
      self(std::make_shared<TPhaseLab*>(this))
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
    Message = form.Message;
    MixLabel = form.MixLabel;
    MixBar = form.MixBar;
    Resemblance = form.Resemblance;
    Loaded();

    const std::vector<std::uint8_t> legend = lab::PhaseLegend(TileSide, 12);
    Legend->SetPixels(TileSide, 12, 3, legend.data());
    MixBar->SetRange(0, 100);
    MixBar->SetPosition(50);
    MixBar->OnChange = [this] { MixBarChange(); };
    Resemblance->SetSize(4, 5);
    const char* const columns[] = {"Left |F|: r with left", "Left |F|: r with right",
                                   "Right |F|: r with left", "Right |F|: r with right"};
    for (int c = 0; c < 4; ++c)
        Resemblance->SetColumnTitle(c, columns[c]);
    for (int r = 0; r < 5; ++r)
        Resemblance->SetRowTitle(r, RowTitles[r]);

    // The inputs tell of every change, a transform's reading of them too:
    // the lab looks once the event is over, and only recomputes when their
    // pixels are not those it shows. A lab closed meanwhile is not reached.
    const std::weak_ptr<TPhaseLab*> lab = self;
    const auto follow = [lab] {
        Application->Post([lab] {
            if (const auto alive = lab.lock())
                (*alive)->Follow();
        });
    };
    leftInput->OnPictureChange = follow;
    rightInput->OnPictureChange = follow;
    Follow();
}

TPhaseLab::~TPhaseLab()
{
    if (current == this)
        current = nullptr;
}

void TPhaseLab::Clear(const AnsiString& message)
{
    engine.reset();
    leftSamples.clear();
    rightSamples.clear();
    for (TPixelView* tile : {LeftMagnitude, LeftPhase, LeftMagnitudeOnly, LeftPhaseOnly, LeftMix,
                             RightMagnitude, RightPhase, RightMagnitudeOnly, RightPhaseOnly, RightMix})
        tile->SetPixels(0, 0, 1, nullptr);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 4; ++c)
            Resemblance->SetCell(c, r, "");
    MixBar->setEnabled(false);
    Message->SetCaption(message);
}

void TPhaseLab::Follow()
{
    const TPicture* left = leftInput->Picture;
    const TPicture* right = rightInput->Picture;
    try {
        CheckPairFits(left, right);
    } catch (const EMisfitPair& misfit) {
        AnsiString message = "Open two pictures of the same power-of-two size.";
        if (misfit.Crop)
            message += " These are " + std::to_string(left->GetWidth()) + "\u00d7" +
                       std::to_string(left->GetHeight()) + " and " + std::to_string(right->GetWidth()) +
                       "\u00d7" + std::to_string(right->GetHeight()) + ": \"Crop both to " +
                       misfit.Crop->Text() + "\" in a pane's menu cuts them to fit.";
        Clear(message);
        return;
    }
    const int W = left->GetWidth(), H = left->GetHeight();
    const std::size_t N = std::size_t(W) * std::size_t(H);
    std::vector<PackedColour> leftNow(N), rightNow(N);
    left->CopyPixels(leftNow.data());
    right->CopyPixels(rightNow.data());
    if (engine && engine->Width() == W && engine->Height() == H && leftNow == leftSamples &&
        rightNow == rightSamples)
        return;

    const AnsiString size = std::to_string(W) + "\u00d7" + std::to_string(H);
    if (const AnsiString refusal = LabMemoryRefusal(W, H); !refusal.empty()) {
        Clear(refusal);
        return;
    }
    TBusyCursor cursor;
    cursor.Set();
    try {
        engine.reset();
        engine = std::make_unique<lab::PhaseLab>(leftNow.data(), rightNow.data(), W, H,
                                                 MixBar->GetPosition() / 100.0);
    } catch (const std::bad_alloc&) {
        Clear("Not enough memory for the lab at " + size + ".");
        return;
    }
    leftSamples = std::move(leftNow);
    rightSamples = std::move(rightNow);
    MixBar->setEnabled(true);
    MixBar->SetTracking(long(N) <= LiveUpTo);
    Message->SetCaption("Left and right pictures: " + size +
                        (W > TileSide || H > TileSide ? ", scaled down to fit the tiles." : "."));
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
        Show(t.view, engine->Image(t.side, t.tile));
    ShowMixes();
}

void TPhaseLab::ShowMixes()
{
    Show(LeftMix, engine->Image(lab::Side::Left, lab::Tile::Mix));
    Show(RightMix, engine->Image(lab::Side::Right, lab::Tile::Mix));
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
            const bool both = withLeft && withRight;
            Resemblance->SetCell(column, r, Figure(withLeft), both && *withLeft > *withRight);
            Resemblance->SetCell(column + 1, r, Figure(withRight), both && *withRight > *withLeft);
        }
}

AnsiString LabMemoryRefusal(int width, int height)
{
    const std::uint64_t needed = lab::PhaseLab::BytesNeeded(width, height);
    if (needed <= AvailableMemory())
        return {};
    return "Not enough memory for the lab at " + std::to_string(width) + "\u00d7" +
           std::to_string(height) + " (needs " + std::to_string((needed + (1u << 20) - 1) >> 20) +
           " MiB).";
}

TPhaseLab* OpenPhaseLab(TForm* mainWindow, TImage* leftInput, TImage* rightInput)
{
    if (!current)
        current = new TPhaseLab(Application, leftInput, rightInput);
    current->ShowOwnedBy(mainWindow);
    return current;
}
