// The settings menus of the Sources panel: the property pages of the current video and audio
// sources, and the "Video Input" submenu of a capture card's inputs.
#include "app/CaptureForm.h"
#include "app/PropertyFrame.h"
#include "app/SourcesFrame.h"
#include "graph/AVgraph.h"
#include "settings/Preferences.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QMenu>
#include <QToolButton>

namespace vidorel {

void TCaptureForm::BindSettingsMenus() {
    QObject::connect(sourcesFrame_->sbVideoSettings, &QToolButton::clicked, this, [this] {
        QMenu menu(this);
        BuildSettingsMenu(menu, true);
        menu.exec(sourcesFrame_->sbVideoSettings->mapToGlobal(
            QPoint(0, sourcesFrame_->sbVideoSettings->height())));
    });
    QObject::connect(sourcesFrame_->sbAudioSettings, &QToolButton::clicked, this, [this] {
        QMenu menu(this);
        BuildSettingsMenu(menu, false);
        menu.exec(sourcesFrame_->sbAudioSettings->mapToGlobal(
            QPoint(0, sourcesFrame_->sbAudioSettings->height())));
    });
}

void TCaptureForm::BuildSettingsMenu(QMenu& menu, bool video) {
    menu.clear();
    if (dm_ != nullptr) {
        GstElement* source = video ? dm_->VideoSourceFilter.get() : dm_->AudioSourceFilter.get();
        GstElement* page = PageElementOf(source);
        if (page != nullptr && !EditableProperties(page).empty()) {
            QAction* item = menu.addAction(video ? QStringLiteral("Video Capture Filter...")
                                                 : QStringLiteral("Audio Capture Filter..."));
            item->setObjectName(video ? QStringLiteral("VideoCaptureFilter")
                                      : QStringLiteral("AudioCaptureFilter"));
            QObject::connect(item, &QAction::triggered, this,
                             [this, video] { SettingsMenuItemClick(video); });
        }
        TCrossbar* crossbar = dm_->VideoCrossbar.get();
        if (video && crossbar != nullptr && crossbar->InputCount() > 0) {
            menu.addSeparator();
            QMenu* inputs = menu.addMenu(QStringLiteral("Video Input"));
            inputs->setObjectName(QStringLiteral("VideoInput"));
            auto* group = new QActionGroup(inputs);
            for (int i = 0; i < crossbar->InputCount(); ++i) {
                std::string name;
                if (crossbar->InputName(i, name) != S_OK) {
                    break;
                }
                QAction* input = inputs->addAction(QString::fromStdString(name));
                input->setCheckable(true);
                input->setData(i);
                group->addAction(input);
                // Opening the menu shows the input in use; it routes nothing.
                input->setChecked(i == crossbar->CurrentInput());
                QObject::connect(input, &QAction::triggered, this,
                                 [this, input] { VideoInputItemClick(input); });
            }
        }
    }
    if (menu.actions().isEmpty()) {
        QAction* none = menu.addAction(QStringLiteral("[No settings]"));
        none->setObjectName(QStringLiteral("NoSettings"));
    }
}

void TCaptureForm::SettingsMenuItemClick(bool video) {
    if (dm_ == nullptr) {
        return;
    }
    GstElement* page =
        PageElementOf(video ? dm_->VideoSourceFilter.get() : dm_->AudioSourceFilter.get());
    if (page == nullptr) {
        return;
    }
    const QString source =
        video ? sourcesFrame_->cboxvideo->currentText() : sourcesFrame_->cboxAudio->currentText();
    TPropertyFrame frame(page, source, this);
    if (ExecDialog(frame) != QDialog::Accepted || !frame.Apply()) {
        return;
    }
    // The branch is built again, so that a new size or rate reaches the encoders and the
    // inlay, even though the stream keeps its name.
    if (Busy()) {
        return;
    }
    if (video) {
        SelectVideoSource(source.toStdString(), true);
    } else {
        SelectAudioSource(source.toStdString(), true);
    }
    FillCaptureFormats(static_cast<TCaptureFormat>(prefs::CaptureFormat->Value));
}

void TCaptureForm::VideoInputItemClick(QAction* item) {
    if (dm_ == nullptr || !dm_->VideoCrossbar) {
        return;
    }
    const int route = item->data().toInt();
    prefs::VideoInputSelect->Value = route;
    item->setChecked(dm_->VideoCrossbar->RouteInput(route) == S_OK);
}

} // namespace vidorel
