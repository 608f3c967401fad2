// The settings menus of the Sources panel on the real window and engine: a source's property
// page (its change reaching the rebuilt branch), the "Video Input" submenu of a three-input
// card, and "[No settings]".
#include "app/PropertyFrame.h"
#include "app/SourcesFrame.h"
#include "devices/AudioInputs.h"
#include "graph/CrossBar.h"
#include "graph/OptionsUnit.h"
#include "graph/SourceBranches.h"
#include "sources/VideoFormats.h"
#include "tests/app/WindowRecorder.h"
#include "tests/support/CardInputs.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>

using namespace vidorel;
using namespace vidorel::test;

namespace {

using Sources = std::vector<std::pair<std::string, std::string>>;

QAction* Named(QMenu& menu, const char* name) {
    for (QAction* a : menu.actions()) {
        if (a->objectName() == name || (a->menu() && a->menu()->objectName() == name)) {
            return a;
        }
    }
    return nullptr;
}

int PatternOf(Tdm& dm) {
    int pattern = -1;
    g_object_get(PageElementOf(dm.VideoSourceFilter.get()), "pattern", &pattern, nullptr);
    return pattern;
}

} // namespace

TEST(SettingsMenus, aPropertyChangedOnThePageReachesTheRebuiltBranch) {
    Recorder r(
        Sources{{"Source video", "Vidorel Test Pattern"}, {"Source Audio", "No Audio Stream"}});
    TCaptureForm& form = r.form;
    QMenu menu;
    form.BuildSettingsMenu(menu, true);
    QAction* page = Named(menu, "VideoCaptureFilter");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->text(), "Video Capture Filter...");
    EXPECT_FALSE(Named(menu, "VideoInput")); // a pattern generator has no inputs

    // Cancel changes nothing.
    const int before = PatternOf(r.dm);
    form.RunDialog = [](QDialog& dialog) {
        auto* box = static_cast<QComboBox*>(static_cast<TPropertyFrame&>(dialog).Editor("pattern"));
        box->setCurrentIndex(box->findText("snow"));
        return static_cast<int>(QDialog::Rejected);
    };
    page->trigger();
    EXPECT_EQ(PatternOf(r.dm), before);

    // OK applies it; the branch is built again around the same source, which keeps it.
    const GstElement* source = r.dm.VideoSourceFilter.get();
    form.RunDialog = [](QDialog& dialog) {
        auto* box = static_cast<QComboBox*>(static_cast<TPropertyFrame&>(dialog).Editor("pattern"));
        EXPECT_TRUE(box);
        box->setCurrentIndex(box->findText("snow"));
        return static_cast<int>(QDialog::Accepted);
    };
    page->trigger();
    Settle(300);
    EXPECT_EQ(PatternOf(r.dm), 1); // "snow"
    EXPECT_EQ(r.dm.VideoSourceFilter.get(), source);
    const uint64_t frames = r.dm.vwEcran.FramesReceived();
    Settle(500);
    EXPECT_GT(r.dm.vwEcran.FramesReceived(), frames + 5);

    // Without an audio stream the audio menu has nothing to offer.
    QMenu audio;
    form.BuildSettingsMenu(audio, false);
    ASSERT_EQ(audio.actions().size(), 1);
    EXPECT_EQ(audio.actions()[0]->text(), "[No settings]");
}

TEST(SettingsMenus, aThreeInputCardListsItsInputsAndRoutesOnlyWhenOneIsChosen) {
    auto card = std::make_shared<TCardInputs>();
    SetVideoInputsFinder([card](GstElement*) { return card; });
    {
        Recorder r(
            Sources{{"Source video", "Vidorel Test Pattern"}, {"Source Audio", "No Audio Stream"}},
            {{"Video Input Select", 2}});
        TCaptureForm& form = r.form;
        ASSERT_TRUE(r.dm.VideoCrossbar);
        ASSERT_EQ(r.dm.VideoCrossbar->InputCount(), 3);
        // The stored input was routed once, when the branch was built.
        ASSERT_FALSE(card->selected.empty());
        EXPECT_EQ(card->selected.back(), 2);
        const size_t routed = card->selected.size();

        QMenu menu;
        form.BuildSettingsMenu(menu, true);
        QAction* inputs = Named(menu, "VideoInput");
        ASSERT_TRUE(inputs && inputs->menu());
        const QList<QAction*> items = inputs->menu()->actions();
        ASSERT_EQ(items.size(), 3);
        EXPECT_EQ(items[0]->text(), "Video Tuner");
        EXPECT_EQ(items[1]->text(), "Video Composite");
        EXPECT_EQ(items[2]->text(), "Video SVideo");
        EXPECT_TRUE(items[2]->isChecked());       // the one in use, not the tuner
        EXPECT_EQ(card->selected.size(), routed); // opening the menu routes nothing

        items[1]->trigger();
        EXPECT_EQ(card->selected.back(), 1);
        EXPECT_EQ(prefs::VideoInputSelect->Value, 1);
        EXPECT_TRUE(items[1]->isChecked());
        EXPECT_FALSE(items[2]->isChecked());
    }
    SetVideoInputsFinder(nullptr);
}

