#include "app/IncrusterFrame.h"

#include "app/Controls.h"
#include "settings/Preferences.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace vidorel {

namespace {

TRadioGroup* MakeRadio(const char* name, QWidget* parent, int columns, int x, int y, int w, int h) {
    auto* group = new TRadioGroup(name, parent, columns);
    group->setGeometry(x, y, w, h);
    return group;
}

// Selects a stored index the group holds; any other leaves the group unselected rather than
// showing a choice the user never made.
void SelectStored(TRadioGroup* group, int stored) {
    group->SetItemIndex(stored >= 0 && stored < group->Count() ? stored : -1);
}

void StoreChosen(const TRadioGroup* group, TIntegerParameter* pref) {
    if (group->ItemIndex() >= 0) {
        pref->Value = group->ItemIndex();
    }
}

// The overlay prints an empty line as nothing, but wants a line all the same.
QString FormatLine(const QString& text) {
    return text.isEmpty() ? QStringLiteral(" ") : text;
}

} // namespace

TIncrusterFrame::TIncrusterFrame(QWidget* parent) : TPanelFrame("IncrusterFrame", parent) {
    gbIncruster = Make<QGroupBox>("gbIncruster", this, 0, 0, kWidth, kHeight);

    IncrusterBtn = Make<QToolButton>("IncrusterBtn", gbIncruster, 8, 22, 100, 30);
    IncrusterBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    rgMode = MakeRadio("rgMode", gbIncruster, 2, 114, 16, 153, 38);

    gbDuree = Make<QWidget>("gbDuree", gbIncruster, 8, 60, 259, 26);
    labDuree = Make<QLabel>("labDuree", gbDuree, 4, 0, 170, 26);
    RxSpinEdit1 = Make<QSpinBox>("RxSpinEdit1", gbDuree, 180, 1, 79, 24);
    RxSpinEdit1->setRange(0, 99);
    RxSpinEdit1->setAlignment(Qt::AlignRight);
    labDuree->setBuddy(RxSpinEdit1);

    rgWhat = MakeRadio("rgWhat", gbIncruster, 1, 8, 88, 162, 74);
    rgWhen = MakeRadio("rgWhen", gbIncruster, 1, 174, 88, 93, 74);

    // The hours box and the exact difference take turns on the second row.
    gbDecalage = Make<QGroupBox>("gbDecalage", gbIncruster, 8, 166, 259, 76);
    cbAvance = Make<QCheckBox>("cbAvance", gbDecalage, 10, 22, 160, 20);
    sbDecalageAvance = Make<QToolButton>("sbDecalageAvance", gbDecalage, 225, 20, 24, 24);
    RxDecalage = Make<QSpinBox>("RxDecalage", gbDecalage, 10, 46, 70, 24);
    RxDecalage->setRange(-23, 23);
    RxDecalage->setAlignment(Qt::AlignRight);
    LabDecalage = Make<QLabel>("LabDecalage", gbDecalage, 12, 46, 237, 24);

    labFormat1 = Make<QLabel>("labFormat1", gbIncruster, 12, 248, 92, 24);
    edFormat1 = Make<QLineEdit>("edFormat1", gbIncruster, 106, 248, 161, 24);
    labFormat1->setBuddy(edFormat1);
    labFormat2 = Make<QLabel>("labFormat2", gbIncruster, 12, 278, 92, 24);
    edFormat2 = Make<QLineEdit>("edFormat2", gbIncruster, 106, 278, 161, 24);
    labFormat2->setBuddy(edFormat2);

    labFont = Make<QLabel>("labFont", gbIncruster, 12, 308, 44, 24);
    SpeedButton4 = Make<QToolButton>("SpeedButton4", gbIncruster, 58, 308, 28, 24);
    labFont->setBuddy(SpeedButton4);
    cbAutoFontSize = Make<QCheckBox>("cbAutoFontSize", gbIncruster, 106, 310, 161, 20);

    rgAlign = MakeRadio("rgAlign", gbIncruster, 3, 8, 338, 259, 50);

    rgMode->OnClick = [this](int mode) {
        ModeChanged(mode);
        if (OnModeClick) {
            OnModeClick(mode);
        }
    };
    rgWhat->OnClick = [this](int what) {
        WhatChanged(what);
        if (OnWhatClick) {
            OnWhatClick(what);
        }
    };
    connect(cbAvance, &QCheckBox::toggled, this, [this](bool on) { ShowAdvanced(on); });
    for (QLineEdit* edit : {edFormat1, edFormat2}) {
        connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) {
            if (text.isEmpty()) {
                edit->setText(FormatLine(text));
            }
        });
    }
    // Stored before the window's handlers hand them to the overlay (connected later).
    connect(RxSpinEdit1, &QSpinBox::valueChanged, this,
            [](int seconds) { prefs::DureeIncruster->Value = seconds; });
    connect(RxDecalage, &QSpinBox::valueChanged, this,
            [](int hours) { prefs::DecalageHoraire->Value = hours / 24.0; });
    connect(cbAutoFontSize, &QCheckBox::toggled, this,
            [](bool on) { prefs::TailleAutomatique->Value = on; });

    LabDecalage->hide();
    sbDecalageAvance->hide();
    gbDuree->hide();
    gbDecalage->hide();
}

