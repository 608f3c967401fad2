#include "app/ErreurFrame.h"

#include "settings/Preferences.h"

namespace vidorel {

const TTextTable& ErreurFrameTexts() {
    static const TTextTable table = {
        {"FermerErreurBtn", "Close"},
        {"lienSiteErreur", "vidorel.example.org", "Visit the web site of Vidorel."},
        {"lienMailErreur", "Send this error report by e-mail",
         "Write an e-mail with this report and the system report."},
    };
    return table;
}

QString ErreurTitle() {
    return QString::fromLatin1(kMakerName) + QStringLiteral(" is sorry:");
}

QString ErreurMailSubject() {
    return QStringLiteral("Error report of ") + QString::fromLatin1(kProductName) +
           QLatin1Char(' ') + QString::fromLatin1(kProductVersion);
}

QString ErreurReportText(const QString& problems, bool fatal) {
    const QString product = QString::fromLatin1(kProductName);
    return product +
           (fatal ? QStringLiteral(" has encountered a fatal error")
                  : QStringLiteral(" has found potential problems")) +
           QStringLiteral(" on your system:") + QStringLiteral("\r\n\r\n") + problems +
           QStringLiteral("\r\n") +
           QStringLiteral("You should send me an e-mail about this problem, and indicate please "
                          "which program you are using, under which operating system , what "
                          "kind of video stream is currently working , its codec...\r\nTo get "
                          "help about %1, informations, or updates, please visit my web site.")
               .arg(product);
}

} // namespace vidorel
