#include "app/ErreurFrame.h"

#include "app/Controls.h"

#include "app/AproposFrame.h"

#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

namespace vidorel {

TErreurFrame::TErreurFrame(QWidget* parent) : TPanelFrame("ErreurFrame", parent) {
    setFixedSize(kReportWidth, kReportHeight);

    ErreurTitre = Make<QLabel>("ErreurTitre", this);
    ErreurTitre->setGeometry(12, 10, kReportWidth - 24, 30);
    QFont title = ErreurTitre->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.4);
    ErreurTitre->setFont(title);

    ErreurMemo = Make<QTextEdit>("ErreurMemo", this);
    ErreurMemo->setGeometry(12, 46, kReportWidth - 24, 286);
    ErreurMemo->setReadOnly(true);

    lienSiteErreur = Make<QLabel>("lienSiteErreur", this);
    lienSiteErreur->setGeometry(12, 342, kReportWidth - 24, 20);
    lienSiteErreur->setOpenExternalLinks(true);
    lienMailErreur = Make<QLabel>("lienMailErreur", this);
    lienMailErreur->setGeometry(12, 366, kReportWidth - 24, 20);
    lienMailErreur->setOpenExternalLinks(true);

    FermerErreurBtn = Make<QPushButton>("FermerErreurBtn", this);
    FermerErreurBtn->setGeometry(kReportWidth - 12 - 96, kReportHeight - 12 - 30, 96, 30);
    connect(FermerErreurBtn, &QPushButton::clicked, this, [this] {
        hide();
        if (OnClose) {
            OnClose(fatal_);
        }
    });
}

void TErreurFrame::ApplyEnglishTexts() {
    TPanelFrame::ApplyEnglishTexts();
    ShowLinks();
}

void TErreurFrame::ShowErrorReport(const QString& problems, bool fatal, QSize windowSize) {
    fatal_ = fatal;
    windowSize_ = windowSize;
    ErreurTitre->setText(ErreurTitle());
    ErreurMemo->setPlainText(ErreurReportText(problems, fatal));
    ShowLinks();
    move(0, 0);
    raise();
    show();
}

void TErreurFrame::SetMailBody(const QString& body) {
    body_ = body;
    ShowLinks();
}

QUrl TErreurFrame::MailUrl() const {
    return MailtoUrl(QString::fromLatin1(kSupportMail), ErreurMailSubject(), body_);
}

void TErreurFrame::ShowLinks() {
    lienSiteErreur->setText(
        LinkHtml(QUrl(QString::fromLatin1(kHomepageUrl)), TableCaption(Texts(), "lienSiteErreur")));
    lienMailErreur->setText(LinkHtml(MailUrl(), TableCaption(Texts(), "lienMailErreur")));
}

const TTextTable& TErreurFrame::Texts() const {
    return ErreurFrameTexts();
}

} // namespace vidorel
