#include "app/DecalageForm.h"

#include "app/Controls.h"
#include "app/FormTexts.h"
#include "app/IncrusterFrame.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

namespace vidorel {

const TTextTable& DecalageTexts();

namespace {

QSpinBox* TimeField(const char* name, QWidget* parent, int x, int max) {
    auto* box = Make<QSpinBox>(name, parent, x, 56, 52, 24);
    box->setRange(0, max);
    box->setAlignment(Qt::AlignRight);
    return box;
}

// Whole days from 1899-12-30 and the second of the day, counted on one straight line, so that
// a time before that day (a difference typed from a tape without a date) is one day earlier at
// the right hour instead of mirrored around midnight.
void Fill(QDateEdit* date, QSpinBox* h, QSpinBox* m, QSpinBox* s, TDateTime value) {
    const int64_t total = Round(value * 86400.0);
    int64_t days = total / 86400;
    int64_t second = total % 86400;
    if (second < 0) {
        second += 86400;
        --days;
    }
    const QSignalBlocker q1(date), q2(h), q3(m), q4(s);
    date->setDate(QDate(1899, 12, 30).addDays(days));
    h->setValue(static_cast<int>(second / 3600));
    m->setValue(static_cast<int>(second / 60 % 60));
    s->setValue(static_cast<int>(second % 60));
}

} // namespace

TDecalageForm::TDecalageForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DecalageForm"));
    setFixedSize(300, 262);
    gbCalcul = Make<QGroupBox>("gbCalcul", this, 8, 6, 284, 206);

    const auto group = [this](const char* name, int y, QDateEdit*& date, QSpinBox*& h, QSpinBox*& m,
                              QSpinBox*& s, const char* names[4]) {
        QGroupBox* box = Make<QGroupBox>(name, gbCalcul, 8, y, 268, 86);
        date = Make<QDateEdit>(names[0], box, 8, 24, 150, 26);
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setCalendarPopup(true);
        date->setMinimumDate(QDate(1, 1, 1));
        h = TimeField(names[1], box, 8, 23);
        m = TimeField(names[2], box, 66, 59);
        s = TimeField(names[3], box, 124, 59);
        return box;
    };
    const char* original[4] = {"DateEdit1", "RxSpinEdit1", "RxSpinEdit2", "RxSpinEdit3"};
    const char* fixed[4] = {"DateEdit2", "RxSpinEdit4", "RxSpinEdit5", "RxSpinEdit6"};
    gbDebut = group("gbDebut", 22, DateEdit1, RxSpinEdit1, RxSpinEdit2, RxSpinEdit3, original);
    gbFin = group("gbFin", 112, DateEdit2, RxSpinEdit4, RxSpinEdit5, RxSpinEdit6, fixed);
    // The tape's own time is what it is.
    for (QWidget* w :
         std::initializer_list<QWidget*>{DateEdit1, RxSpinEdit1, RxSpinEdit2, RxSpinEdit3}) {
        w->setEnabled(false);
    }
    NowBtn = Make<QToolButton>("NowBtn", gbFin, 190, 24, 70, 26);

    LabResultat = Make<QLabel>("LabResultat", this, 16, 214, 110, 44);
    QFont bold = LabResultat->font();
    bold.setBold(true);
    LabResultat->setFont(bold);
    bbOK = Make<QPushButton>("bbOK", this, 132, 232, 76, 26);
    bbCancel = Make<QPushButton>("bbCancel", this, 216, 232, 76, 26);
    LabResultat->setWordWrap(true);
    bbOK->setDefault(true);

    connect(DateEdit2, &QDateEdit::dateChanged, this, [this] { Compute(); });
    for (QSpinBox* box : {RxSpinEdit4, RxSpinEdit5, RxSpinEdit6}) {
        connect(box, &QSpinBox::valueChanged, this, [this] { Compute(); });
    }
    connect(NowBtn, &QToolButton::clicked, this, [this] { SetTimes(tapeTime_, tapeTime_); });
    connect(bbOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject);
    ApplyEnglishTexts();
}

void TDecalageForm::ApplyEnglishTexts() {
    ApplyTexts(this, DecalageTexts());
    setWindowTitle(QStringLiteral("Fix a time difference"));
}

void TDecalageForm::SetTimes(TDateTime tapeTime, TDateTime correctedTime) {
    tapeTime_ = tapeTime;
    Fill(DateEdit1, RxSpinEdit1, RxSpinEdit2, RxSpinEdit3, tapeTime);
    Fill(DateEdit2, RxSpinEdit4, RxSpinEdit5, RxSpinEdit6, correctedTime);
    Compute();
}

void TDecalageForm::Compute() {
    const auto seconds = [](QSpinBox* h, QSpinBox* m, QSpinBox* s) {
        return h->value() * 3600 + m->value() * 60 + s->value();
    };
    const int64_t days = DateEdit1->date().daysTo(DateEdit2->date());
    const int64_t secs = seconds(RxSpinEdit4, RxSpinEdit5, RxSpinEdit6) -
                         seconds(RxSpinEdit1, RxSpinEdit2, RxSpinEdit3);
    timeDifference_ = static_cast<double>(days * 86400 + secs) / 86400.0;
    LabResultat->setText(ResultText());
}

QString TDecalageForm::ResultText() const {
    return QString::fromStdString(TimeDifferenceText(timeDifference_));
}

} // namespace vidorel
