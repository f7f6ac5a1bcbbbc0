// The main window: its controls, its event handlers and the transform command,
// whose steps run in the phase engine.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ActnList.h"
#include "platform/Controls.h"
#include "platform/Forms.h"

class TPhaseLab;

class TKorvanith : public TForm {
public:
    TImage* Image1;
    TImage* Image2;
    TImage* Image3;
    TImage* Image4;
    TActionList* ActionList1;
    TFileOpen* FileOpen1;
    TButton* Button1;
    TButton* Button2;
    TFileOpen* FileOpen2;
    TRadioGroup* RadioGroup1;
    TButton* Button3;
    TFileExit* FileExit1;
    TButton* Button4;

    void FileOpen1Accept();
    void FileOpen2Accept();
    void Button3Click();

    explicit TKorvanith(TComponent* Owner);
    ~TKorvanith() override;

    // In-place, unnormalised discrete Fourier transform of a grid of complex
    // doubles, used from index 1 (element k: real part at 2k+1, imaginary at
    // 2k+2), row-major with dims[count] varying fastest. dims[1..count] must be
    // powers of two; sign +1 takes exp(+i...) (the forward direction here), -1
    // exp(-i...). A round trip +1 then -1 gives count-of-elements times the
    // input. A zero or non-power-of-two length leaves the grid untouched.
    static void FourierTransform(double* grid, const std::uint32_t* dims, std::int32_t count,
                                 std::int32_t sign);

    // Rebuilds both inputs from their own magnitude and their own ("Normal
    // phase") or the other's ("Swap phase") phase and paints the results into
    // Image3 and Image4. Refuses, changing nothing, unless both pictures are
    // loaded, of one size, with power-of-two sides.
    void RunTransform();

    // The command's steps on the window's pictures: samples of the left or
    // right input; the split and join over the right input's size; the
    // results' gray levels painted into Image3 or Image4 (scale: of ShowLog).
    void LoadSamples(double* grid, bool fromRight);
    void SplitPolar(const double* grid, double* phase, double* magnitude);
    void JoinPolar(double* grid, const double* phase, const double* magnitude);
    void ShowLinear(const double* grid, bool toRight, double scale);
    void ShowLog(const double* grid, bool toRight, double scale);

    // The phase lab beside the window, made at the first call, in front.
    TPhaseLab* ShowPhaseLab();

private:
    std::unique_ptr<TPhaseLab> lab;  // goes before the pictures it follows
};

extern TKorvanith* Korvanith;
