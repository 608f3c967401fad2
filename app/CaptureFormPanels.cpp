// The main window's panels: created in panel order and bound to the window's handlers.

#include "app/Actions.h"
#include "app/AproposFrame.h"
#include "app/CaptureForm.h"
#include "app/DossiersFrame.h"
#include "app/ErreurFrame.h"
#include "app/ExtraireFrame.h"
#include "app/HelpFrame.h"
#include "app/IncrusterFrame.h"
#include "app/OperatingSystem.h"
#include "app/OptionsFrame.h"
#include "app/PanelFrame.h"
#include "app/ProgrammerFrame.h"
#include "app/ShortcutTables.h"
#include "app/SourcesFrame.h"
#include "settings/Preferences.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QToolButton>

namespace vidorel {

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
               optionsFrame_ = new TOptionsFrame(this),
               helpFrame_ = new THelpFrame(this),
               aproposFrame_ = new TAproposFrame(this)};
    erreurFrame_ = new TErreurFrame(this);
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
    QObject::connect(s.cbEntries, &QComboBox::activated, this,
                     [this] { SourcesFramecbEntriesChange(); });
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
    QObject::connect(d.ImageDirEdit, &QLineEdit::textChanged, this, [this](const QString& dir) {
        prefs::ImageDirectory->Value = dir.toStdString();
        ComputeNextImageName();
    });
    // The roots and the date boxes: the next names follow as soon as they are edited.
    QObject::connect(d.VideoRacineEdit, &QLineEdit::editingFinished, this, [this] {
        if (!AcceptRoot(dossiersFrame_->VideoRacineEdit, prefs::VideoRacine->Value)) {
            return;
        }
        prefs::VideoRacine->Value = dossiersFrame_->VideoRacineEdit->text().toStdString();
        ComputeNextVideoName();
    });
    QObject::connect(d.cbVideoDate, &QCheckBox::toggled, this, [this](bool on) {
        prefs::VideoDate->Value = on;
        ComputeNextVideoName();
    });
    QObject::connect(d.ImageRacineEdit, &QLineEdit::editingFinished, this, [this] {
        if (!AcceptRoot(dossiersFrame_->ImageRacineEdit, prefs::ImageRacine->Value)) {
            return;
        }
        prefs::ImageRacine->Value = dossiersFrame_->ImageRacineEdit->text().toStdString();
        ComputeNextImageName();
    });
    QObject::connect(d.cbImageDate, &QCheckBox::toggled, this, [this](bool on) {
        prefs::ImageDate->Value = on;
        ComputeNextImageName();
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
    QObject::connect(programmerFrame_->ProgBtn, &QPushButton::clicked,
                     actions_->acProgrammerBascule, &QAction::trigger);
    // Fields edited while armed move the alarm at once.
    for (QSpinBox* field : {programmerFrame_->RxSpinEdit1, programmerFrame_->RxSpinEdit2,
                            programmerFrame_->RxSpinEdit3}) {
        QObject::connect(field, &QSpinBox::valueChanged, this,
                         [this] { ScheduleFieldsChanged(true); });
    }
    for (QSpinBox* field : {programmerFrame_->RxSpinEdit4, programmerFrame_->RxSpinEdit5,
                            programmerFrame_->RxSpinEdit6}) {
        QObject::connect(field, &QSpinBox::valueChanged, this,
                         [this] { ScheduleFieldsChanged(false); });
    }
    extraireFrame_->OnDestLabelClick = [this] { ShowPanel(1); };
    QObject::connect(actions_->acGrab, &QAction::triggered, this, [this] { acGrabExecute(); });
    QObject::connect(extraireFrame_->RxSwitch1, &QToolButton::toggled, this,
                     [this](bool on) { RxSwitch1Click(on); });
    // The period's parts are preferences as soon as they change.
    QObject::connect(extraireFrame_->RxSpinEdit7, &QSpinBox::valueChanged, this,
                     [](int v) { prefs::ValeurIntervallometre->Value = v; });
    QObject::connect(extraireFrame_->cbUnites, &QComboBox::currentIndexChanged, this, [](int i) {
        if (i >= 0) {
            prefs::UnitesIntervallometre->Value = i;
        }
    });
    QObject::connect(extraireFrame_->cbBeeps, &QCheckBox::toggled, this,
                     [](bool on) { prefs::Beeps->Value = on; });
    incrusterFrame_->IncrusterBtn->setDefaultAction(actions_->acIncruster);
    BindInlay();
    BindSettings();
    BindSettingsMenus();

    TOptionsFrame& o = *optionsFrame_;
    o.SetUserPrompt(prompt_);
    o.OnSave = [this] { StorePreferences(); };
    o.OnEffectsOption = [this](bool on) { EffectsOptionChanged(on); };
    o.rgExtension->OnClick = [this](int i) {
        prefs::ExtensionDesImages->Value = i == 1 ? 1 : 0;
        optionsFrame_->gbQuality->setVisible(i == 1);
        actions_->acJpgOption->setChecked(i == 1);
        actions_->acBmpOption->setChecked(i == 0);
        ComputeNextImageName();
        UpdateStatusTexts();
    };
    const auto chooseExtension = [this](int i) {
        optionsFrame_->rgExtension->SetItemIndex(i);
        optionsFrame_->rgExtension->OnClick(i);
    };
    QObject::connect(actions_->acJpgOption, &QAction::triggered, this,
                     [chooseExtension] { chooseExtension(1); });
    QObject::connect(actions_->acBmpOption, &QAction::triggered, this,
                     [chooseExtension] { chooseExtension(0); });

    THelpFrame& h = *helpFrame_;
    h.OnExclusionClicked = [this] { ExclusionClicked(); };

    aproposFrame_->imgTapelog->setDefaultAction(actions_->acTapelog);
    erreurFrame_->OnClose = [this](bool fatal) { CloseErrorPanel(fatal); };
}

bool TCaptureForm::AcceptRoot(QLineEdit* edit, const std::string& previous) {
    const QString root = edit->text();
    // A root is part of a file name: a "/" would write into another folder.
    if (!root.contains(QLatin1Char('/')) && !root.contains(QChar(0))) {
        return true;
    }
    const QSignalBlocker quiet(edit);
    edit->setText(QString::fromStdString(previous));
    Tell(PromptKind::Error,
         "The root of a file name cannot contain \"/\".\r\nIt is back to \"" + previous + "\".");
    return false;
}

void TCaptureForm::SyncExclusionList() {
    QStringList excluded;
    for (const auto& [name, offered] : lists_.Exclusions) {
        if (!offered) {
            excluded << QString::fromStdString(name);
        }
    }
    helpFrame_->FillExclusions(excluded);
    for (const auto& [name, offered] : lists_.Exclusions) {
        if (offered) {
            helpFrame_->AddDevice(QString::fromStdString(name));
        }
    }
}

void TCaptureForm::ExclusionClicked() {
    // A capture keeps its sources: the list shows what stands until it is over.
    if (Busy()) {
        SyncExclusionList();
        return;
    }
    for (auto& entry : lists_.Exclusions) {
        entry.second = !helpFrame_->IsExcluded(QString::fromStdString(entry.first));
    }
    ActualiserVideoBtnClick();
}

void TCaptureForm::BuildShortcutTables() {
    std::vector<TActionInfo> infos;
    for (QAction* a : actions_->All()) {
        TActionInfo info;
        info.name = a->objectName();
        info.caption = a->text();
        info.category = TActions::Category(a);
        info.visible = a->isVisible();
        if (!a->shortcuts().isEmpty()) {
            info.primary = a->shortcuts().front();
        }
        info.secondary = TActions::SecondaryTexts(a);
        infos.push_back(info);
    }
    helpFrame_->SetShortcutTables(vidorel::BuildShortcutTables(infos));
}

void TCaptureForm::SourcesFramesbFormatCapturesettingsClick() {
    ShowPanel(5);
    const TCaptureFormat format = static_cast<TCaptureFormat>(prefs::CaptureFormat->Value);
    int page = TOptionsFrame::kPageDV;
    if (format == CaptureFormat::Wmv) {
        page = TOptionsFrame::kPageWmv;
    } else if (format == CaptureFormat::Divx || format == CaptureFormat::Mp3) {
        page = TOptionsFrame::kPageDivx;
    }
    optionsFrame_->PageControl1->setCurrentIndex(page);
}

void TCaptureForm::ApplyErrorReportTexts() {
    erreurFrame_->ApplyEnglishTexts();
}

QString TCaptureForm::SystemSummary() const {
    return QStringLiteral("%1 %2 %3\n%4\n%5")
        .arg(QString::fromUtf8(kProductName), QString::fromUtf8(kProductVersion),
             QString::fromUtf8(kLanguage), OperatingSystemName(), BuiltWithComponents());
}

void TCaptureForm::ShowErrorPanel(const std::string& text, bool fatal) {
    if (FullScreen()) {
        actions_->acfullscreen->trigger();
    }
    erreurFrame_->SetMailBody(QString::fromStdString(text) + QStringLiteral("\n\n") +
                              SystemSummary());
    erreurFrame_->ShowErrorReport(QString::fromStdString(text), fatal, sizeBeforeError_);
    setFixedSize(TErreurFrame::kReportWidth, TErreurFrame::kReportHeight);
    erreurFrame_->raise();
}

void TCaptureForm::CloseErrorPanel(bool fatal) {
    setFixedSize(sizeBeforeError_.isValid() ? sizeBeforeError_
                                            : QSize(kClientWidth, kClientHeight));
    // A fatal report ends the program the normal way: the capture finished, the preferences
    // stored as set.
    if (fatal) {
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

} // namespace vidorel
