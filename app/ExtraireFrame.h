#pragma once

// The Grab panel: the last grabbed picture, the intervalometer that grabs at a fixed period,
// its warning beeps, and the name of the next image file.

#include "app/PanelFrame.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QImage;
class QLabel;
class QSpinBox;
class QToolButton;

namespace vidorel {

class TExtraireFrame : public TPanelFrame {
public:
    // Where the last picture is shown: fitted into this box, standing on its bottom edge and
    // centred across it.
    static constexpr int kPictureLeft = 32;
    static constexpr int kPictureBottom = 163;
    static constexpr int kPictureWidth = 192;
    static constexpr int kPictureHeight = 144;

    explicit TExtraireFrame(QWidget* parent = nullptr);

    void ApplyEnglishTexts() override;
    // "Valeur Intervallomètre", "Unités Intervallomètre", "Beeps".
    void LoadPreferences() override;
    void StorePreferences() override;

    // Shows `picture` in `Image` with its proportions; `Bevel3` takes the same bounds.
    void ShowPicture(const QImage& picture);
    // The whole seconds left before the next intervalometer grab.
    void ShowCountdown(int seconds);

    QGroupBox* gbExtraire;
    QLabel* Image;
    QFrame* Bevel3;
    QGroupBox* gbIntervallo;
    QSpinBox* RxSpinEdit7;  // interval value 0..999999
    QComboBox* cbUnites;    // seconds, frames, minutes, hours
    QToolButton* RxSwitch1; // checkable: the intervalometer is on while checked
    QLabel* chronoLab;      // countdown, shown while the intervalometer is on
    QCheckBox* cbBeeps;
    QGroupBox* gbNextImage;
    QLabel* destlabel;

    // A click on the next-image name (the window shows the Folders panel).
    std::function<void()> OnDestLabelClick;

protected:
    const TTextTable& Texts() const override;

private:
    // The period cannot change under a running intervalometer.
    void SwitchChanged(bool on);
};

const TTextTable& ExtraireTexts();

} // namespace vidorel
