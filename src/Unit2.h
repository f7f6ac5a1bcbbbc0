// The phase lab: a second window beside the main one that shows both spectra,
// the rebuilds from one part of them, a phase mix moved by a slider, and how
// much each rebuild resembles each picture.
#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "platform/Controls.h"
#include "platform/Forms.h"

#include "lab/Rebuilds.h"

namespace lab {
class PhaseLab;
}

// Which of a pair of figures the table shows bold: the larger as shown (with
// two decimals), so that two figures that read the same are both plain.
// Neither when either is undefined.
std::pair<bool, bool> BoldOfPair(const std::optional<double>& a, const std::optional<double>& b);

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
    TScaleCaption* LegendCaption;
    TLabel* Message;
    TLabel* MixLabel;
    TTrackBar* MixBar;  // 0 to 100: the mix α in hundredths
    TRadioGroup* MixToward;  // 0 the other picture, 1 random phase
    TRadioGroup* MixRule;    // 0 the short way round, 1 weighted mean
    TEdit* Seed;             // of the random phase
    TStringGrid* Resemblance;

    // Follows the two input pictures: whenever one changes (opened, cropped)
    // the lab computes everything again, once the event is over and while it
    // is shown. Whoever makes the lab destroys it before the pictures.
    TPhaseLab(TComponent* Owner, TPicture* leftInput, TPicture* rightInput);
    ~TPhaseLab() override;

    // Up to this many pixels the pictures follow the slider while it moves;
    // larger pairs update when it is let go, under the busy cursor.
    static constexpr long LiveUpTo = 1024 * 1024;

    void MixBarChange();
    void MixBarMove();
    // The target, the rule or the seed changed: the mixes again.
    void MixSettingsChange();

    // Computes everything again when the inputs changed since the lab last
    // looked (or it never has); says so when they do not fit.
    void Follow();

    // What the lab shows; null while the pair does not fit.
    const lab::PhaseLab* Engine() const { return engine.get(); }

private:
    void InputsChanged();
    // The settings the controls choose; false, saying why, for a seed that
    // is not one.
    bool ReadMixSettings();
    void Clear(const AnsiString& message);
    void ShowTiles();
    void ShowMixes();
    void ShowResemblance();

    TPicture* leftInput;
    TPicture* rightInput;
    int leftKey, rightKey;  // of the lab's listeners to the inputs
    bool stale = true;      // the inputs changed since the engine was made
    std::unique_ptr<lab::PhaseLab> engine;
    lab::MixSettings mixSettings;  // as the controls last chose them
};
