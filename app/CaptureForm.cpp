#include "app/CaptureForm.h"

#include "settings/Preferences.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

namespace vidorel {

TCaptureForm::TCaptureForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CaptureForm"));
    setWindowTitle(NormalCaption());
    setFixedSize(kClientWidth, kClientHeight);
    FormCreate();
}

TCaptureForm::~TCaptureForm() = default;

QString TCaptureForm::NormalCaption() {
    return QStringLiteral("%1 %2 by %3")
        .arg(QString::fromUtf8(kProductName), QString::fromUtf8(kProductVersion),
             QString::fromUtf8(kMakerName));
}

void TCaptureForm::FormCreate() {
    // Nothing here may touch the graph: the data module is created after the window.
    CreatePreferenceList();
}

void TCaptureForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TCaptureForm::FormShow() {
    LoadPreferences();
}

void TCaptureForm::LoadPreferences() {
    PreferenceContext ctx;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        ctx.screenWidth = screen->geometry().width();
        ctx.screenHeight = screen->geometry().height();
    }
    ctx.windowWidth = frameGeometry().width();
    ctx.windowHeight = frameGeometry().height();
    CreatePreferences(ctx);
    move(prefs::Left->Value, prefs::Top->Value);
}

void TCaptureForm::StorePreferences() {
    prefs::Top->Value = frameGeometry().top();
    prefs::Left->Value = frameGeometry().left();
    SavePreferences();
}

void TCaptureForm::closeEvent(QCloseEvent* e) {
    // Closing is always allowed; the save at exit stays silent when it fails.
    if (shown_ && prefs::SauverPreferences != nullptr && prefs::SauverPreferences->Value) {
        StorePreferences();
    }
    e->accept();
}

} // namespace vidorel
