// The main window's handlers and the transform command with its renderers.
#include "Unit1.h"

#include <cmath>
#include <cstddef>
#include <string>

#include "Levels.h"
#include "PaneMenu.h"
#include "Sides.h"
#include "platform/Memory.h"
#include "fourier/FourierTransform.h"
#include "ui_Unit1.h"

TKorvanith* Korvanith = nullptr;

static void LoadResources() { Q_INIT_RESOURCE(Korvanith); }

TKorvanith::TKorvanith(TComponent* Owner) : TForm(Owner)
{
    LoadResources();  // the icon lives in a static library
    Ui::TKorvanith form;
    form.setupUi(this);
    Image1 = form.Image1;
    Image2 = form.Image2;
    Image3 = form.Image3;
    Image4 = form.Image4;
    ActionList1 = new TActionList(this);
    FileOpen1 = new TFileOpen(form.FileOpen1);
    Button1 = form.Button1;
    Button2 = form.Button2;
    FileOpen2 = new TFileOpen(form.FileOpen2);
    RadioGroup1 = form.RadioGroup1;
    Button3 = form.Button3;
    FileExit1 = new TFileExit(form.FileExit1);
    Button4 = form.Button4;
    for (TAction* action : {static_cast<TAction*>(FileOpen1), static_cast<TAction*>(FileOpen2),
                            static_cast<TAction*>(FileExit1)})
        ActionList1->AddAction(action);
    Loaded();

    FileOpen1->OnAccept = [this] { FileOpen1Accept(); };
    FileOpen2->OnAccept = [this] { FileOpen2Accept(); };
    Button3->OnClick = [this] { Button3Click(); };

    // A picture file dropped on a side's input or result pane opens it as
    // that side's "Open..." does.
    const auto openLeft = [this](const AnsiString& fileName) { OpenSide(Image1, Image3, fileName); };
    const auto openRight = [this](const AnsiString& fileName) { OpenSide(Image2, Image4, fileName); };
    Image1->SetOnDropFile(openLeft);
    Image3->SetOnDropFile(openLeft);
    Image2->SetOnDropFile(openRight);
    Image4->SetOnDropFile(openRight);

    AttachPaneMenus(this, Image1, Image2, Image3, Image4);
}

void TKorvanith::FileOpen1Accept()
{
    Image1->Picture->LoadFromFile(FileOpen1->GetDialog()->GetFileName());
    Image3->Picture->LoadFromFile(FileOpen1->GetDialog()->GetFileName());
}

void TKorvanith::FileOpen2Accept()
{
    Image2->Picture->LoadFromFile(FileOpen2->GetDialog()->GetFileName());
    Image4->Picture->LoadFromFile(FileOpen2->GetDialog()->GetFileName());
}

void TKorvanith::Button3Click() { RunTransform(); }

void TKorvanith::FourierTransform(double* grid, const std::uint32_t* dims, std::int32_t count,
                                  std::int32_t sign)
{
    fourier::FourierTransform(grid, dims, count, sign);
}

namespace {

// The six buffers of one run: two grids of 2N+1 doubles, zero-filled, and
// four planes of N doubles. Refuses before allocating when the process cannot
// take that much now (the memory available, its control group's room, its
// address-space limit), and in the same words when a mapping fails anyway.
struct Buffers {
    Buffers(int W, int H)
        : N(std::size_t(W) * std::size_t(H)), rightGrid(2 * N + 1), leftGrid(2 * N + 1),
          rightMagnitude(N), leftMagnitude(N), leftPhase(N), rightPhase(N)
    {
        if (!rightGrid.get() || !leftGrid.get() || !rightMagnitude.get() ||
            !leftMagnitude.get() || !leftPhase.get() || !rightPhase.get())
            throw NotEnoughMemory(W, H);
    }

    static void Check(int W, int H)
    {
        if (Bytes(W, H) > AvailableMemory())
            throw NotEnoughMemory(W, H);
    }

    const std::size_t N;
    TDoubleArray rightGrid, leftGrid, rightMagnitude, leftMagnitude, leftPhase, rightPhase;

private:
    static std::uint64_t Bytes(int W, int H)
    {
        return (8 * std::uint64_t(W) * std::uint64_t(H) + 2) * sizeof(double);
    }
    static Exception NotEnoughMemory(int W, int H)
    {
        return Exception("Cannot transform: not enough memory for a " + std::to_string(W) +
                         "\u00d7" + std::to_string(H) + " transform (needs " +
                         std::to_string((Bytes(W, H) + (1u << 20) - 1) >> 20) + " MiB).");
    }
};

}  // namespace

