#pragma once

// The Sources panel: the video and audio streams, the capture format and its settings, the
// refresh of the source lists, and the next file name.

#include "app/PanelFrame.h"

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace vidorel {

class TSourcesFrame : public TPanelFrame {
public:
    explicit TSourcesFrame(QWidget* parent = nullptr);

    QGroupBox* gbVideo;
    QComboBox* cboxvideo;
    QLabel* LabVideo; // picture size and rate of the current stream
    QToolButton* sbVideoSettings;
    QToolButton* sbVideoPilotVCR;
    QGroupBox* gbAudio;
    QComboBox* cboxAudio;
    QLabel* LabAudio;
    QToolButton* sbAudioSettings;
    QToolButton* sbAudioPilotVCR;
    QComboBox* cbEntries; // the sound card's input lines
    QGroupBox* gbFormatCapture;
    QComboBox* cbFormatCapture;
    QToolButton* sbFormatCapturesettings;
    QLabel* labCorrection;
    QSpinBox* rxCorrection;
    QLabel* labFramerate;
    QLineEdit* leFramerate;
    QGroupBox* gbFichier;
    QLabel* LabelVideo; // the next file name; a click shows the Folders panel
    QPushButton* ActualiserVideoBtn;
    QToolButton* sbTapelog;

    // A click on the next file name.
    std::function<void()> OnLabelVideoClick;
    // The frame-rate field was left (or Enter pressed in it).
    std::function<void()> OnFramerateExit;

    void LoadPreferences() override;
    void StorePreferences() override;

    // The frame rate as typed; false when the text is not a decimal number. Either decimal
    // separator is taken, whatever the language of the desktop.
    static bool ParseFramerate(const QString& text, double* value);
    // How a frame rate is written into the field.
    static QString FramerateText(double value);

protected:
    const TTextTable& Texts() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

const TTextTable& SourcesFrameTexts();

} // namespace vidorel
