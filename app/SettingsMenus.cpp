// The settings menus of the Sources panel: the property pages of the current video and audio
// sources, and the "Video Input" submenu of a capture card's inputs.
#include "app/CaptureForm.h"
#include "app/PropertyFrame.h"
#include "app/SourcesFrame.h"
#include "graph/AVgraph.h"
#include "graph/OptionsUnit.h"
#include "settings/Preferences.h"
#include "sources/VideoFormats.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QMenu>
#include <QToolButton>

namespace vidorel {

void TCaptureForm::BindSettingsMenus() {
    // Each button pops up its menu, built from the sources as they are now, below itself.
    for (const bool video : {true, false}) {
        QToolButton* button =
            video ? sourcesFrame_->sbVideoSettings : sourcesFrame_->sbAudioSettings;
        QObject::connect(button, &QToolButton::clicked, this, [this, button, video] {
            QMenu menu(this);
            BuildSettingsMenu(menu, video);
            menu.exec(button->mapToGlobal(QPoint(0, button->height())));
        });
    }
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
        if (video && dm_->CurrentVideo && dm_->CurrentVideo->Device &&
            VideoFormatsOf(dm_->CurrentVideo->Device->Entry.caps.get()).size() > 1) {
            QAction* pin = menu.addAction(QStringLiteral("Video Capture Pin..."));
            pin->setObjectName(QStringLiteral("VideoCapturePin"));
            QObject::connect(pin, &QAction::triggered, this, [this] { CapturePinClick(); });
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

void TCaptureForm::CapturePinClick() {
    if (dm_ == nullptr || !dm_->CurrentVideo || !dm_->CurrentVideo->Device || Busy()) {
        return;
    }
    TCaptureDevice& device = *dm_->CurrentVideo->Device;
    const auto formats = VideoFormatsOf(device.Entry.caps.get());
    QDialog page(this);
    page.setObjectName(QStringLiteral("CapturePinPage"));
    page.setWindowTitle(QString::fromStdString(dm_->CurrentVideo->DisplayName));
    auto* list = new QComboBox(&page);
    list->setObjectName(QStringLiteral("Formats"));
    list->addItem(QStringLiteral("The device's own"), QString());
    for (const auto& f : formats) {
        list->addItem(QString::fromStdString(f.Text()), QString::fromStdString(f.Caps()));
    }
    const int now = list->findData(QString::fromStdString(device.ChosenFormat));
    list->setCurrentIndex(now >= 0 ? now : 0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &page);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &page, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &page, &QDialog::reject);
    auto* form = new QFormLayout(&page);
    form->addRow(QStringLiteral("Size and rate"), list);
    form->addRow(buttons);
    if (ExecDialog(page) != QDialog::Accepted) {
        return;
    }
    const std::string chosen = list->currentData().toString().toStdString();
    if (chosen == device.ChosenFormat) {
        return;
    }
    StoreVideoFormat(device.FriendlyName, chosen);
    // The branch is built again with the new format (the source asked for it anew).
    SelectVideoSource(sourcesFrame_->cboxvideo->currentText().toStdString(), true);
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