const TTextTable& TIncrusterFrame::Texts() const {
    return IncrusterTexts();
}

void TIncrusterFrame::ApplyEnglishTexts() {
    TPanelFrame::ApplyEnglishTexts();
    // Both format lines share a hint; a screen reader tells them apart by their labels.
    for (QLabel* label : {labDuree, labFormat1, labFormat2}) {
        label->buddy()->setAccessibleName(label->text());
    }
}

int TIncrusterFrame::WholeHours(double days) {
    // A difference of two date-times (the dialog's) comes back a hair under its whole hours.
    const double hours = days * 24.0;
    return static_cast<int>(std::trunc(hours + (hours < 0 ? -1e-6 : 1e-6)));
}

void TIncrusterFrame::ModeChanged(int mode) {
    gbDuree->setVisible(mode == 1);
}

void TIncrusterFrame::WhatChanged(int what) {
    gbDecalage->setVisible(what == 1);
}

void TIncrusterFrame::ShowAdvanced(bool advanced) {
    LabDecalage->setVisible(advanced);
    sbDecalageAvance->setVisible(advanced);
    RxDecalage->setVisible(!advanced);
    if (advanced) {
        LabDecalage->setText(
            QString::fromStdString(TimeDifferenceText(prefs::DecalageHoraire->Value)));
    } else {
        // Through the box's change handler: a fractional difference becomes whole hours.
        RxDecalage->setValue(WholeHours(prefs::DecalageHoraire->Value));
    }
}

void TIncrusterFrame::RebuildInlayChoices(bool isDV) {
    rgMode->show();
    gbDuree->setVisible(rgMode->ItemIndex() == 1);
    // Nothing chosen yet (the stored choice was beyond the start-up list): the stored one.
    const int what = rgWhat->ItemIndex() >= 0 ? rgWhat->ItemIndex() : prefs::WhatIncrust->Value;
    const int when = rgWhen->ItemIndex() >= 0 ? rgWhen->ItemIndex() : prefs::WhenIncrust->Value;
    rgWhat->SetItems(InlayWhatItems(isDV));
    rgWhen->SetItems(InlayWhenItems(isDV));
    gbDecalage->setVisible(isDV && prefs::WhatIncrust->Value == 1);
    rgWhat->SetItemIndex(std::min(what, rgWhat->Count() - 1));
    rgWhen->SetItemIndex(std::min(when, rgWhen->Count() - 1));
}

void TIncrusterFrame::LoadPreferences() {
    const QSignalBlocker q1(edFormat1), q2(edFormat2), q3(RxSpinEdit1), q4(RxDecalage),
        q5(cbAvance), q6(cbAutoFontSize);
    edFormat1->setText(FormatLine(QString::fromStdString(prefs::FormatDatecode1->Value)));
    edFormat2->setText(FormatLine(QString::fromStdString(prefs::FormatDatecode2->Value)));
    SelectStored(rgMode, prefs::ModeIncruster->Value);
    ModeChanged(rgMode->ItemIndex());
    RxSpinEdit1->setValue(prefs::DureeIncruster->Value);
    RxDecalage->setValue(WholeHours(prefs::DecalageHoraire->Value));
    cbAvance->setChecked(prefs::DecalageAvance->Value);
    ShowAdvanced(cbAvance->isChecked());
    SelectStored(rgAlign, prefs::Alignement->Value);
    SelectStored(rgWhat, prefs::WhatIncrust->Value);
    WhatChanged(rgWhat->ItemIndex());
    SelectStored(rgWhen, prefs::WhenIncrust->Value);
    cbAutoFontSize->setChecked(prefs::TailleAutomatique->Value);
}

void TIncrusterFrame::StorePreferences() {
    prefs::FormatDatecode1->Value = edFormat1->text().toStdString();
    prefs::FormatDatecode2->Value = edFormat2->text().toStdString();
    StoreChosen(rgMode, prefs::ModeIncruster);
    prefs::DureeIncruster->Value = RxSpinEdit1->value();
    StoreChosen(rgWhat, prefs::WhatIncrust);
    // Whole hours, as the box shows them: a finer difference does not outlive the run.
    prefs::DecalageHoraire->Value = RxDecalage->value() / 24.0;
    prefs::DecalageAvance->Value = cbAvance->isChecked();
    StoreChosen(rgAlign, prefs::Alignement);
    StoreChosen(rgWhen, prefs::WhenIncrust);
    prefs::TailleAutomatique->Value = cbAutoFontSize->isChecked();
}

} // namespace vidorel