void TKorvanith::RunTransform()
{
    TBitmap* left = Image1->Picture->GetBitmap();
    const int W = left->GetWidth();
    const int H = left->GetHeight();
    CheckPairFits(Image1->Picture, Image2->Picture);

    Buffers::Check(W, H);
    TBusyCursor cursor;  // declared first: the buffers go before the cursor is restored
    Buffers buffers(W, H);
    cursor.Set();
    double* const rightGrid = buffers.rightGrid.get();
    double* const leftGrid = buffers.leftGrid.get();

    LoadSamples(rightGrid, true);
    LoadSamples(leftGrid, false);

    const std::uint32_t dims[3] = {0, std::uint32_t(H), std::uint32_t(W)};
    FourierTransform(rightGrid, dims, 2, +1);
    FourierTransform(leftGrid, dims, 2, +1);

    if (RadioGroup1->GetItemIndex() == 0) {
        SplitPolar(rightGrid, buffers.rightPhase.get(), buffers.rightMagnitude.get());
        SplitPolar(leftGrid, buffers.leftPhase.get(), buffers.leftMagnitude.get());
    } else {
        SplitPolar(rightGrid, buffers.leftPhase.get(), buffers.rightMagnitude.get());
        SplitPolar(leftGrid, buffers.rightPhase.get(), buffers.leftMagnitude.get());
    }
    JoinPolar(leftGrid, buffers.leftPhase.get(), buffers.leftMagnitude.get());
    JoinPolar(rightGrid, buffers.rightPhase.get(), buffers.rightMagnitude.get());

    FourierTransform(rightGrid, dims, 2, -1);
    FourierTransform(leftGrid, dims, 2, -1);

    const double count = double(H) * double(W);
    const std::size_t values = 2 * std::size_t(W) * std::size_t(H);
    for (std::size_t i = 1; i <= values; ++i)
        leftGrid[i] = leftGrid[i] / count;
    for (std::size_t i = 1; i <= values; ++i)
        rightGrid[i] = rightGrid[i] / count;

    if (RadioGroup1->GetItemIndex() == 0) {
        ShowLinear(leftGrid, false, 105.0);
        ShowLinear(rightGrid, true, 105.0);
    } else {
        ShowLog(leftGrid, false, 105.0);
        ShowLog(rightGrid, true, 105.0);
    }
}

void TKorvanith::LoadSamples(double* grid, bool fromRight)
{
    TBitmap* source = (fromRight ? Image2 : Image1)->Picture->GetBitmap();
    const int Ws = source->GetWidth();
    const int Hs = source->GetHeight();
    const TCanvas* canvas = source->GetCanvas();
    for (int y = 0; y < Hs; ++y)
        for (int x = 0; x < Ws; ++x)
            grid[2 * (std::size_t(y) * Ws + x) + 1] = double(canvas->GetPixel(x, y));
}

void TKorvanith::SplitPolar(const double* grid, double* phase, double* magnitude)
{
    const std::size_t N = std::size_t(Image2->Picture->GetWidth()) *
                          std::size_t(Image2->Picture->GetHeight());
    for (std::size_t k = 0; k < N; ++k)
        phase[k] = std::atan2(grid[2 * k + 2], grid[2 * k + 1]);
    for (std::size_t k = 0; k < N; ++k) {
        const double re = grid[2 * k + 1];
        const double im = grid[2 * k + 2];
        magnitude[k] = std::sqrt(re * re + im * im);
    }
}

void TKorvanith::JoinPolar(double* grid, const double* phase, const double* magnitude)
{
    const std::size_t N = std::size_t(Image2->Picture->GetWidth()) *
                          std::size_t(Image2->Picture->GetHeight());
    for (std::size_t k = 0; k < N; ++k) {
        grid[2 * k + 1] = std::cos(phase[k]) * magnitude[k];
        grid[2 * k + 2] = std::sin(phase[k]) * magnitude[k];
    }
}

namespace {

// Both renderers walk the right input's size, as the grids were split and
// joined over it, and paint gray levels into the chosen result picture.
template <class Level>
void Paint(TImage* target, const TPicture* sizeOf, const double* grid, Level level)
{
    const int W2 = sizeOf->GetWidth();
    const int H2 = sizeOf->GetHeight();
    TCanvas* canvas = target->GetCanvas();
    for (int y = 0; y < H2; ++y)
        for (int x = 0; x < W2; ++x)
            canvas->SetPixel(x, y, levels::Gray(level(grid[2 * (std::size_t(y) * W2 + x) + 1])));
}

}  // namespace

void TKorvanith::ShowLinear(const double* grid, bool toRight, double)
{
    Paint(toRight ? Image4 : Image3, Image2->Picture, grid, levels::Linear);
}

void TKorvanith::ShowLog(const double* grid, bool toRight, double scale)
{
    Paint(toRight ? Image4 : Image3, Image2->Picture, grid,
          [scale](double v) { return levels::Logarithmic(v, scale); });
}
