#include "app/ScreenSaver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>

namespace vidorel {

namespace {

constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPath = "/org/freedesktop/ScreenSaver";

} // namespace

TScreenSaverInhibitor::~TScreenSaverInhibitor() {
    Release();
}

bool TScreenSaverInhibitor::Inhibit() {
    if (active_) {
        return true;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr ||
        !bus.interface()->isServiceRegistered(QString::fromUtf8(kService)).value()) {
        return false;
    }
    QDBusInterface saver(QString::fromUtf8(kService), QString::fromUtf8(kPath),
                         QString::fromUtf8(kService), bus);
    const QDBusReply<uint> reply = saver.call(QStringLiteral("Inhibit"), QStringLiteral("Vidorel"),
                                              QStringLiteral("Previewing or recording video"));
    if (!reply.isValid()) {
        return false;
    }
    cookie_ = reply.value();
    active_ = true;
    return true;
}

void TScreenSaverInhibitor::Release() {
    if (!active_) {
        return;
    }
    active_ = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusInterface saver(QString::fromUtf8(kService), QString::fromUtf8(kPath),
                         QString::fromUtf8(kService), bus);
    saver.call(QStringLiteral("UnInhibit"), cookie_);
}

} // namespace vidorel
