#include "app/AproposFrame.h"

#include "app/Controls.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTextEdit>
#include <QToolButton>

#include <gst/gst.h>

#include <cstring>

#if __has_include(<jconfig.h>)
#include <jconfig.h>
#endif

namespace vidorel {

namespace {

// Tapelog's icon: a tape cassette, drawn so that no image file has to travel with the program.
QIcon TapelogIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(70, 90, 130));
    p.drawRoundedRect(QRectF(4, 12, 56, 40), 5, 5);
    p.setBrush(QColor(235, 225, 190));
    p.drawRoundedRect(QRectF(10, 17, 44, 16), 3, 3);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(21, 25), 5, 5);
    p.drawEllipse(QPointF(43, 25), 5, 5);
    QPainterPath foot;
    foot.moveTo(16, 52);
    foot.lineTo(20, 42);
    foot.lineTo(44, 42);
    foot.lineTo(48, 52);
    p.setBrush(QColor(50, 60, 90));
    p.drawPath(foot);
    return QIcon(pixmap);
}

} // namespace

const char* const kHomepageUrl = "https://vidorel.example.org";
const char* const kSupportMail = "support@vidorel.example.org";

QUrl MailtoUrl(const QString& address, const QString& subject, const QString& body) {
    QString url = QStringLiteral("mailto:") + address + QStringLiteral("?subject=") +
                  QString::fromLatin1(QUrl::toPercentEncoding(subject));
    if (!body.isEmpty()) {
        url += QStringLiteral("&body=") + QString::fromLatin1(QUrl::toPercentEncoding(body));
    }
    return QUrl(url, QUrl::StrictMode);
}

QString LinkHtml(const QUrl& url, const QString& caption) {
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(QString::fromLatin1(url.toEncoded()).toHtmlEscaped(), caption.toHtmlEscaped());
}

QString TableCaption(const TTextTable& table, const char* control) {
    for (const TTextEntry& e : table) {
        if (std::strcmp(e.control, control) == 0 && e.caption != nullptr) {
            return QString::fromUtf8(e.caption);
        }
    }
    return {};
}

QString BuiltWithComponents() {
    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    QString text = QStringLiteral("Qt %1, GStreamer %2.%3.%4")
                       .arg(QString::fromLatin1(qVersion()))
                       .arg(major)
                       .arg(minor)
                       .arg(micro);
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
    // libjpeg-turbo tells its version only to the compiler.
    constexpr int kJpeg = LIBJPEG_TURBO_VERSION_NUMBER;
    text += QStringLiteral(" and libjpeg-turbo %1.%2.%3")
                .arg(kJpeg / 1000000)
                .arg(kJpeg / 1000 % 1000)
                .arg(kJpeg % 1000);
#else
    text += QStringLiteral(" and libjpeg");
#endif
    return text;
}

TAproposFrame::TAproposFrame(QWidget* parent) : TPanelFrame("AproposFrame", parent) {
    AproposTitre = Make<QLabel>("AproposTitre", this);
    AproposTitre->setGeometry(8, 10, kWidth - 16, 30);
    AproposTitre->setAlignment(Qt::AlignCenter);
    QFont title = AproposTitre->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.5);
    AproposTitre->setFont(title);

    AproposRichEdit = Make<QTextEdit>("AproposRichEdit", this);
    AproposRichEdit->setGeometry(8, 48, kWidth - 16, 176);
    AproposRichEdit->setReadOnly(true);
    QFont arial(QStringLiteral("Arial"), 8);
    AproposRichEdit->setFont(arial);
    AproposRichEdit->document()->setDefaultFont(arial);

    AproposContact = Make<QLabel>("AproposContact", this);
    AproposContact->setGeometry(10, 232, kWidth - 20, 84);
    AproposContact->setWordWrap(true);
    AproposContact->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    imgTapelog = Make<QToolButton>("imgTapelog", this);
    imgTapelog->setGeometry(10, 326, 56, 56);
    imgTapelog->setIcon(TapelogIcon());
    imgTapelog->setIconSize(QSize(48, 48));
    imgTapelog->setAutoRaise(true);

    lienSiteWeb = Make<QLabel>("lienSiteWeb", this);
    lienSiteWeb->setGeometry(76, 334, kWidth - 84, 20);
    lienSiteWeb->setOpenExternalLinks(true);
    lienMail = Make<QLabel>("lienMail", this);
    lienMail->setGeometry(76, 356, kWidth - 84, 20);
    lienMail->setOpenExternalLinks(true);
}

void TAproposFrame::ApplyEnglishTexts() {
    TPanelFrame::ApplyEnglishTexts();
    AproposRichEdit->setHtml(AproposDescription(BuiltWithComponents()));
    ShowLinks();
}

void TAproposFrame::PanelShown() {
    AproposTitre->setText(AproposTitle());
}

void TAproposFrame::SetMailBody(const QString& body) {
    body_ = body;
    ShowLinks();
}

QUrl TAproposFrame::MailUrl() const {
    return MailtoUrl(QString::fromLatin1(kSupportMail), AproposMailSubject(), body_);
}

void TAproposFrame::ShowLinks() {
    // The captions come from the texts; the addresses are the program's own.
    lienSiteWeb->setText(
        LinkHtml(QUrl(QString::fromLatin1(kHomepageUrl)), TableCaption(Texts(), "lienSiteWeb")));
    lienMail->setText(LinkHtml(MailUrl(), TableCaption(Texts(), "lienMail")));
}

const TTextTable& TAproposFrame::Texts() const {
    return AproposFrameTexts();
}

} // namespace vidorel
