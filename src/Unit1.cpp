// The main window's handlers and the transform command, on the phase engine.
#include "Unit1.h"

#include <cstddef>
#include <vector>

#include "PaneMenu.h"
#include "Sides.h"
#include "Unit2.h"
#include "fourier/FourierTransform.h"
#include "phase/Command.h"
#include "phase/Levels.h"
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
    const auto openLeft = [this](const AnsiString& fileName) {
        OpenSide(Image1->Picture, Image3->Picture, fileName);
    };
    const auto openRight = [this](const AnsiString& fileName) {
        OpenSide(Image2->Picture, Image4->Picture, fileName);
    };
    Image1->SetOnDropFile(openLeft);
    Image3->SetOnDropFile(openLeft);
    Image2->SetOnDropFile(openRight);
    Image4->SetOnDropFile(openRight);

    AttachPaneMenus(this, {Image1, Image2, Image3, Image4}, [this] { ShowPhaseLab(); });
}

TKorvanith::~TKorvanith() { lab.reset(); }

void TKorvanith::FileOpen1Accept()
{
    OpenSide(Image1->Picture, Image3->Picture, FileOpen1->GetDialog()->GetFileName());
}

void TKorvanith::FileOpen2Accept()
{
    OpenSide(Image2->Picture, Image4->Picture, FileOpen2->GetDialog()->GetFileName());
}

void TKorvanith::Button3Click() { RunTransform(); }

void TKorvanith::FourierTransform(double* grid, const std::uint32_t* dims, std::int32_t count,
                                  std::int32_t sign)
{
    fourier::FourierTransform(grid, dims, count, sign);
}

namespace {

std::vector<PackedColour> PixelsOf(const TPicture* picture)
{
    std::vector<PackedColour> pixels(std::size_t(picture->GetWidth()) *
                                     std::size_t(picture->GetHeight()));
    picture->CopyPixels(pixels.data());
    return pixels;
}

// Paints W x H gray levels into the result pane.
void Paint(TImage* target, const std::uint8_t* levels, int W, int H)
{
    TCanvas* canvas = target->GetCanvas();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            canvas->SetPixel(x, y, levels::Gray(levels[std::size_t(y) * W + x]));
}

std::size_t PixelCount(const TImage* image)
{
    return std::size_t(image->Picture->GetWidth()) * std::size_t(image->Picture->GetHeight());
}

}  // namespace

void TKorvanith::RunTransform()
{
    const TBitmap* left = Image1->Picture->GetBitmap();
    const int W = left->GetWidth();
    const int H = left->GetHeight();
    CheckPairFits(Image1->Picture, Image2->Picture);
    phase::CheckCommandMemory(W, H);

    TBusyCursor cursor;
    cursor.Set();
    const std::size_t N = std::size_t(W) * std::size_t(H);
    std::vector<std::uint8_t> leftLevels(N), rightLevels(N);
    phase::RunCommand(PixelsOf(Image1->Picture).data(), PixelsOf(Image2->Picture).data(), W, H,
                      RadioGroup1->GetItemIndex() == 0 ? phase::Mode::Normal : phase::Mode::Swap,
                      leftLevels.data(), rightLevels.data());
    Paint(Image3, leftLevels.data(), W, H);
    Paint(Image4, rightLevels.data(), W, H);
}

void TKorvanith::LoadSamples(double* grid, bool fromRight)
{
    const TPicture* source = (fromRight ? Image2 : Image1)->Picture;
    phase::LoadSamples(grid, PixelsOf(source).data(), PixelCount(fromRight ? Image2 : Image1));
}

void TKorvanith::SplitPolar(const double* grid, double* phase, double* magnitude)
{
    phase::SplitPolar(grid, phase, magnitude, PixelCount(Image2));
}

void TKorvanith::JoinPolar(double* grid, const double* phase, const double* magnitude)
{
    phase::JoinPolar(grid, phase, magnitude, PixelCount(Image2));
}

void TKorvanith::ShowLinear(const double* grid, bool toRight, double)
{
    std::vector<std::uint8_t> levels(PixelCount(Image2));
    phase::ShowLinear(grid, levels.data(), levels.size());
    Paint(toRight ? Image4 : Image3, levels.data(), Image2->Picture->GetWidth(),
          Image2->Picture->GetHeight());
}

void TKorvanith::ShowLog(const double* grid, bool toRight, double scale)
{
    std::vector<std::uint8_t> levels(PixelCount(Image2));
    phase::ShowLog(grid, levels.data(), levels.size(), scale);
    Paint(toRight ? Image4 : Image3, levels.data(), Image2->Picture->GetWidth(),
          Image2->Picture->GetHeight());
}

TPhaseLab* TKorvanith::ShowPhaseLab()
{
    if (!lab)
        lab = std::make_unique<TPhaseLab>(Application, Image1->Picture, Image2->Picture);
    lab->ShowOwnedBy(this);
    lab->Follow();
    return lab.get();
}
