#include "app/DossiersFrame.h"

#include "app/Controls.h"

#include "platform/UserPrompt.h"
#include "settings/Preferences.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

namespace vidorel {

namespace {

QString FromPref(const std::string& s) {
    return QString::fromStdString(s);
}

// Folders are kept with a trailing separator, as their defaults are.
QString WithTrailingSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString WithoutTrailingSlash(QString folder) {
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
        folder.chop(1);
    }
    return folder;
}

QString FirstLine(const QString& text) {
    return text.section(QLatin1Char('\n'), 0, 0);
}

} // namespace

TDossiersFrame::TDossiersFrame(QWidget* parent) : TPanelFrame("DossiersFrame", parent) {
    gbDossiers = Make<QGroupBox>("gbDossiers", this, 0, 0, kWidth, kHeight);

    // Video files.
    gbFichier = Make<QGroupBox>("gbFichier", gbDossiers, 6, 22, 263, 112);
    LabelVideo = new TClickLabel("LabelVideo", gbFichier, &OnLabelVideoClick);
    LabelVideo->setGeometry(8, 22, 216, 20);
    sbVideo = Make<QToolButton>("sbVideo", gbFichier, 230, 18, 26, 26);
    sbVideo->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    VideoDirEdit = Make<QLineEdit>("VideoDirEdit", gbFichier, 8, 48, 218, 24);
    VideoDirEdit->setReadOnly(true);
    VideoDirBtn = Make<QToolButton>("VideoDirBtn", gbFichier, 230, 48, 26, 24);
    VideoRacineEdit = Make<QLineEdit>("VideoRacineEdit", gbFichier, 8, 78, 120, 24);
    cbVideoDate = Make<QCheckBox>("cbVideoDate", gbFichier, 136, 80, 120, 20);

    // Image files.
    gbFichierImages = Make<QGroupBox>("gbFichierImages", gbDossiers, 6, 142, 263, 112);
    LabelImage = new TClickLabel("LabelImage", gbFichierImages, &OnLabelImageClick);
    LabelImage->setGeometry(8, 22, 216, 20);
    sbImage = Make<QToolButton>("sbImage", gbFichierImages, 230, 18, 26, 26);
    sbImage->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    ImageDirEdit = Make<QLineEdit>("ImageDirEdit", gbFichierImages, 8, 48, 218, 24);
    ImageDirEdit->setReadOnly(true);
    ImageDirBtn = Make<QToolButton>("ImageDirBtn", gbFichierImages, 230, 48, 26, 24);
    ImageRacineEdit = Make<QLineEdit>("ImageRacineEdit", gbFichierImages, 8, 78, 120, 24);
    cbImageDate = Make<QCheckBox>("cbImageDate", gbFichierImages, 136, 80, 120, 20);

    // The companion program and the plug-ins.
    labTapelog = Make<QLabel>("labTapelog", gbDossiers, 14, 264, 216, 18);
    feTapelog = Make<QLineEdit>("feTapelog", gbDossiers, 14, 284, 216, 24);
    feTapelogBtn = Make<QToolButton>("feTapelogBtn", gbDossiers, 236, 284, 26, 24);
    labTapelog->setBuddy(feTapelog);
    labPlugin = Make<QLabel>("labPlugin", gbDossiers, 14, 316, 216, 18);
    dePlugin = Make<QLineEdit>("dePlugin", gbDossiers, 14, 336, 216, 24);
    dePlugin->setReadOnly(true);
    dePluginBtn = Make<QToolButton>("dePluginBtn", gbDossiers, 236, 336, 26, 24);
    labPlugin->setBuddy(dePlugin);

    ChooseFolder = [this](const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(this, title, start);
    };
    ChooseFile = [this](const QString& title, const QString& start) {
        return QFileDialog::getOpenFileName(this, title, start);
    };

    connect(VideoDirBtn, &QToolButton::clicked, this,
            [this] { BrowseFolder(VideoDirEdit, VideoDirBtn); });
    connect(ImageDirBtn, &QToolButton::clicked, this,
            [this] { BrowseFolder(ImageDirEdit, ImageDirBtn); });
    connect(dePluginBtn, &QToolButton::clicked, this, [this] {
        const QString pick = ChooseFolder(FirstLine(dePluginBtn->toolTip()), dePlugin->text());
        if (!pick.isEmpty()) {
            PluginFolderChosen(pick);
        }
    });
    connect(feTapelogBtn, &QToolButton::clicked, this, [this] { BrowseTapelog(); });
    // Typing only: the English texts and the preference transfer set the text too.
    connect(feTapelog, &QLineEdit::textEdited, this,
            [](const QString& text) { prefs::Tapelog->Value = text.toStdString(); });
}

