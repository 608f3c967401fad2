#include "app/OptionsFrame.h"

#include "app/Controls.h"

#include "settings/Preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

#include <memory>
#include <vector>

namespace vidorel {

namespace {

// The pages' inner width, from the page control's geometry below; controls span kInner.
constexpr int kPageMargin = 4;
constexpr int kInner = 255;
constexpr int kBoxInner = kInner - 12; // inside a group box on a page
constexpr int kLine = 22;              // one line of check box or label

// The preferences exist once the main window created them; a panel built without them (a
// tool, a test of the layout) simply stores nothing.
template <class P, class V> void Store(P* p, V value) {
    if (p != nullptr) {
        p->Value = value;
    }
}

// A radio group follows its preference; nothing chosen means the preference stays.
template <class P> void StoreIndex(P* p, int index) {
    if (p != nullptr && index >= 0) {
        using T = decltype(p->Value);
        p->Value = static_cast<T>(index);
    }
}

} // namespace

TOptionsFrame::TOptionsFrame(QWidget* parent) : TPanelFrame("OptionsFrame", parent) {
    GroupBox1 = Make<QGroupBox>("GroupBox1", this);
    GroupBox1->setGeometry(0, 0, kWidth, kHeight);
    // The panel is drawn in Arial (its metric twin where Arial is missing); its pages inherit it.
    QFont arial = GroupBox1->font();
    arial.setFamily(QStringLiteral("Arial"));
    GroupBox1->setFont(arial);

    PageControl1 = Make<QTabWidget>("PageControl1", GroupBox1);
    PageControl1->setGeometry(3, 20, kWidth - 6, kHeight - 23);
    tsPref = MakePage(PageControl1, "tsPref");
    tsWmv = MakePage(PageControl1, "tsWmv");
    tsDivx = MakePage(PageControl1, "tsDivx");
    tsJpeg = MakePage(PageControl1, "tsJpeg");
    TabSheet1 = MakePage(PageControl1, "TabSheet1");

    BuildPrefPage();
    BuildWmvPage();
    BuildDivxPage();
    BuildImagesPage();
    BuildDVPage();
    Connect();
    ShowProfileChoice();
}

void TOptionsFrame::BuildPrefPage() {
    const int x = kPageMargin;
    cbConfirmerVideo = Make<QCheckBox>("cbConfirmerVideo", tsPref);
    cbConfirmerVideo->setGeometry(x + 2, 8, kInner - 2, kLine);

    gbPrefs = Make<QGroupBox>("gbPrefs", tsPref);
    gbPrefs->setGeometry(x, 38, kInner, 122);
    sbSaveprefs = Make<QToolButton>("sbSaveprefs", gbPrefs);
    sbSaveprefs->setGeometry(10, 24, 28, 28);
    sbSaveprefs->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    LabelSauverNow = Make<QLabel>("LabelSauverNow", gbPrefs);
    LabelSauverNow->setGeometry(46, 28, kBoxInner - 40, 20);
    sbDeleteprefs = Make<QToolButton>("sbDeleteprefs", gbPrefs);
    sbDeleteprefs->setGeometry(10, 58, 28, 28);
    sbDeleteprefs->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    LabelEffacerPrefs = Make<QLabel>("LabelEffacerPrefs", gbPrefs);
    LabelEffacerPrefs->setGeometry(46, 62, kBoxInner - 40, 20);
    cbPrefsQuittant = Make<QCheckBox>("cbPrefsQuittant", gbPrefs);
    cbPrefsQuittant->setGeometry(12, 92, kBoxInner - 6, kLine);

    cbNotifier = Make<QCheckBox>("cbNotifier", tsPref);
    cbNotifier->setGeometry(x + 2, 170, kInner - 2, kLine);
    cbActiverSuperposition = Make<QCheckBox>("cbActiverSuperposition", tsPref);
    cbActiverSuperposition->setGeometry(x + 2, 198, kInner - 2, kLine);

    leNoDatecodeLabel = Make<QLabel>("leNoDatecodeLabel", tsPref);
    leNoDatecodeLabel->setGeometry(x + 2, 234, kInner - 2, 18);
    leNoDatecode = Make<QLineEdit>("leNoDatecode", tsPref);
    leNoDatecode->setGeometry(x + 2, 254, 140, 24);
    leNoDatecodeLabel->setBuddy(leNoDatecode);
}

void TOptionsFrame::BuildWmvPage() {
    const int x = kPageMargin;
    cbDefaultProfile = Make<QCheckBox>("cbDefaultProfile", tsWmv);
    cbDefaultProfile->setGeometry(x + 2, 8, kInner - 2, kLine);

    // The fixed profiles and the system list take turns in one place (see the check box).
    gbProfiles = Make<QGroupBox>("gbProfiles", tsWmv);
    gbProfiles->setGeometry(x, 38, kInner, 124);
    Label1 = Make<QLabel>("Label1", gbProfiles);
    Label1->setGeometry(10, 28, 106, 36);
    rgversion = new TRadioGroup("rgversion", gbProfiles, 3);
    rgversion->setGeometry(118, 24, 130, 42);
    cboxMedia = Make<QComboBox>("cboxMedia", gbProfiles);
    cboxMedia->setGeometry(10, 80, kBoxInner - 4, 26);

    rgProfiles = new TRadioGroup("rgProfiles", tsWmv, 2);
    rgProfiles->setGeometry(x, 38, kInner, 80);
}

void TOptionsFrame::BuildDivxPage() {
    const int x = kPageMargin;
    gbdivx = Make<QGroupBox>("gbdivx", tsDivx);
    gbdivx->setGeometry(x, 6, kInner, 92);
    cboxdivx = Make<QComboBox>("cboxdivx", gbdivx);
    cboxdivx->setGeometry(10, 24, kBoxInner - 4, 26);
    sbPropDivx = Make<QPushButton>("sbPropDivx", gbdivx);
    sbPropDivx->setGeometry(10, 56, 112, 28);
    sbVersionDivx = Make<QPushButton>("sbVersionDivx", gbdivx);
    sbVersionDivx->setGeometry(kBoxInner + 6 - 112, 56, 112, 28);

    rgRatio = new TRadioGroup("rgRatio", tsDivx, 3);
    rgRatio->setGeometry(x, 106, kInner, 56);

    // With the Mp3 encoder: the choice and its settings; without it: a note in their place.
    cbMp3 = Make<QCheckBox>("cbMp3", tsDivx);
    cbMp3->setGeometry(x + 2, 170, kInner - 2, kLine);
    gbMp3 = Make<QGroupBox>("gbMp3", tsDivx);
    gbMp3->setGeometry(x, 198, kInner, 92);
    QFont arial = gbMp3->font();
    arial.setFamily(QStringLiteral("Arial"));
    gbMp3->setFont(arial);
    Label3 = Make<QLabel>("Label3", gbMp3);
    Label3->setGeometry(10, 28, 150, 20);
    cboxBitratemp3 = Make<QComboBox>("cboxBitratemp3", gbMp3);
    cboxBitratemp3->setGeometry(kBoxInner + 6 - 72, 24, 72, 26);
    // The bitrate can be typed; a text that is no number is put back to a valid one.
    cboxBitratemp3->setEditable(true);
    sbPropMp3 = Make<QPushButton>("sbPropMp3", gbMp3);
    sbPropMp3->setGeometry(kBoxInner + 6 - 112, 56, 112, 28);
    MemoMp3 = Make<QLabel>("MemoMp3", tsDivx);
    MemoMp3->setGeometry(x + 2, 170, kInner - 2, 48);
    MemoMp3->setFont(arial);
    MemoMp3->setWordWrap(true);
    MemoMp3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    MemoMp3->hide();
}

void TOptionsFrame::BuildImagesPage() {
    const int x = kPageMargin;
    rgExtension = new TRadioGroup("rgExtension", tsJpeg, 2);
    rgExtension->setGeometry(x, 6, kInner, 42);

    gbQuality = Make<QGroupBox>("gbQuality", tsJpeg);
    gbQuality->setGeometry(x, 56, kInner, 68);
    TrackBar1 = Make<QSlider>("TrackBar1", gbQuality);
    TrackBar1->setOrientation(Qt::Horizontal);
    TrackBar1->setRange(1, 100);
    TrackBar1->setPageStep(10);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(10);
    TrackBar1->setValue(50);
    TrackBar1->setGeometry(10, 26, kBoxInner - 46, 30);
    labQuality = Make<QLabel>("labQuality", gbQuality);
    labQuality->setGeometry(kBoxInner - 30, 30, 34, 20);
    labQuality->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    cbDeInterlacer = Make<QCheckBox>("cbDeInterlacer", tsJpeg);
    cbDeInterlacer->setGeometry(x + 2, 134, kInner - 2, kLine);
    cbConfirmerImage = Make<QCheckBox>("cbConfirmerImage", tsJpeg);
    cbConfirmerImage->setGeometry(x + 2, 162, kInner - 2, kLine);
}

void TOptionsFrame::BuildDVPage() {
    const int x = kPageMargin;
    const int half = (kInner - 8) / 2;
    rgStandard = new TRadioGroup("rgStandard", TabSheet1);
    rgStandard->setGeometry(x, 6, half, 78);
    rgImageRatio = new TRadioGroup("rgImageRatio", TabSheet1);
    rgImageRatio->setGeometry(x + kInner - half, 6, half, 78);
    rgFrequenceDV = new TRadioGroup("rgFrequenceDV", TabSheet1, 3);
    rgFrequenceDV->setGeometry(x, 92, kInner, 56);
    cbfrequenceDVNative = Make<QCheckBox>("cbfrequenceDVNative", TabSheet1);
    cbfrequenceDVNative->setGeometry(x + 2, 158, kInner - 2, kLine);
    cbScn = Make<QCheckBox>("cbScn", TabSheet1);
    cbScn->setGeometry(x + 2, 186, kInner - 2, kLine);
}

void TOptionsFrame::Connect() {
    // Boxes whose preference follows them at once; a box changed by the program (the "All"
    // answer unticks the image confirmation) stores too, as a click would.
    const auto follow = [this](QCheckBox* box, TBooleanParameter** pref) {
        connect(box, &QCheckBox::toggled, this, [pref](bool on) { Store(*pref, on); });
    };
    follow(cbConfirmerVideo, &prefs::ConfirmerVideo);
    follow(cbConfirmerImage, &prefs::ConfirmerImage);
    follow(cbPrefsQuittant, &prefs::SauverPreferences);
    follow(cbNotifier, &prefs::Notifier);
    follow(cbDeInterlacer, &prefs::InternalDeinterlacer);
    follow(cbScn, &prefs::Scn);
    follow(cbfrequenceDVNative, &prefs::FrequenceDVNative);
    connect(cbDefaultProfile, &QCheckBox::toggled, this, [this] { cbDefaultProfileClick(); });
    connect(cbActiverSuperposition, &QCheckBox::toggled, this,
            [this] { cbActiverSuperpositionClick(); });
    connect(cbMp3, &QCheckBox::toggled, this, [this] { cbMp3Click(); });
    connect(leNoDatecode, &QLineEdit::textChanged, this,
            [](const QString& text) { Store(prefs::NoDatecode, text.toStdString()); });
    connect(TrackBar1, &QSlider::valueChanged, this,
            [this](int value) { labQuality->setNum(value); });

    rgRatio->OnClick = [](int i) { StoreIndex(prefs::RatioDivx, i); };
    rgStandard->OnClick = [](int i) { StoreIndex(prefs::StandardDV, i); };
    rgImageRatio->OnClick = [](int i) { StoreIndex(prefs::RatioDV, i); };
    // The stored frequency counts from 1; 0 means the native one, which no item shows.
    rgFrequenceDV->OnClick = [](int i) { StoreIndex(prefs::FrequenceDV, i + 1); };

    connect(sbSaveprefs, &QToolButton::clicked, this, [this] {
        if (OnSave) {
            OnSave();
        }
    });
    connect(sbDeleteprefs, &QToolButton::clicked, this, [this] { DeletePreferencesClick(); });
}

void TOptionsFrame::ApplyEnglishTexts() {
    TPanelFrame::ApplyEnglishTexts();
    // The list's placeholder text is no name to read out; its hint says what it is.
    cboxdivx->setAccessibleName(cboxdivx->toolTip());
    // The Mp3 encoder's own default until its stored bitrate is read.
    if (cboxBitratemp3->currentIndex() < 0) {
        cboxBitratemp3->setCurrentIndex(cboxBitratemp3->findText(QStringLiteral("128")));
    }
}

void TOptionsFrame::ShowProfileChoice() {
    const bool fixed = cbDefaultProfile->isChecked();
    rgProfiles->setVisible(fixed);
    gbProfiles->setVisible(!fixed);
}

void TOptionsFrame::cbDefaultProfileClick() {
    Store(prefs::DefaultProfil, cbDefaultProfile->isChecked());
    ShowProfileChoice();
}

void TOptionsFrame::cbActiverSuperpositionClick() {
    const bool allowed = cbActiverSuperposition->isChecked();
    Store(prefs::ActiverSuperposition, allowed);
    if (OnEffectsOption) {
        OnEffectsOption(allowed);
    }
}

void TOptionsFrame::cbMp3Click() {
    Store(prefs::WantMp3, cbMp3->isChecked());
    gbMp3->setVisible(cbMp3->isChecked() && mp3Available_);
}

void TOptionsFrame::ShowEncoders(bool divxFound, bool mp3Available) {
    mp3Available_ = mp3Available;
    PageControl1->setTabVisible(kPageDivx, divxFound);
    const bool mp3Choice = divxFound && mp3Available;
    cbMp3->setVisible(mp3Choice);
    cboxBitratemp3->setVisible(mp3Choice);
    sbPropMp3->setVisible(mp3Choice);
    {
        const QSignalBlocker quiet(cbMp3);
        cbMp3->setChecked(prefs::WantMp3 != nullptr ? prefs::WantMp3->Value : cbMp3->isChecked());
    }
    gbMp3->setVisible(mp3Available && cbMp3->isChecked());
    MemoMp3->setVisible(!mp3Available);
}

void TOptionsFrame::DeletePreferencesClick() {
    if (prompt_ == nullptr) {
        return;
    }
    DeletePreferences(*prompt_);
    // Whatever was answered, quitting must not write the preferences back.
    cbPrefsQuittant->setChecked(false);
}

void TOptionsFrame::LoadPreferences() {
    if (prefs::ActiverSuperposition == nullptr) {
        return; // the preferences were never created
    }
    {
        std::vector<std::unique_ptr<QSignalBlocker>> quiet;
        for (QWidget* w : findChildren<QWidget*>()) {
            quiet.push_back(std::make_unique<QSignalBlocker>(w));
        }
        TrackBar1->setValue(prefs::QualiteJPeg->Value);
        labQuality->setNum(TrackBar1->value());
        rgExtension->SetItemIndex(prefs::ExtensionDesImages->Value);
        cbPrefsQuittant->setChecked(prefs::SauverPreferences->Value);
        cbConfirmerImage->setChecked(prefs::ConfirmerImage->Value);
        cbConfirmerVideo->setChecked(prefs::ConfirmerVideo->Value);
        cbScn->setChecked(prefs::Scn->Value);
        rgRatio->SetItemIndex(prefs::RatioDivx->Value);
        cbDeInterlacer->setChecked(prefs::InternalDeinterlacer->Value);
        leNoDatecode->setText(QString::fromStdString(prefs::NoDatecode->Value));
        rgStandard->SetItemIndex(prefs::StandardDV->Value);
        rgFrequenceDV->SetItemIndex(prefs::FrequenceDV->Value - 1);
        rgImageRatio->SetItemIndex(prefs::RatioDV->Value);
        cbfrequenceDVNative->setChecked(prefs::FrequenceDVNative->Value);
        rgProfiles->SetItemIndex(prefs::ProfileWmv->Value);
        cbNotifier->setChecked(prefs::Notifier->Value);
        // Stored back by StorePreferences: shown now so that a start without encoders or
        // profiles does not overwrite them with an empty choice.
        rgversion->SetItemIndex(prefs::VersionWmv->Value);
        cbMp3->setChecked(prefs::WantMp3->Value);
        cbDefaultProfile->setChecked(prefs::DefaultProfil->Value);
        cbActiverSuperposition->setChecked(prefs::ActiverSuperposition->Value);
    }
    cbDefaultProfileClick();
    cbActiverSuperpositionClick();
}

void TOptionsFrame::StorePreferences() {
    if (prefs::ActiverSuperposition == nullptr) {
        return;
    }
    prefs::QualiteJPeg->Value = TrackBar1->value();
    StoreIndex(prefs::ExtensionDesImages, rgExtension->ItemIndex());
    if (cboxMedia->count() > 0) {
        prefs::ProfilWindowsMedia->Value = cboxMedia->currentText().toStdString();
        prefs::ProfilWmvFavori->Value = cboxMedia->currentText().toStdString();
    }
    prefs::SauverPreferences->Value = cbPrefsQuittant->isChecked();
    prefs::ConfirmerImage->Value = cbConfirmerImage->isChecked();
    prefs::ConfirmerVideo->Value = cbConfirmerVideo->isChecked();
    prefs::Scn->Value = cbScn->isChecked();
    StoreIndex(prefs::VersionWmv, rgversion->ItemIndex());
    StoreIndex(prefs::StandardDV, rgStandard->ItemIndex());
    // No item chosen is the native frequency (0).
    prefs::FrequenceDV->Value = static_cast<uint8_t>(rgFrequenceDV->ItemIndex() + 1);
    StoreIndex(prefs::RatioDV, rgImageRatio->ItemIndex());
    prefs::FrequenceDVNative->Value = cbfrequenceDVNative->isChecked();
    StoreIndex(prefs::ProfileWmv, rgProfiles->ItemIndex());
    if (cboxdivx->count() > 0) {
        prefs::DivxFavori->Value = cboxdivx->currentText().toStdString();
    }
    prefs::WantMp3->Value = cbMp3->isChecked();
    StoreIndex(prefs::RatioDivx, rgRatio->ItemIndex());
    prefs::InternalDeinterlacer->Value = cbDeInterlacer->isChecked();
    prefs::NoDatecode->Value = leNoDatecode->text().toStdString();
    prefs::Notifier->Value = cbNotifier->isChecked();
    prefs::DefaultProfil->Value = cbDefaultProfile->isChecked();
    prefs::ActiverSuperposition->Value = cbActiverSuperposition->isChecked();
}

const TTextTable& TOptionsFrame::Texts() const {
    return OptionsFrameTexts();
}

} // namespace vidorel
