// The phase lab: a second window beside the main one that shows both spectra,
// the rebuilds from one part of them, a phase mix moved by a slider, and how
// much each rebuild resembles each picture.
#pragma once

#include <memory>
#include <vector>

#include "platform/Controls.h"
#include "platform/Forms.h"

namespace lab {
class PhaseLab;
}

class TPhaseLab : public TForm {
public:
    // Row by row: left, then right; column by column: magnitude, phase,
    // magnitude only, phase only, mix.
    TPixelView* LeftMagnitude;
    TPixelView* LeftPhase;
    TPixelView* LeftMagnitudeOnly;
    TPixelView* LeftPhaseOnly;
    TPixelView* LeftMix;
    TPixelView* RightMagnitude;
    TPixelView* RightPhase;
    TPixelView* RightMagnitudeOnly;
    TPixelView* RightPhaseOnly;
    TPixelView* RightMix;
    TPixelView* Legend;
    TLabel* Message;
    TLabel* MixLabel;
    TTrackBar* MixBar;  // 0 to 100: the mix α in hundredths
    TStringGrid* Resemblance;

    // Follows the two input pictures of the main window: whenever one changes
    // (opened, cropped) the lab computes everything again.
    TPhaseLab(TComponent* Owner, TImage* leftInput, TImage* rightInput);
    ~TPhaseLab() override;

    // Up to this many pixels the pictures follow the slider while it moves;
    // larger pairs update when it is let go, under the busy cursor.
    static constexpr long LiveUpTo = 1024 * 1024;

    void MixBarChange();

    // Computes everything again when the input pictures are no longer those
    // the lab shows; says so when they do not fit.
    void Follow();

    // What the lab shows; null while the pair does not fit.
    const lab::PhaseLab* Engine() const { return engine.get(); }

private:
    void Clear(const AnsiString& message);
    void ShowTiles();
    void ShowMixes();
    void ShowResemblance();

    TImage* leftInput;
    TImage* rightInput;
    std::unique_ptr<lab::PhaseLab> engine;
    std::vector<PackedColour> leftSamples, rightSamples;  // what the engine was given
    std::shared_ptr<TPhaseLab*> self;  // what the inputs' handlers reach the lab by
};

// Why a lab for a width x height pair cannot be had now: more memory than the
// process can take; empty when it can.
AnsiString LabMemoryRefusal(int width, int height);

// Shows the main window's one phase lab, made at the first call, in front.
TPhaseLab* OpenPhaseLab(TForm* mainWindow, TImage* leftInput, TImage* rightInput);