const TTextTable& TDossiersFrame::Texts() const {
    return DossiersTexts();
}

void TDossiersFrame::ApplyEnglishTexts() {
    TPanelFrame::ApplyEnglishTexts();
    // The Tapelog box starts with a placeholder text; a screen reader names both boxes by their
    // labels.
    for (QLabel* label : {labTapelog, labPlugin}) {
        label->buddy()->setAccessibleName(label->text());
    }
}

void TDossiersFrame::BrowseFolder(QLineEdit* edit, QToolButton* button) {
    const QString pick = ChooseFolder(FirstLine(button->toolTip()), edit->text());
    if (!pick.isEmpty()) {
        // The edit's change handler takes it from here, as if it had been typed.
        edit->setText(WithTrailingSlash(pick));
    }
}

void TDossiersFrame::BrowseTapelog() {
    const QString pick = ChooseFile(FirstLine(feTapelogBtn->toolTip()), feTapelog->text());
    if (!pick.isEmpty()) {
        feTapelog->setText(pick);
        prefs::Tapelog->Value = pick.toStdString();
    }
}

void TDossiersFrame::PluginFolderChosen(const QString& folder) {
    const QString chosen = WithTrailingSlash(folder);
    dePlugin->setText(chosen);
    if (WithoutTrailingSlash(chosen) == WithoutTrailingSlash(FromPref(prefs::PluginsDir->Value))) {
        return;
    }
    prefs::PluginsDir->Value = chosen.toStdString();
    // Plug-ins are loaded once, at start.
    if (Prompt != nullptr) {
        Prompt->Show(PromptKind::Information, PluginFolderMessage(chosen.toStdString()),
                     PromptButtons::Ok);
    }
}

void TDossiersFrame::LoadPreferences() {
    const QSignalBlocker q1(feTapelog), q2(dePlugin), q3(VideoDirEdit), q4(VideoRacineEdit),
        q5(cbVideoDate), q6(ImageDirEdit), q7(ImageRacineEdit), q8(cbImageDate);
    feTapelog->setText(FromPref(prefs::Tapelog->Value));
    dePlugin->setText(FromPref(prefs::PluginsDir->Value));
    VideoDirEdit->setText(FromPref(prefs::VideoDirectory->Value));
    VideoRacineEdit->setText(FromPref(prefs::VideoRacine->Value));
    cbVideoDate->setChecked(prefs::VideoDate->Value);
    ImageDirEdit->setText(FromPref(prefs::ImageDirectory->Value));
    ImageRacineEdit->setText(FromPref(prefs::ImageRacine->Value));
    cbImageDate->setChecked(prefs::ImageDate->Value);
}

void TDossiersFrame::StorePreferences() {
    prefs::Tapelog->Value = feTapelog->text().toStdString();
    prefs::PluginsDir->Value = dePlugin->text().toStdString();
    prefs::VideoDirectory->Value = VideoDirEdit->text().toStdString();
    prefs::VideoRacine->Value = VideoRacineEdit->text().toStdString();
    prefs::VideoDate->Value = cbVideoDate->isChecked();
    prefs::ImageDirectory->Value = ImageDirEdit->text().toStdString();
    prefs::ImageRacine->Value = ImageRacineEdit->text().toStdString();
    prefs::ImageDate->Value = cbImageDate->isChecked();
}

} // namespace vidorel
