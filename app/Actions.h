#pragma once

// The main window's commands: one QAction each, with its category and its shortcuts (the first
// is the one the tables show; the others are the secondary shortcuts, whose texts the tables
// quote). Captions and hints come from the main window's text table.

#include <QKeySequence>
#include <QString>
#include <QStringList>

#include <vector>

class QAction;
class QWidget;

namespace vidorel {

struct TActions {
    // Creates every action as a child of `owner`, with its object name, category (the
    // "category" property), shortcuts and secondary shortcut texts ("secondary" property).
    explicit TActions(QWidget* owner);

    QAction* acCapturerBascule;
    QAction* acCouper;
    QAction* acGrab;
    QAction* acProgrammerBascule;
    QAction* acfullscreen;
    QAction* acMute;
    QAction* acIncVolume;
    QAction* acDecVolume;
    QAction* acIncruster;
    QAction* acStartIncruster;
    QAction* acStopIncruster;
    QAction* acVertFlip;
    QAction* acHorzFlip;
    QAction* acDesentrelacer;
    QAction* acElargir;
    QAction* acWideScreen;
    QAction* acLockPreview;
    QAction* acTapelog;
    QAction* acOuvrirDossierVideos;
    QAction* acJpgOption;
    QAction* acBmpOption;
    QAction* acSauverPrefs;
    QAction* acSliders;
    QAction* acReduire;
    QAction* acBasculerPanneau;
    QAction* acNextPanneau;
    // The eight panels, in panel order.
    QAction* acSourcesFrame;
    QAction* acDossiersFrame;
    QAction* acProgrammerFrame;
    QAction* acExtraireFrame;
    QAction* acIncrusterFrame;
    QAction* acOptionsFrame;
    QAction* acHelp;
    QAction* acApropos;
    QAction* acQuitter;
    QAction* camPlayPause;
    QAction* camStop;
    QAction* camAvanceLent;
    QAction* camAvanceRapide;
    QAction* camReculeLent;
    QAction* camReculeRapide;
    QAction* camToggle;
    QAction* acShowVideoPilotDV;
    QAction* acShowAudioPilotDV;

    QAction* Panel(int n) const;
    const std::vector<QAction*>& All() const { return all_; }

    // The category and the secondary shortcut texts of an action.
    static QString Category(const QAction* a);
    static QStringList SecondaryTexts(const QAction* a);

private:
    std::vector<QAction*> all_;
};

// Keys that a focused text or number field uses itself: its own typing wins over a command.
bool KeyBelongsToEditor(const QKeySequence& keys);

} // namespace vidorel
