// The main window: its controls, its event handlers and the spectral engine.
#pragma once

#include <cstdint>

#include "platform/ActnList.h"
#include "platform/Controls.h"
#include "platform/Forms.h"

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

    void LoadSamples(double* grid, bool fromRight);
    void SplitPolar(const double* grid, double* phase, double* magnitude);
    void JoinPolar(double* grid, const double* phase, const double* magnitude);
    void ShowLinear(const double* grid, bool toRight, double scale);
    void ShowLog(const double* grid, bool toRight, double scale);
};

extern TKorvanith* Korvanith;
