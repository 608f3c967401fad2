#pragma once

// The Folders panel: where captured clips and grabbed images go, the roots of their names, the
// Tapelog executable and the plug-in folder.

#include "app/PanelFrame.h"

#include <QString>

#include <functional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace vidorel {

class IUserPrompt;

class TDossiersFrame : public TPanelFrame {
public:
    explicit TDossiersFrame(QWidget* parent = nullptr);

    void ApplyEnglishTexts() override;

    // "Video Directory", "Video Racine", "Video Date", "Image Directory", "Image Racine",
    // "Image date", "Tapelog", "Plugins Dir".
    void LoadPreferences() override;
    void StorePreferences() override;

    // The folder picked for plug-ins: a new one is stored and the user is told that plug-ins are
    // only loaded at start. Called by the browse button of `dePlugin` after its dialog.
    void PluginFolderChosen(const QString& folder);

    QGroupBox* gbDossiers;

    QGroupBox* gbFichier;
    QLabel* LabelVideo;
    QToolButton* sbVideo;
    QLineEdit* VideoDirEdit; // read-only: chosen through VideoDirBtn
    QToolButton* VideoDirBtn;
    QLineEdit* VideoRacineEdit;
    QCheckBox* cbVideoDate;

    QGroupBox* gbFichierImages;
    QLabel* LabelImage;
    QToolButton* sbImage;
    QLineEdit* ImageDirEdit; // read-only: chosen through ImageDirBtn
    QToolButton* ImageDirBtn;
    QLineEdit* ImageRacineEdit;
    QCheckBox* cbImageDate;

    QLabel* labTapelog;
    QLineEdit* feTapelog;
    QToolButton* feTapelogBtn;
    QLabel* labPlugin;
    QLineEdit* dePlugin; // read-only: chosen through dePluginBtn
    QToolButton* dePluginBtn;

    // A click on the next-name labels (the window shows the Sources or the Grab panel).
    std::function<void()> OnLabelVideoClick;
    std::function<void()> OnLabelImageClick;

    // The pickers behind the browse buttons: (dialog title, start) -> the pick, empty when the
    // user cancels. Native dialogs by default; tests answer in their place.
    std::function<QString(const QString&, const QString&)> ChooseFolder;
    std::function<QString(const QString&, const QString&)> ChooseFile;
    // Tells the user about a new plug-in folder; nothing is shown without one.
    IUserPrompt* Prompt = nullptr;

protected:
    const TTextTable& Texts() const override;

private:
    void BrowseFolder(QLineEdit* edit, QToolButton* button);
    void BrowseTapelog();
};

const TTextTable& DossiersTexts();
// What the user reads after choosing another plug-in folder.
std::string PluginFolderMessage(const std::string& folder);

} // namespace vidorel
