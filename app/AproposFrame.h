#pragma once

// The About panel: the product, its version and maker, what it was built with, the date of
// its last update, how to get help, the Tapelog icon, and links to the web site and the mail.

#include "app/PanelFrame.h"

#include <QUrl>

class QLabel;
class QTextEdit;
class QToolButton;

namespace vidorel {

// The maker's addresses, shared by the About and error report panels.
extern const char* const kHomepageUrl; // "https://vidorel.example.org"
extern const char* const kSupportMail; // "support@vidorel.example.org"

// "mailto:" + address with the subject and body percent-encoded (UTF-8).
QUrl MailtoUrl(const QString& address, const QString& subject, const QString& body);
// A label's text showing `caption` as a link to `url`.
QString LinkHtml(const QUrl& url, const QString& caption);
// The caption a text table gives `control`; empty when it gives none.
QString TableCaption(const TTextTable& table, const char* control);

// The English texts of the panel (app/texts/AproposTexts.cpp).
const TTextTable& AproposFrameTexts();
// "Vidorel 5.1.7 En"
QString AproposTitle();
// "About  Vidorel 5.1.7 En" (two blanks, as the program always wrote it)
QString AproposMailSubject();
// The description as rich text: product, version, language, maker, the components with their
// versions, and "Its last update was made on" with the date in the locale's long form.
QString AproposDescription(const QString& components);
// "Qt 6.4.2, GStreamer 1.22.0 and libjpeg-turbo 2.1.5", read at run time where possible.
QString BuiltWithComponents();

class TAproposFrame : public TPanelFrame {
public:
    explicit TAproposFrame(QWidget* parent = nullptr);

    QLabel* AproposTitre;
    QTextEdit* AproposRichEdit;
    QLabel* AproposContact;
    // Bound to acTapelog by the main window, which also rewrites its hint.
    QToolButton* imgTapelog;
    QLabel* lienSiteWeb;
    QLabel* lienMail;

    void ApplyEnglishTexts() override;
    // Writes the title.
    void PanelShown() override;

    // The mail's body (the system report, as plain text with its line breaks).
    void SetMailBody(const QString& body);
    QUrl MailUrl() const;

protected:
    const TTextTable& Texts() const override;

private:
    void ShowLinks();

    QString body_;
};

} // namespace vidorel
