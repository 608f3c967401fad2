#include "app/AproposFrame.h"

#include "settings/Preferences.h"

#include <QDate>
#include <QLocale>

namespace vidorel {

namespace {

QString Product() {
    return QString::fromLatin1(kProductName);
}

} // namespace

const TTextTable& AproposFrameTexts() {
    static const TTextTable table = {
        {"imgTapelog", nullptr, "Click to open the captured clips with Tapelog."},
        {"AproposContact",
         "For help, information or updates, please visit the web site of Vidorel. To report a "
         "problem or ask a question, send an e-mail and say which version you use, on which "
         "system, and with which capture device."},
        {"lienSiteWeb", "vidorel.example.org", "Visit the web site of Vidorel."},
        {"lienMail", "support@vidorel.example.org", "Write an e-mail about Vidorel."},
    };
    return table;
}

QString AproposTitle() {
    return QStringLiteral("%1 %2 %3")
        .arg(Product(), QString::fromLatin1(kProductVersion), QString::fromLatin1(kLanguage));
}

QString AproposMailSubject() {
    return QStringLiteral("About  %1 %2")
        .arg(Product(), QString::fromLatin1(kProductVersion) + QLatin1Char(' ') +
                            QString::fromLatin1(kLanguage));
}

QString AproposDescription(const QString& components) {
    // The date of the last update, in the user's long date form.
    const QString updated = QLocale().toString(QDate(2006, 11, 8), QLocale::LongFormat);
    return QStringLiteral("<p><b>%1</b> version %2, language %3, by %4, previews and records "
                          "video and sound from DV camcorders, capture cards, TV tuners and "
                          "webcams.</p>"
                          "<p>It was built with %5.</p>"
                          "<p>Its last update was made on %6.</p>")
        .arg(Product().toHtmlEscaped(), QString::fromLatin1(kProductVersion),
             QString::fromLatin1(kLanguage), QString::fromLatin1(kMakerName).toHtmlEscaped(),
             components.toHtmlEscaped(), updated.toHtmlEscaped());
}

} // namespace vidorel
