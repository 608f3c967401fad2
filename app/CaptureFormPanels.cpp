// The main window's panels: created in panel order and bound to the window's handlers.

#include "app/Actions.h"
#include "app/CaptureForm.h"
#include "app/PanelFrame.h"
#include "app/DossiersFrame.h"
#include "app/ExtraireFrame.h"
#include "app/IncrusterFrame.h"
#include "app/ProgrammerFrame.h"
#include "app/SourcesFrame.h"
#include "settings/Preferences.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QUrl>

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
    dossiersFrame_ = new TDossiersFrame(this);
    programmerFrame_ = new TProgrammerFrame(this);
    extraireFrame_ = new TExtraireFrame(this);
    incrusterFrame_ = new TIncrusterFrame(this);
    panels_ = {sourcesFrame_,
               dossiersFrame_,
               programmerFrame_,
               extraireFrame_,
               incrusterFrame_,
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

    TDossiersFrame& d = *dossiersFrame_;
    d.Prompt = prompt_;
    d.OnLabelVideoClick = [this] { ShowPanel(0); };
    d.OnLabelImageClick = [this] { ShowPanel(3); };
    QObject::connect(d.VideoDirEdit, &QLineEdit::textChanged, this, [this](const QString& dir) {
        prefs::VideoDirectory->Value = dir.toStdString();
        ComputeNextVideoName();
        UpdateStatusTexts();
    });
    const auto openFolder = [](const std::string& folder) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
    };
    QObject::connect(d.sbVideo, &QToolButton::clicked, this,
                     [openFolder] { openFolder(prefs::VideoDirectory->Value); });
    QObject::connect(d.sbImage, &QToolButton::clicked, this,
                     [openFolder] { openFolder(prefs::ImageDirectory->Value); });
    QObject::connect(actions_->acOuvrirDossierVideos, &QAction::triggered, this,
                     [openFolder] { openFolder(prefs::VideoDirectory->Value); });

    programmerFrame_->TimesArmed = [this] {
        return captureState_ == CaptureState::Scheduled ||
               captureState_ == CaptureState::ScheduledCapturing;
    };
    QObject::connect(programmerFrame_->ProgBtn, &QPushButton::clicked, actions_->acProgrammerBascule,
                     &QAction::trigger);
    extraireFrame_->OnDestLabelClick = [this] { ShowPanel(1); };
    incrusterFrame_->IncrusterBtn->setDefaultAction(actions_->acIncruster);
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
