// Choosing the video stream, the audio stream and the capture format: each choice builds the
// preview of what was chosen and rebuilds the list of formats the two streams allow.

#include "app/Actions.h"
#include "app/CaptureForm.h"
#include "app/SourcesFrame.h"
#include "graph/AVgraph.h"
#include "graph/CaptureFormats.h"
#include "graph/Encoders.h"
#include "graph/OptionsUnit.h"
#include "graph/RunGraph.h"
#include "graph/SourceBranches.h"
#include "settings/Preferences.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSpinBox>

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace vidorel {

namespace {

template <typename S>
std::shared_ptr<S> NamedOrFirst(const std::vector<std::shared_ptr<S>>& streams,
                                const std::string& name) {
    auto it = std::find_if(streams.begin(), streams.end(),
                           [&](const auto& s) { return s->DisplayName == name; });
    if (it != streams.end()) {
        return *it;
    }
    return streams.empty() ? nullptr : streams.front();
}

// Selects `name` in the box when it is an item; the chosen name, else the first item.
std::string Choose(QComboBox* box, const std::string& name) {
    const QSignalBlocker quiet(box);
    const int i = box->findText(QString::fromStdString(name), Qt::MatchExactly);
    if (i >= 0) {
        box->setCurrentIndex(i);
        return name;
    }
    if (box->count() == 0) {
        return name;
    }
    box->setCurrentIndex(0);
    return box->itemText(0).toStdString();
}

QString VideoLabel(const TPublishedFacts& f) {
    QString text = QStringLiteral("%1x%2").arg(f.FrameWidth).arg(f.FrameHeight);
    if (f.FrameDuration > 0) {
        // Rounded to two decimals, no trailing zeros: "25", "29.97".
        text += QStringLiteral(" - %1 fps")
                    .arg(QLocale().toString(std::round(f.FrameRate * 100.0) / 100.0, 'g', 8));
    }
    return text;
}

QString AudioLabel(const TPublishedFacts& f) {
    return QStringLiteral("%1 Hz %2 bits %3 channels")
        .arg(f.AudioRate)
        .arg(f.AudioBits)
        .arg(f.AudioChannels);
}

} // namespace

void TCaptureForm::LeaveOutFailedDevice(const std::shared_ptr<TCaptureDevice>& device) {
    // A stream that cannot be built is left out, and the lists made again without it.
    for (auto& entry : lists_.Exclusions) {
        if (device && entry.first == device->FriendlyName) {
            entry.second = false;
        }
    }
    RunGraph(*dm_);
    QTimer::singleShot(0, this, [this] { ActualiserVideoBtnClick(); });
}

bool TCaptureForm::SelectVideoSource(const std::string& name, bool reopen) {
    if (dm_ == nullptr) {
        return false;
    }
    if (!reopen && dm_->CurrentVideo && dm_->CurrentVideo->DisplayName == name) {
        return true;
    }
    if (!dm_->CurrentVideo && name == kNoVideoStream) {
        HideVideoControls();
        return true;
    }
    // A running capture keeps its sources: the controller stops it before anything changes.
    if (Busy()) {
        return false;
    }
    bool result = false;
    try {
        QComboBox* box = sourcesFrame_->cboxvideo;
        const std::string chosen = Choose(box, name);
        if (chosen != kNoVideoStream && !lists_.VideoStreams.empty()) {
            auto stream = NamedOrFirst(lists_.VideoStreams, chosen);
            if (stream && stream->Device) {
                stream->Device->ChosenFormat = StoredVideoFormat(stream->Device->FriendlyName);
            }
            if (!OpenVideoBranch(*dm_, stream)) {
                LeaveOutFailedDevice(stream->Device);
                return false;
            }
            sourcesFrame_->LabVideo->setText(VideoLabel(dm_->Facts));
            ShowVideoControls();
            WatchDVAspect();
            RebuildInlayChoices(stream->StreamKind == 5);
            prefs::SourceVideo->Value = stream->DisplayName;
        } else {
            const QSignalBlocker quiet(box);
            box->setCurrentIndex(box->findText(QString::fromUtf8(kNoVideoStream)));
            if (dm_->CurrentVideo) {
                CloseVideoBranch(*dm_, dm_->CurrentVideo, true);
            }
            prefs::SourceVideo->Value = kNoVideoStream;
            HideVideoControls();
            RebuildInlayChoices(false);
        }
        {
            const QSignalBlocker quiet(box);
            const int i = box->findText(QString::fromStdString(prefs::SourceVideo->Value));
            if (i >= 0) {
                box->setCurrentIndex(i);
            }
        }
        // The preview state is entered from the preview only; a waiting schedule stays armed.
        if (captureState_ == CaptureState::Preview) {
            EnterPreview();
        } else {
            ApplyStateControls();
        }
        result = true;
    } catch (const std::exception&) {
        result = false;
    }
    // The open ran the graph; what stays (the other stream) runs again after a failure.
    RunGraph(*dm_);
    return result;
}

bool TCaptureForm::SelectAudioSource(const std::string& name, bool reopen) {
    if (dm_ == nullptr) {
        return false;
    }
    QComboBox* box = sourcesFrame_->cboxAudio;
    {
        const QSignalBlocker quiet(box);
        const int i = box->findText(QString::fromStdString(name), Qt::MatchExactly);
        if (i >= 0) {
            box->setCurrentIndex(i);
        }
    }
    if (!reopen && dm_->CurrentAudio && dm_->CurrentAudio->DisplayName == name) {
        return true;
    }
    if (!dm_->CurrentAudio && name == kNoAudioStream) {
        HideAudioControls();
        return true;
    }
    if (Busy()) {
        return false;
    }
    bool result = false;
    try {
        const std::string chosen = Choose(box, name);
        if (chosen == kNoAudioStream || lists_.AudioStreams.empty()) {
            if (dm_->CurrentAudio) {
                CloseAudioBranch(*dm_, dm_->CurrentAudio, true);
            }
            prefs::SourceAudio->Value = kNoAudioStream;
            RunGraph(*dm_);
            HideAudioControls();
        } else {
            auto stream = NamedOrFirst(lists_.AudioStreams, chosen);
            if (!OpenAudioBranch(*dm_, stream)) {
                LeaveOutFailedDevice(stream->Device);
                return false;
            }
            prefs::SourceAudio->Value = stream->DisplayName;
            sourcesFrame_->LabAudio->setText(AudioLabel(dm_->Facts));
            ShowAudioControls();
        }
        FillSoundCardInputs();
        sourcesFrame_->gbFormatCapture->setVisible(dm_->CurrentVideo || dm_->CurrentAudio);
        UpdateStatusTexts();
        result = true;
    } catch (const std::exception&) {
        result = false;
    }
    RunGraph(*dm_);
    return result;
}

void TCaptureForm::FillSoundCardInputs() {
    QComboBox* box = sourcesFrame_->cbEntries;
    const QSignalBlocker quiet(box);
    box->clear();
    const auto lines = dm_ != nullptr && dm_->AudioInputs ? dm_->AudioInputs->Enumerate()
                                                          : std::vector<devices::TAudioInputLine>{};
    for (const auto& line : lines) {
        box->addItem(QString::fromStdString(line.name));
        if (line.enabled) {
            prefs::SoundCardEntry->Value = line.name;
        }
    }
    // A card without input lines (or a device that is no sound card) shows none.
    box->setVisible(!lines.empty());
    if (!lines.empty()) {
        const int i = box->findText(QString::fromStdString(prefs::SoundCardEntry->Value));
        box->setCurrentIndex(i >= 0 ? i : 0);
    }
}

void TCaptureForm::SourcesFramecbEntriesChange() {
    const std::string line = sourcesFrame_->cbEntries->currentText().toStdString();
    prefs::SoundCardEntry->Value = line;
    if (dm_ != nullptr && dm_->AudioInputs) {
        dm_->AudioInputs->Enable(line);
    }
}

void TCaptureForm::RefreshStreamLabels() {
    if (dm_ == nullptr || closed_) {
        return;
    }
    if (dm_->CurrentVideo && dm_->Facts.FrameWidth == 0) {
        RefreshStreamFacts(*dm_);
    }
    if (dm_->CurrentVideo) {
        const QString text = VideoLabel(dm_->Facts);
        if (sourcesFrame_->LabVideo->text() != text) {
            sourcesFrame_->LabVideo->setText(text);
        }
    }
    if (dm_->CurrentAudio) {
        const QString text = AudioLabel(dm_->Facts);
        if (sourcesFrame_->LabAudio->text() != text) {
            sourcesFrame_->LabAudio->setText(text);
        }
    }
}

void TCaptureForm::FillCaptureFormats(TCaptureFormat wanted) {
    if (Busy()) {
        return;
    }
    TFormatChoice choice;
    if (dm_ != nullptr) {
        const auto& video = dm_->CurrentVideo;
        const auto& audio = dm_->CurrentAudio;
        choice.HasVideo = video != nullptr;
        choice.HasAudio = audio != nullptr;
        if (video && video->Device) {
            choice.VideoMuxedFormat = video->Device->MuxedFormat;
            choice.VideoNativeFormat = video->Device->NativeFormat;
        }
        choice.AudioOnVideoDevice = video && audio && video->Device == audio->Device;
        choice.Mp3EncoderAvailable = Mp3EncoderAvailable();
    }
    const std::vector<TCaptureFormat> offered = OfferedCaptureFormats(choice);
    QComboBox* box = sourcesFrame_->cbFormatCapture;
    {
        const QSignalBlocker quiet(box);
        box->clear();
        for (TCaptureFormat f : offered) {
            box->addItem(QString::fromStdString(CaptureFormatName(f)));
        }
        if (offered.empty()) {
            sourcesFrame_->gbFormatCapture->hide();
        } else {
            const TCaptureFormat selected = SelectOfferedFormat(offered, wanted);
            box->setCurrentIndex(
                box->findText(QString::fromStdString(CaptureFormatName(selected))));
            sourcesFrame_->gbFormatCapture->show();
        }
    }
    const TCaptureFormat format = CaptureFormatFromName(box->currentText().toStdString());
    prefs::CaptureFormat->Value = format;
    ComputeNextVideoName();
    const bool dvAudio = dm_ != nullptr && dm_->CurrentAudio && dm_->CurrentAudio->StreamKind == 4;
    const bool audio = dm_ != nullptr && dm_->CurrentAudio;
    const bool correction =
        format == CaptureFormat::AviNative || format == CaptureFormat::Divx ||
        ((format == CaptureFormat::DVType2Native || format == CaptureFormat::DVType2Recomp) &&
         audio && !dvAudio);
    sourcesFrame_->rxCorrection->setVisible(correction);
    sourcesFrame_->labCorrection->setVisible(correction);
    sourcesFrame_->leFramerate->setVisible(format == CaptureFormat::ImageByImage);
    sourcesFrame_->labFramerate->setVisible(format == CaptureFormat::ImageByImage);
    // A stream the format does not record is greyed (a disabled box keeps its own grey).
    const QColor normal = palette().color(QPalette::Text);
    const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
    QPalette audioPal = sourcesFrame_->cboxAudio->palette();
    audioPal.setColor(QPalette::Active, QPalette::Text,
                      format == CaptureFormat::ImageByImage ? grey : normal);
    audioPal.setColor(QPalette::Inactive, QPalette::Text,
                      format == CaptureFormat::ImageByImage ? grey : normal);
    audioPal.setColor(QPalette::Active, QPalette::ButtonText,
                      format == CaptureFormat::ImageByImage ? grey : normal);
    audioPal.setColor(QPalette::Inactive, QPalette::ButtonText,
                      format == CaptureFormat::ImageByImage ? grey : normal);
    sourcesFrame_->cboxAudio->setPalette(audioPal);
    const bool soundOnly = format == CaptureFormat::Wav || format == CaptureFormat::Mp3;
    QPalette videoPal = sourcesFrame_->cboxvideo->palette();
    videoPal.setColor(QPalette::Active, QPalette::Text, soundOnly ? grey : normal);
    videoPal.setColor(QPalette::Inactive, QPalette::Text, soundOnly ? grey : normal);
    videoPal.setColor(QPalette::Active, QPalette::ButtonText, soundOnly ? grey : normal);
    videoPal.setColor(QPalette::Inactive, QPalette::ButtonText, soundOnly ? grey : normal);
    sourcesFrame_->cboxvideo->setPalette(videoPal);
    if (captureState_ == CaptureState::Preview) {
        EnterPreview();
    } else {
        ApplyStateControls();
    }
    if (dm_ != nullptr) {
        RunGraph(*dm_);
    }
}

void TCaptureForm::cboxVideoChange() {
    const std::string text = sourcesFrame_->cboxvideo->currentText().toStdString();
    if ((dm_ != nullptr && dm_->CurrentVideo && dm_->CurrentVideo->DisplayName == text) ||
        ((dm_ == nullptr || !dm_->CurrentVideo) && text == kNoVideoStream)) {
        return;
    }
    if (Busy()) {
        return;
    }
    SelectVideoSource(text);
    prefs::WantVideoSource->Value = text;
    TCaptureFormat wanted = static_cast<TCaptureFormat>(prefs::CaptureFormat->Value);
    if (prefs::PreviewLocked->Value && dm_ != nullptr && dm_->CurrentVideo &&
        (wanted == CaptureFormat::Wav || wanted == CaptureFormat::Mp3)) {
        wanted = CaptureFormat::None;
    }
    FillCaptureFormats(wanted);
    ApplyPreviewLock(prefs::PreviewLocked->Value);
}

void TCaptureForm::cboxAudioChange() {
    if (Busy()) {
        return;
    }
    const std::string text = sourcesFrame_->cboxAudio->currentText().toStdString();
    SelectAudioSource(text);
    prefs::WantAudioSource->Value = text;
    TCaptureFormat wanted = static_cast<TCaptureFormat>(prefs::CaptureFormat->Value);
    if (prefs::PreviewLocked->Value && dm_ != nullptr && dm_->CurrentAudio &&
        wanted == CaptureFormat::ImageByImage) {
        wanted = CaptureFormat::None;
    }
    FillCaptureFormats(wanted);
    ApplyPreviewLock(prefs::PreviewLocked->Value);
}

void TCaptureForm::cbFormatCaptureClick() {
    if (Busy()) {
        return;
    }
    const TCaptureFormat id =
        CaptureFormatFromName(sourcesFrame_->cbFormatCapture->currentText().toStdString());
    if (id == prefs::CaptureFormat->Value) {
        return;
    }
    FillCaptureFormats(id);
    prefs::WantFormatCapture->Value = CaptureFormatName(id);
    ApplyPreviewLock(prefs::PreviewLocked->Value);
}

void TCaptureForm::SourcesFrameleFramerateExit() {
    double rate = 0;
    if (TSourcesFrame::ParseFramerate(sourcesFrame_->leFramerate->text(), &rate) && rate > 0) {
        prefs::Framerate->Value = rate;
        return;
    }
    prefs::Framerate->Value = 18.0;
    sourcesFrame_->leFramerate->setText(TSourcesFrame::FramerateText(18.0));
    prompt_->Show(PromptKind::Warning,
                  "The value of \"images/second\" is not correct\r\nEnter a decimal value",
                  PromptButtons::Ok);
}

} // namespace vidorel
