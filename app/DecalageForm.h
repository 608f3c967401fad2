#pragma once

// The "Fix a time difference" dialog: the tape's recording date and time beside the one it
// should have been, and the difference between them, exact to the second. The Inlay panel adds
// that difference to the DV datecode it inlays.

#include "platform/DateTime.h"

#include <QDialog>
#include <QString>

class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace vidorel {

class TDecalageForm : public QDialog {
public:
    explicit TDecalageForm(QWidget* parent = nullptr);

    // Fills "Original" from `tapeTime` and "Fixed" from `correctedTime`, then computes.
    void SetTimes(TDateTime tapeTime, TDateTime correctedTime);
    // Fixed − original, in days, from what the fields show now.
    double TimeDifference() const { return timeDifference_; }
    QString ResultText() const;
    // The dialog's own texts.
    void ApplyEnglishTexts();

    QGroupBox* gbCalcul;
    QGroupBox* gbDebut; // the tape's date and time, read only
    QDateEdit* DateEdit1;
    QSpinBox* RxSpinEdit1; // hours
    QSpinBox* RxSpinEdit2; // minutes
    QSpinBox* RxSpinEdit3; // seconds
    QGroupBox* gbFin;      // the fixed date and time
    QDateEdit* DateEdit2;
    QSpinBox* RxSpinEdit4;
    QSpinBox* RxSpinEdit5;
    QSpinBox* RxSpinEdit6;
    QLabel* LabResultat;
    QToolButton* NowBtn;
    QPushButton* bbOK;
    QPushButton* bbCancel;

private:
    void Compute();

    TDateTime tapeTime_ = 0;
    double timeDifference_ = 0;
};

} // namespace vidorel
