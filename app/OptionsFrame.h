#pragma once

// The Settings panel: the preferences commands, the Windows Media profiles, the DivX/Xvid and
// Mp3 encoders, the grabbed-image options and the DV re-encoding choices, on five pages.
// The encoder lists are filled when the encoders have been discovered; until then those combo
// boxes are empty.

#include "app/Controls.h"
#include "app/PanelFrame.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;
class QToolButton;

namespace vidorel {

class IUserPrompt;

// The English texts of the panel (app/texts/OptionsTexts.cpp).
const TTextTable& OptionsFrameTexts();

class TOptionsFrame : public TPanelFrame {
public:
    // Page indexes of PageControl1.
    enum Page { kPagePref = 0, kPageWmv = 1, kPageDivx = 2, kPageImages = 3, kPageDV = 4 };

    explicit TOptionsFrame(QWidget* parent = nullptr);

    // "Qualité JPeg" ... "Activer Superposition" into the controls (signals blocked), then the
    // "Default Profil" and "Activer Superposition" handlers run as a click would run them.
    void LoadPreferences() override;
    // The controls back into their preferences. A list that is still empty (no encoder or
    // profile found) leaves its preference as it is, and so does a radio group with no choice.
    void StorePreferences() override;

    // Shows what the discovered encoders allow: the divx page only with a DivX or Xvid
    // compressor; the Mp3 choice only with both a compressor and the Mp3 encoder; the Mp3
    // settings when that encoder exists and Mp3 is wanted; the note on the encoder otherwise.
    void ShowEncoders(bool divxFound, bool mp3Available);

    // The preferences were saved or deleted by hand: the main window's store runs on save (it
    // copies every panel's controls, not only this one's).
    std::function<void()> OnSave;
    // "Allow the video effects" changed (by the user, or when the preferences were loaded):
    // the main window shows or hides the effect actions.
    std::function<void(bool allowed)> OnEffectsOption;
    // Asks the questions of the delete command; without one the delete button does nothing.
    void SetUserPrompt(IUserPrompt* prompt) { prompt_ = prompt; }

    QGroupBox* GroupBox1;
    QTabWidget* PageControl1;
    QWidget* tsPref;
    QWidget* tsWmv;
    QWidget* tsDivx;
    QWidget* tsJpeg;
    QWidget* TabSheet1;

    // Pref
    QCheckBox* cbConfirmerVideo;
    QGroupBox* gbPrefs;
    QToolButton* sbSaveprefs;
    QLabel* LabelSauverNow;
    QToolButton* sbDeleteprefs;
    QLabel* LabelEffacerPrefs;
    QCheckBox* cbPrefsQuittant;
    QCheckBox* cbNotifier;
    QCheckBox* cbActiverSuperposition;
    QLabel* leNoDatecodeLabel;
    QLineEdit* leNoDatecode;

    // Wmv
    QCheckBox* cbDefaultProfile;
    QGroupBox* gbProfiles;
    QLabel* Label1;
    TRadioGroup* rgversion;
    QComboBox* cboxMedia;
    TRadioGroup* rgProfiles;

    // divx
    QGroupBox* gbdivx;
    QComboBox* cboxdivx;
    QPushButton* sbPropDivx;
    QPushButton* sbVersionDivx;
    TRadioGroup* rgRatio;
    QCheckBox* cbMp3;
    QGroupBox* gbMp3;
    QLabel* Label3;
    QComboBox* cboxBitratemp3;
    QPushButton* sbPropMp3;
    QLabel* MemoMp3;

    // Images
    TRadioGroup* rgExtension;
    QGroupBox* gbQuality;
    QSlider* TrackBar1;
    QLabel* labQuality;
    QCheckBox* cbDeInterlacer;
    QCheckBox* cbConfirmerImage;

    // DV
    TRadioGroup* rgStandard;
    TRadioGroup* rgImageRatio;
    TRadioGroup* rgFrequenceDV;
    QCheckBox* cbfrequenceDVNative;
    QCheckBox* cbScn;

    void ApplyEnglishTexts() override;

    // Handlers of the panel's own controls (also run by LoadPreferences where noted).
    void cbDefaultProfileClick();
    void cbActiverSuperpositionClick();
    void cbMp3Click();

protected:
    const TTextTable& Texts() const override;

private:
    void BuildPrefPage();
    void BuildWmvPage();
    void BuildDivxPage();
    void BuildImagesPage();
    void BuildDVPage();
    void Connect();
    // The fixed profiles when the box is ticked, the list of the system's profiles otherwise.
    void ShowProfileChoice();
    void DeletePreferencesClick();

    IUserPrompt* prompt_ = nullptr;
    bool mp3Available_ = true;
};

} // namespace vidorel