TEST(SettingsMenus, theSoundCardsInputLinesFillTheListAndAChoiceEnablesOnlyThatLine) {
    Recorder r(Sources{{"Source video", "No video stream"}, {"Source Audio", "Vidorel Test Tone"}});
    TCaptureForm& form = r.form;
    QComboBox* lines = form.SourcesFrame()->cbEntries;
    // Three lines, the second one enabled: listed, chosen, remembered.
    ASSERT_TRUE(lines->isVisibleTo(form.SourcesFrame()));
    ASSERT_EQ(lines->count(), 3);
    EXPECT_EQ(lines->itemText(0), "Line In");
    EXPECT_EQ(lines->itemText(1), "Microphone");
    EXPECT_EQ(lines->itemText(2), "CD");
    EXPECT_EQ(lines->currentIndex(), 1);
    EXPECT_EQ(prefs::SoundCardEntry->Value, "Microphone");

    lines->setCurrentIndex(2);
    emit lines->activated(2);
    EXPECT_EQ(prefs::SoundCardEntry->Value, "CD");
    ASSERT_TRUE(r.dm.AudioInputs);
    const auto now = r.dm.AudioInputs->Enumerate();
    ASSERT_EQ(now.size(), 3u);
    EXPECT_FALSE(now[1].enabled);
    EXPECT_TRUE(now[2].enabled);

    // No sound card: no list.
    form.SourcesFrame()->cboxAudio->setCurrentText("No Audio Stream");
    form.cboxAudioChange();
    Settle(200);
    EXPECT_FALSE(lines->isVisibleTo(form.SourcesFrame()));
}

TEST(SettingsMenus, theAlsaCardOfADeviceName) {
    EXPECT_EQ(devices::AlsaCardOf("hw:1,0"), "hw:1");
    EXPECT_EQ(devices::AlsaCardOf("hw:0"), "hw:0");
    EXPECT_EQ(devices::AlsaCardOf("plughw:CARD=PCH,DEV=0"), "hw:PCH");
    EXPECT_EQ(devices::AlsaCardOf("sysdefault:CARD=Intel"), "hw:Intel");
    EXPECT_EQ(devices::AlsaCardOf("default"), "");
    EXPECT_EQ(devices::AlsaCardOf("pulse"), "");
    EXPECT_EQ(devices::AlsaCardOf("dmix:0"), "");
    EXPECT_EQ(devices::AlsaCardOf("hw:"), "");
    // A card that is not there has no lines and enables none.
    const auto missing = devices::AlsaInputLines("hw:97");
    EXPECT_TRUE(missing->Enumerate().empty());
    EXPECT_FALSE(missing->Enable("Mic"));
}

TEST(SettingsMenus, theCapturePinPageChangesTheSizeAndRateAndTheDeviceKeepsThem) {
    Recorder r(
        Sources{{"Source video", "Vidorel Test Pattern"}, {"Source Audio", "No Audio Stream"}});
    TCaptureForm& form = r.form;
    ASSERT_TRUE(WaitFor([&] { return r.dm.Facts.FrameWidth == 720; }));
    QMenu menu;
    form.BuildSettingsMenu(menu, true);
    QAction* pin = Named(menu, "VideoCapturePin");
    ASSERT_TRUE(pin);
    EXPECT_EQ(pin->text(), "Video Capture Pin...");
    QStringList offered;
    form.RunDialog = [&offered](QDialog& dialog) {
        auto* list = dialog.findChild<QComboBox*>("Formats");
        for (int i = 0; i < list->count(); ++i) {
            offered << list->itemText(i);
        }
        list->setCurrentIndex(list->findText("640x480 - 30 fps"));
        return static_cast<int>(QDialog::Accepted);
    };
    pin->trigger();
    EXPECT_EQ(offered, (QStringList{"The device's own", "720x576 - 25 fps", "640x480 - 30 fps",
                                    "320x240 - 30 fps"}));
    ASSERT_TRUE(WaitFor([&] { return r.dm.Facts.FrameWidth == 640; }));
    EXPECT_EQ(r.dm.Facts.FrameHeight, 480);
    // The label follows once the stream tells its facts.
    EXPECT_TRUE(
        WaitFor([&] { return form.SourcesFrame()->LabVideo->text() == "640x480 - 30 fps"; }, 3000))
        << form.SourcesFrame()->LabVideo->text().toStdString();
    EXPECT_EQ(StoredVideoFormat("Vidorel Test Pattern"),
              "video/x-raw, width=(int)640, height=(int)480, framerate=(fraction)30/1");

    // Back to the device's own format.
    form.RunDialog = [](QDialog& dialog) {
        dialog.findChild<QComboBox*>("Formats")->setCurrentIndex(0);
        return static_cast<int>(QDialog::Accepted);
    };
    pin->trigger();
    ASSERT_TRUE(WaitFor([&] { return r.dm.Facts.FrameWidth == 720; }));
    EXPECT_EQ(StoredVideoFormat("Vidorel Test Pattern"), "");
}

TEST(SettingsMenus, theFormatsOfADeviceAreItsFixedSizesWithEachOfTheirRates) {
    gst_init(nullptr, nullptr);
    auto caps = GstCapsRef::adopt(gst_caps_from_string(
        "video/x-raw, width=(int)640, height=(int)480, framerate=(fraction){ 30/1, 15/1 }; "
        "image/jpeg, width=(int)1280, height=(int)720, framerate=(fraction)30000/1001; "
        "video/x-raw, width=(int)[ 1, 100 ], height=(int)[ 1, 100 ], framerate=(fraction)30/1; "
        "video/x-raw, width=(int)640, height=(int)480, framerate=(fraction)30/1"));
    const auto formats = VideoFormatsOf(caps.get());
    ASSERT_EQ(formats.size(), 3u); // the range is left out, the repeat counted once
    EXPECT_EQ(formats[0].Text(), "640x480 - 30 fps");
    EXPECT_EQ(formats[1].Text(), "640x480 - 15 fps");
    EXPECT_EQ(formats[2].Text(), "1280x720 - 29.97 fps");
    EXPECT_EQ(formats[2].Caps(),
              "image/jpeg, width=(int)1280, height=(int)720, framerate=(fraction)30000/1001");
    EXPECT_TRUE(VideoFormatsOf(nullptr).empty());
}
