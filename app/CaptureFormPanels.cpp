// The main window's panels: created in panel order and bound to the window's handlers.

#include "app/Actions.h"
#include "app/CaptureForm.h"
#include "app/PanelFrame.h"
#include "app/SourcesFrame.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QToolButton>

namespace vidorel {

namespace {

// A panel still to come.
class TBlankFrame : public TPanelFrame {
public:
    TBlankFrame(const char* name, QWidget* parent) : TPanelFrame(name, parent) {}

protected:
    const TTextTable& Texts() const override {
        static const TTextTable none;
        return none;
    }
};

} // namespace

void TCaptureForm::CreatePanels() {
    sourcesFrame_ = new TSourcesFrame(this);
    panels_ = {sourcesFrame_,
               new TBlankFrame("DossiersFrame", this),
               new TBlankFrame("ProgrammerFrame", this),
               new TBlankFrame("ExtraireFrame", this),
               new TBlankFrame("IncrusterFrame", this),
               new TBlankFrame("OptionsFrame", this),
               new TBlankFrame("HelpFrame", this),
               new TBlankFrame("AproposFrame", this)};
}

void TCaptureForm::BindPanels() {
    TSourcesFrame& s = *sourcesFrame_;
    QObject::connect(s.cboxvideo, &QComboBox::activated, this, [this] { cboxVideoChange(); });
    QObject::connect(s.cboxAudio, &QComboBox::activated, this, [this] { cboxAudioChange(); });
    QObject::connect(s.cbFormatCapture, &QComboBox::activated, this,
                     [this] { cbFormatCaptureClick(); });
    QObject::connect(s.ActualiserVideoBtn, &QPushButton::clicked, this,
                     [this] { ActualiserVideoBtnClick(); });
    QObject::connect(s.sbFormatCapturesettings, &QToolButton::clicked, this,
                     [this] { SourcesFramesbFormatCapturesettingsClick(); });
    s.sbTapelog->setDefaultAction(actions_->acTapelog);
    s.sbVideoPilotVCR->setDefaultAction(actions_->acShowVideoPilotDV);
    s.sbAudioPilotVCR->setDefaultAction(actions_->acShowAudioPilotDV);
    s.OnLabelVideoClick = [this] { ShowPanel(1); };
    s.OnFramerateExit = [this] { SourcesFrameleFramerateExit(); };
}

void TCaptureForm::SourcesFramesbFormatCapturesettingsClick() {
    ShowPanel(5);
}

void TCaptureForm::ApplyErrorReportTexts() {}

void TCaptureForm::ShowErrorPanel(const std::string& text, bool fatal) {
    (void)text;
    (void)fatal;
}

void TCaptureForm::CloseErrorPanel() {}

} // namespace vidorel
