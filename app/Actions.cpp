#include "app/Actions.h"

#include <QAction>
#include <QWidget>

namespace vidorel {

namespace {

struct TActionSpec {
    const char* name;
    const char* category;
    std::vector<QKeySequence> keys; // primary first
    const char* secondaryText;      // the secondary shortcut as the tables write it
    bool checkable;
    bool hidden;
};

constexpr auto Kp = Qt::KeypadModifier;

} // namespace

TActions::TActions(QWidget* owner) {
    const auto make = [&](const TActionSpec& s) {
        auto* a = new QAction(owner);
        a->setObjectName(QString::fromUtf8(s.name));
        a->setProperty("category", QString::fromUtf8(s.category));
        if (s.secondaryText != nullptr) {
            a->setProperty("secondary", QStringList{QString::fromUtf8(s.secondaryText)});
        }
        a->setShortcuts(QList<QKeySequence>(s.keys.begin(), s.keys.end()));
        a->setShortcutContext(Qt::WindowShortcut);
        a->setCheckable(s.checkable);
        a->setVisible(!s.hidden);
        all_.push_back(a);
        return a;
    };
    using K = QKeySequence;
    const Qt::KeyboardModifier C = Qt::ControlModifier, A = Qt::AltModifier, S = Qt::ShiftModifier;
    acCapturerBascule =
        make({"acCapturerBascule", "action", {K(Qt::Key_Space)}, nullptr, false, false});
    acCouper =
        make({"acCouper", "action", {K(Qt::Key_F7), K(C | Qt::Key_X)}, "CTRL+X", false, false});
    acGrab = make({"acGrab", "action", {K(Qt::Key_F5), K(C | Qt::Key_G)}, "CTRL+G", false, false});
    acProgrammerBascule =
        make({"acProgrammerBascule", "action", {K(C | Qt::Key_P)}, nullptr, false, false});
    acfullscreen = make({"acfullscreen",
                         "action",
                         {K(A | Qt::Key_Return), K(Qt::Key_F11), K(A | Qt::Key_Enter)},
                         "F11",
                         true,
                         false});
    acMute = make({"acMute", "action", {K(C | Qt::Key_M)}, nullptr, true, false});
    acIncVolume = make({"acIncVolume", "action", {K(Kp | Qt::Key_Plus)}, nullptr, false, false});
    acDecVolume = make({"acDecVolume", "action", {K(Kp | Qt::Key_Minus)}, nullptr, false, false});
    acIncruster =
        make({"acIncruster", "action", {K(Qt::Key_F12), K(C | Qt::Key_I)}, "CTRL+I", true, false});
    acStartIncruster = make({"acStartIncruster", "action", {}, nullptr, false, true});
    acStopIncruster = make({"acStopIncruster", "action", {}, nullptr, false, true});
    acVertFlip = make({"acVertFlip", "action", {K(Qt::Key_F4)}, nullptr, true, false});
    acHorzFlip = make({"acHorzFlip", "action", {K(S | Qt::Key_F4)}, nullptr, true, false});
    acDesentrelacer = make({"acDesentrelacer", "action", {K(C | Qt::Key_D)}, nullptr, true, false});
    acElargir = make({"acElargir", "action", {K(Qt::Key_F3)}, nullptr, true, false});
    acWideScreen = make({"acWideScreen", "action", {K(C | Qt::Key_F3)}, nullptr, true, false});
    acLockPreview = make({"acLockPreview", "action", {K(Qt::Key_F9)}, nullptr, true, false});
    acTapelog = make({"acTapelog", "action", {K(Qt::Key_F8)}, nullptr, false, false});
    acOuvrirDossierVideos = make({"acOuvrirDossierVideos", "action", {}, nullptr, false, false});
    acJpgOption = make({"acJpgOption", "Options", {K(C | Qt::Key_J)}, nullptr, true, false});
    acBmpOption = make({"acBmpOption", "Options", {K(C | Qt::Key_B)}, nullptr, true, false});
    acSauverPrefs = make({"acSauverPrefs", "Options", {K(C | Qt::Key_S)}, nullptr, false, false});
    acSliders = make({"acSliders", "frame", {K(A | Qt::Key_Y)}, nullptr, true, false});
    acReduire = make({"acReduire", "frame", {K(A | Qt::Key_Backspace)}, nullptr, true, false});
    acBasculerPanneau =
        make({"acBasculerPanneau", "frame", {K(A | Qt::Key_W)}, nullptr, false, false});
    acNextPanneau =
        make({"acNextPanneau", "frame", {K(Qt::Key_F6), K(A | Qt::Key_N)}, "ALT+N", false, false});
    acSourcesFrame =
        make({"acSourcesFrame", "frame", {K(Qt::Key_F2), K(A | Qt::Key_S)}, "ALT+S", true, false});
    acDossiersFrame = make({"acDossiersFrame", "frame", {K(A | Qt::Key_D)}, nullptr, true, false});
    acProgrammerFrame =
        make({"acProgrammerFrame", "frame", {K(A | Qt::Key_P)}, nullptr, true, false});
    acExtraireFrame = make({"acExtraireFrame", "frame", {K(A | Qt::Key_G)}, nullptr, true, false});
    acIncrusterFrame =
        make({"acIncrusterFrame", "frame", {K(A | Qt::Key_I)}, nullptr, true, false});
    acOptionsFrame =
        make({"acOptionsFrame", "frame", {K(Qt::Key_F10), K(A | Qt::Key_O)}, "ALT+O", true, false});
    acHelp = make({"acHelp", "frame", {K(Qt::Key_F1), K(A | Qt::Key_H)}, "ALT+H", true, false});
    acApropos = make({"acApropos", "frame", {K(A | Qt::Key_A)}, nullptr, true, false});
    acQuitter = make(
        {"acQuitter", "general", {K(A | Qt::Key_F4), K(C | Qt::Key_Q)}, "CTRL+Q", false, false});
    camPlayPause = make({"camPlayPause", "camera", {K(C | Qt::Key_Space)}, nullptr, false, false});
    camStop = make({"camStop", "camera", {K(C | Qt::Key_End)}, nullptr, false, false});
    camAvanceLent =
        make({"camAvanceLent", "camera", {K(C | Qt::Key_Right)}, nullptr, false, false});
    camAvanceRapide =
        make({"camAvanceRapide", "camera", {K(C | Qt::Key_Up)}, nullptr, false, false});
    camReculeLent = make({"camReculeLent", "camera", {K(C | Qt::Key_Left)}, nullptr, false, false});
    camReculeRapide =
        make({"camReculeRapide", "camera", {K(C | Qt::Key_Down)}, nullptr, false, false});
    camToggle = make({"camToggle", "camera", {K(C | Qt::Key_Insert)}, nullptr, false, false});
    acShowVideoPilotDV = make({"acShowVideoPilotDV", "action", {}, nullptr, false, false});
    acShowAudioPilotDV = make({"acShowAudioPilotDV", "action", {}, nullptr, false, false});
    for (QAction* a : all_) {
        owner->addAction(a);
    }
}

QAction* TActions::Panel(int n) const {
    const QAction* const panels[] = {acSourcesFrame,  acDossiersFrame,  acProgrammerFrame,
                                     acExtraireFrame, acIncrusterFrame, acOptionsFrame,
                                     acHelp,          acApropos};
    return n >= 0 && n < 8 ? const_cast<QAction*>(panels[n]) : nullptr;
}

QString TActions::Category(const QAction* a) {
    return a->property("category").toString();
}

QStringList TActions::SecondaryTexts(const QAction* a) {
    return a->property("secondary").toStringList();
}

bool KeyBelongsToEditor(const QKeySequence& keys) {
    if (keys.count() != 1) {
        return false;
    }
    const QKeyCombination k = keys[0];
    const Qt::KeyboardModifiers mods = k.keyboardModifiers() & ~Qt::KeypadModifier;
    switch (k.key()) {
    case Qt::Key_Space:
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Insert:
    case Qt::Key_Plus:
    case Qt::Key_Minus:
        return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
    default:
        return false;
    }
}

} // namespace vidorel
