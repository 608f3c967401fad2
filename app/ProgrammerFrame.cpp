#include "app/ProgrammerFrame.h"

#include "app/Controls.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace vidorel {

namespace {

// A time field shows two digits, as a clock does.
class TTimeSpin : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QString textFromValue(int value) const override {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    }
};

QSpinBox* MakeSpin(const char* name, QWidget* parent, int x, int y, int max) {
    QSpinBox* spin = Make<TTimeSpin>(name, parent, x, y, 76, 24);
    spin->setRange(0, max);
    spin->setAlignment(Qt::AlignRight);
    return spin;
}

QDateEdit* MakeDate(const char* name, QWidget* parent) {
    auto* date = Make<QDateEdit>(name, parent, 10, 24, 239, 24);
    date->setCalendarPopup(true);
    return date;
}

void SetTime(QSpinBox* h, QSpinBox* m, QSpinBox* s, const QTime& t) {
    h->setValue(t.hour());
    m->setValue(t.minute());
    s->setValue(t.second());
}

QDateTime Combine(const QDateEdit* date, const QSpinBox* h, const QSpinBox* m, const QSpinBox* s) {
    return QDateTime(date->date(), QTime(h->value(), m->value(), s->value()));
}

} // namespace

TProgrammerFrame::TProgrammerFrame(QWidget* parent) : TPanelFrame("ProgrammerFrame", parent) {
    gbProgrammer = Make<QGroupBox>("gbProgrammer", this, 0, 0, kWidth, kHeight);

    RxClock2 = Make<QLabel>("RxClock2", gbProgrammer, 8, 24, 259, 46);
    RxClock2->setAlignment(Qt::AlignCenter);
    RxClock2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont clockFont = RxClock2->font();
    // Rockwell where it is installed, another slab or serif face elsewhere.
    clockFont.setFamilies({QStringLiteral("Rockwell"), QStringLiteral("Roboto Slab"),
                           QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")});
    clockFont.setPointSize(20);
    clockFont.setBold(true);
    RxClock2->setFont(clockFont);

    gbDebut = Make<QGroupBox>("gbDebut", gbProgrammer, 8, 82, 259, 88);
    DateEdit1 = MakeDate("DateEdit1", gbDebut);
    RxSpinEdit1 = MakeSpin("RxSpinEdit1", gbDebut, 10, 56, 23);
    RxSpinEdit2 = MakeSpin("RxSpinEdit2", gbDebut, 91, 56, 59);
    RxSpinEdit3 = MakeSpin("RxSpinEdit3", gbDebut, 173, 56, 59);

    NowBtn = Make<QToolButton>("NowBtn", gbProgrammer, 123, 176, 30, 26);
    NowBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));

    gbFin = Make<QGroupBox>("gbFin", gbProgrammer, 8, 208, 259, 88);
    DateEdit2 = MakeDate("DateEdit2", gbFin);
    RxSpinEdit4 = MakeSpin("RxSpinEdit4", gbFin, 10, 56, 23);
    RxSpinEdit5 = MakeSpin("RxSpinEdit5", gbFin, 91, 56, 59);
    RxSpinEdit6 = MakeSpin("RxSpinEdit6", gbFin, 173, 56, 59);

    ProgBtn = Make<QPushButton>("ProgBtn", gbProgrammer, 8, 316, 259, 36);

    connect(NowBtn, &QToolButton::clicked, this, [this] { CopyStartToEnd(); });

    clockTimer_ = new QTimer(this);
    clockTimer_->setInterval(1000);
    connect(clockTimer_, &QTimer::timeout, this, [this] { ShowClock(QTime::currentTime()); });
    clockTimer_->start();
    ShowClock(QTime::currentTime());
}

const TTextTable& TProgrammerFrame::Texts() const {
    return ProgrammerTexts();
}

void TProgrammerFrame::ShowClock(const QTime& time) {
    RxClock2->setText(time.toString(QStringLiteral("HH:mm:ss")));
}

void TProgrammerFrame::PanelShown() {
    ShowClock(QTime::currentTime());
    if (!TimesArmed || !TimesArmed()) {
        PrefillTimes(QDateTime::currentDateTime());
    }
}

void TProgrammerFrame::PrefillTimes(const QDateTime& now) {
    const QDateTime start = now.addSecs(60);
    const QDateTime end = now.addSecs(31 * 60);
    DateEdit1->setDate(start.date());
    SetTime(RxSpinEdit1, RxSpinEdit2, RxSpinEdit3,
            QTime(start.time().hour(), start.time().minute()));
    DateEdit2->setDate(end.date());
    SetTime(RxSpinEdit4, RxSpinEdit5, RxSpinEdit6, QTime(end.time().hour(), end.time().minute()));
}

void TProgrammerFrame::CopyStartToEnd() {
    DateEdit2->setDate(DateEdit1->date());
    RxSpinEdit4->setValue(RxSpinEdit1->value());
    RxSpinEdit5->setValue(RxSpinEdit2->value());
    RxSpinEdit6->setValue(RxSpinEdit3->value());
}

QDateTime TProgrammerFrame::StartDateTime() const {
    return Combine(DateEdit1, RxSpinEdit1, RxSpinEdit2, RxSpinEdit3);
}

QDateTime TProgrammerFrame::EndDateTime() const {
    return Combine(DateEdit2, RxSpinEdit4, RxSpinEdit5, RxSpinEdit6);
}

} // namespace vidorel
