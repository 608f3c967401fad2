#pragma once

// The Schedule panel: the start and end of a scheduled capture, a clock with the computer's time,
// and the button that arms or disarms the schedule. It keeps no preferences.

#include "app/PanelFrame.h"

#include <QDateTime>

#include <functional>

class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;
class QToolButton;

namespace vidorel {

class TProgrammerFrame : public TPanelFrame {
public:
    explicit TProgrammerFrame(QWidget* parent = nullptr);

    // Prefills the times unless a schedule is armed or running (TimesArmed).
    void PanelShown() override;
    // Start one minute from `now`, end 31 minutes from it, both on whole minutes.
    void PrefillTimes(const QDateTime& now);
    // End := start (NowBtn), through the end fields' change signals.
    void CopyStartToEnd();
    QDateTime StartDateTime() const;
    QDateTime EndDateTime() const;
    // Shows the clock's time; the panel's own timer calls it every second.
    void ShowClock(const QTime& time);

    QGroupBox* gbProgrammer;
    QLabel* RxClock2;
    QGroupBox* gbDebut;
    QDateEdit* DateEdit1;
    QSpinBox* RxSpinEdit1; // hours 0..23
    QSpinBox* RxSpinEdit2; // minutes 0..59
    QSpinBox* RxSpinEdit3; // seconds 0..59
    QToolButton* NowBtn;
    QGroupBox* gbFin;
    QDateEdit* DateEdit2;
    QSpinBox* RxSpinEdit4;
    QSpinBox* RxSpinEdit5;
    QSpinBox* RxSpinEdit6;
    QPushButton* ProgBtn;

    // True while the state is Scheduled or ScheduledCapturing: the times then stay as they are
    // when the panel is shown.
    std::function<bool()> TimesArmed;

protected:
    const TTextTable& Texts() const override;

private:
    QTimer* clockTimer_;
};

const TTextTable& ProgrammerTexts();

} // namespace vidorel
