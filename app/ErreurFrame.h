#pragma once

// The error report panel: what the start-up found wrong, with a mail link to report it. It
// covers the whole window; the main window gives its client area the panel's size while it is
// shown and its own size back when it is closed.

#include "app/PanelFrame.h"

#include <QSize>
#include <QUrl>

#include <functional>

class QLabel;
class QTextEdit;
class QPushButton;

namespace vidorel {

// The English texts of the panel (app/texts/ErreurTexts.cpp).
const TTextTable& ErreurFrameTexts();
// "Marlott is sorry:"
QString ErreurTitle();
// "Error report of Vidorel 5.1.7"
QString ErreurMailSubject();
// The report: what happened (fatal or not), the problems, and the advice to write.
QString ErreurReportText(const QString& problems, bool fatal);

class TErreurFrame : public TPanelFrame {
public:
    // The client size the main window takes while the report is shown.
    static constexpr int kReportWidth = 320;
    static constexpr int kReportHeight = 446;

    explicit TErreurFrame(QWidget* parent = nullptr);

    QLabel* ErreurTitre;
    QTextEdit* ErreurMemo;
    QLabel* lienSiteErreur;
    QLabel* lienMailErreur;
    QPushButton* FermerErreurBtn;

    void ApplyEnglishTexts() override;

    // Writes the title, the report and the mail subject, remembers the flag and the window's
    // size before the report (`windowSize`), and shows the panel at (0, 0) in front.
    void ShowErrorReport(const QString& problems, bool fatal, QSize windowSize = {});
    bool Fatal() const { return fatal_; }
    QSize WindowSizeBefore() const { return windowSize_; }

    // The mail's body (the problems and the system report, plain text with line breaks).
    void SetMailBody(const QString& body);
    QUrl MailUrl() const;

    // "Close": the panel is hidden; the main window gives itself its size back, and ends the
    // application when the report was fatal.
    std::function<void(bool fatal)> OnClose;

protected:
    const TTextTable& Texts() const override;

private:
    void ShowLinks();

    bool fatal_ = false;
    QSize windowSize_;
    QString body_;
};

} // namespace vidorel
