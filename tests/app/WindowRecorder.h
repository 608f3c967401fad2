#pragma once

// The main window on the real engine and the virtual devices, recording into a folder of its
// own on a test clock, with a scripted prompt: what the window tests drive.
#include "app/CaptureForm.h"
#include "app/SourcesFrame.h"
#include "graph/AVgraph.h"
#include "platform/RegistryStore.h"
#include "settings/Preferences.h"
#include "tests/app/QtTestApp.h"
#include "tests/support/EventLoop.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vidorel::test {

using ScriptedPrompt = TScriptedPrompt;

inline void Settle(int ms = 100) {
    Spin(std::chrono::milliseconds(ms));
}

inline bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return SpinUntil(done, std::chrono::milliseconds(ms));
}

inline void Seed(const std::vector<std::pair<std::string, std::string>>& strings,
                 const std::vector<std::pair<std::string, uint32_t>>& numbers) {
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    reg.DeleteKey(PreferenceKeyPath());
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), true));
    for (const auto& [k, v] : strings) {
        reg.WriteString(k, v);
    }
    for (const auto& [k, v] : numbers) {
        reg.WriteDWord(k, v);
    }
    ASSERT_TRUE(reg.Commit());
}

inline QDateTime At(int h, int m, int s = 0, int day = 9) {
    return QDateTime(QDate(2026, 12, day), QTime(h, m, s));
}

struct Toolkits {
    Toolkits() {
        TestApp();
        gst_init(nullptr, nullptr);
    }
};

// A window recording into its own folder, on a test clock.
struct Recorder {
    Toolkits toolkits; // first: the engine needs them
    QTemporaryDir folder;
    QDateTime now = At(9, 0);
    Tdm dm;
    TCaptureForm form;
    ScriptedPrompt prompt;

    explicit Recorder(const std::vector<std::pair<std::string, std::string>>& strings,
                      std::vector<std::pair<std::string, uint32_t>> numbers = {}) {
        auto all = strings;
        all.push_back({"Video Directory", folder.path().toStdString() + "/clips/"});
        numbers.push_back({"Preview Locked", 0});
        // Questions without a scripted answer get Yes (and messages Ok).
        prompt.unscripted = [](PromptButtons b) {
            return b == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Yes;
        };
        Seed(all, numbers);
        form.SetDataModule(&dm);
        form.SetUserPrompt(&prompt);
        form.Clock = [this] { return now; };
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        EXPECT_TRUE(WaitFor([&] { return form.StartupDone(); }));
        Settle(200);
    }
    ~Recorder() { form.close(); }
    QAction* Action(const char* name) const { return form.findChild<QAction*>(name); }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(&form, static_cast<Qt::Key>(key), mods);
        Settle(50);
    }
    void Format(const char* name) {
        QComboBox* box = form.SourcesFrame()->cbFormatCapture;
        const int i = box->findText(name);
        ASSERT_GE(i, 0) << name;
        box->setCurrentIndex(i);
        emit box->activated(i);
        Settle(100);
    }
    bool Stopped() {
        return WaitFor([&] { return !form.Run() && !form.Stopping(); });
    }
    TProgrammerFrame* Schedule() const { return form.ProgrammerFrame(); }
    QColor FrameColour() const {
        return form.findChild<QFrame*>("Shape2")->palette().color(QPalette::Window);
    }
};

struct TProbe {
    bool ok = false;
    int videoFrames = 0;
    std::string errors;
};

// What ffprobe makes of a file.
inline TProbe ProbeMedia(const std::string& path) {
    const QJsonObject info = ffprobe(path);
    TProbe p;
    p.ok = !info.isEmpty();
    if (!p.ok) {
        p.errors = "ffprobe refused it";
    }
    for (const auto& stream : info["streams"].toArray()) {
        const QJsonObject o = stream.toObject();
        if (o["codec_type"].toString() == "video") {
            p.videoFrames = o["nb_read_frames"].toString().toInt();
        }
    }
    return p;
}

inline std::string Stem(const Recorder& r) {
    return r.folder.path().toStdString() + "/clips/Video_";
}

} // namespace vidorel::test
