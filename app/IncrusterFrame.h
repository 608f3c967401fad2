#pragma once

// The Inlay panel: what is inlaid into the video (real time, DV datecode or timecode), when and
// how long, the two format lines, the font, the alignment and the correction of a wrong
// camcorder clock. The position sliders sit over the preview, in the main window.

#include "app/PanelFrame.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QToolButton;

namespace vidorel {

class TRadioGroup;

class TIncrusterFrame : public TPanelFrame {
public:
    explicit TIncrusterFrame(QWidget* parent = nullptr);

    void ApplyEnglishTexts() override;
    // "Format Datecode1", "Format Datecode2", "Mode Incruster", "Durée Incruster",
    // "Décalage Horaire" (whole hours), "Décalage avancé", "Alignement", "What Incrust",
    // "When Incrust", "Taille automatique". A stored index the radio group does not hold
    // leaves it unselected, and store then keeps the stored value.
    void LoadPreferences() override;
    void StorePreferences() override;

    // The content and repetition choices a source offers: a DV source adds the datecode, the
    // timecode and the scene change. The chosen indexes stay where they still exist.
    void RebuildInlayChoices(bool isDV);
    // "Décalage avancé" on: the exact difference and the dialog button instead of the hours.
    void ShowAdvanced(bool advanced);
    // The difference in days shown in the hours box: whole hours toward zero.
    static int WholeHours(double days);

    QGroupBox* gbIncruster;
    QToolButton* IncrusterBtn; // the window gives it the inlay action
    TRadioGroup* rgMode;       // Manual, Auto
    QWidget* gbDuree;          // shown in Auto mode only
    QLabel* labDuree;
    QSpinBox* RxSpinEdit1; // duration, 0..99 s; stored in "Durée Incruster" as it changes
    TRadioGroup* rgWhat;   // real date and time, DV datecode, timecode
    TRadioGroup* rgWhen;   // Unique, Daily, Scene
    QGroupBox* gbDecalage; // shown for the DV datecode only
    QCheckBox* cbAvance;
    QSpinBox* RxDecalage; // hours, -23..23; stored in "Décalage Horaire" as it changes
    QLabel* LabDecalage;
    QToolButton* sbDecalageAvance; // opens the time-difference dialog
    QLabel* labFormat1;
    QLineEdit* edFormat1;
    QLabel* labFormat2;
    QLineEdit* edFormat2;
    QLabel* labFont;
    QToolButton* SpeedButton4; // opens the font dialog
    QCheckBox* cbAutoFontSize; // stored in "Taille automatique" as it changes
    TRadioGroup* rgAlign;      // Left, Centered, Right

    // The panel keeps the OnClick of rgMode and rgWhat (they show and hide its groups) and
    // passes each user pick on here. rgWhen and rgAlign are free for the window to bind.
    std::function<void(int)> OnModeClick;
    std::function<void(int)> OnWhatClick;

protected:
    const TTextTable& Texts() const override;

private:
    void ModeChanged(int mode);
    void WhatChanged(int what);
};

const TTextTable& IncrusterTexts();
// The inlay content and repetition items of a source.
std::vector<QString> InlayWhatItems(bool isDV);
std::vector<QString> InlayWhenItems(bool isDV);
// "%d days %dh %dm %ds" of a difference in days, to the nearest second.
std::string TimeDifferenceText(double days);

} // namespace vidorel
