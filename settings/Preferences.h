#pragma once

// The preference catalogue: every user setting of the program, one global per preference,
// created on the single list `PreferenceList` in catalogue order, loaded at start and saved at
// exit or on demand.

#include "platform/SharedTypes.h"
#include "platform/UserPrompt.h"
#include "platform/Version.h"
#include "settings/Parameters.h"

#include <string>

namespace vidorel {

constexpr const char* kProductName = "Vidorel";
constexpr const char* kProductVersion = VIDOREL_VERSION;
constexpr const char* kLanguage = "En";
constexpr const char* kMakerName = "Marlott";
constexpr const char* kMakerKey = "\\Software\\Marlott\\";
constexpr const char* kTapelogKey = "\\Software\\Marlott\\Tapelog";

// "Vidorel 5.1.7 En by Marlott"
std::string ProductSignature();
// "\Software\Marlott\Vidorel"
std::string PreferenceKeyPath();

// The list every preference lives on; created by the main window (or a command-line tool)
// before `CreatePreferences`.
extern TparameterList* PreferenceList;
// Creates the list with the program's key path and signature on `file` (the default store when
// omitted), replacing any earlier list.
void CreatePreferenceList(RegistryFile file = RegistryFile(RegistryFile::DefaultPath()));

// Geometry that some defaults derive from; zeros where no screen exists.
struct PreferenceContext {
    int screenWidth = 0;
    int screenHeight = 0;
    int windowWidth = 700;
    int windowHeight = 459;
};

// Creates all 88 preferences on `PreferenceList` in catalogue order with their computed
// defaults, then loads the stored values. Every preference exists afterwards, whatever failed.
void CreatePreferences(const PreferenceContext& ctx = {});
// One English sentence for the user about the store, to show once after CreatePreferences;
// empty when all is well. Not empty when the store
// - cannot be read, is not a regular file, or there is no private folder for it: the
//   preferences are defaults and are never saved over it ("The preferences file
//   /home/ann/.config/vidorel/registry.reg cannot be read (Permission denied); the program runs
//   with default settings and will not save them.");
// - was damaged or too large and has been kept aside as "registry.reg.bad" (or ".bad.1" ...):
//   the preferences are defaults and saving makes a new store;
// - was damaged and could not be kept aside (all ten names taken): defaults, never saved;
// and after a save that failed, the reason it failed.
std::string PreferenceStoreProblem();
// Writes all preferences; never raises. False when the store could not be written, and at once
// when the load found a store to leave alone.
bool SavePreferences();
// The explicit save command: like SavePreferences, but a failure is told to the user (with
// PreferenceStoreProblem's sentence when there is one).
bool SavePreferencesAndReport(IUserPrompt& prompt);
// Asks, then deletes the program's key from the store (keeping the maker key while another
// program still has a key there), and reports the outcome. A store to leave alone is told and
// left as it is.
bool DeletePreferences(IUserPrompt& prompt);

// Capture format names.
std::string CaptureFormatName(TCaptureFormat id);
std::string CaptureFormatShortName(TCaptureFormat id);
TCaptureFormat CaptureFormatFromName(const std::string& name);
std::string CaptureFormatExtension(TCaptureFormat id);
// "native", "32000 Hz", "44100 Hz", "48000 Hz" → 0..3; anything else → 0.
uint8_t FrequenceDVFromName(const std::string& name);

// The preferences, named after their stored value names.
namespace prefs {
extern TIntegerParameter* Top;
extern TIntegerParameter* Left;
extern TIntegerParameter* Volume;
extern TIntegerParameter* Camform1Left;
extern TIntegerParameter* Camform2Left;
extern TIntegerParameter* Camform1Top;
extern TIntegerParameter* Camform2Top;
extern TTVstandardParameter* StandardDV;
extern TIntegerParameter* ProfileWmv;
extern TFrequenceDVParameter* FrequenceDV;
extern TIntegerParameter* RatioDV;
extern TIntegerParameter* CorrectionSync;
extern TRealParameter* Framerate;
extern TIntegerParameter* ModeIncruster;
extern TIntegerParameter* DureeIncruster;
extern TIntegerParameter* WhatIncrust;
extern TIntegerParameter* WhenIncrust;
extern TStringParameter* NoDatecode;
extern TRealParameter* DecalageHoraire;
extern TBooleanParameter* DecalageAvance;
extern TIntegerParameter* Alignement;
extern TIntegerParameter* PositionX;
extern TIntegerParameter* PositionY;
extern TIntegerParameter* ExtensionDesImages;
extern TIntegerParameter* QualiteJPeg;
extern TIntegerParameter* VersionWmv;
extern TIntegerParameter* ValeurIntervallometre;
extern TIntegerParameter* UnitesIntervallometre;
extern TframeNumberParameter* PanneauActif;
extern TAspectRatioParameter* AspectRatio;
extern TBooleanParameter* WideScreen;
extern TStringParameter* PluginsDir;
extern TStringParameter* VideoDirectory;
extern TStringParameter* VideoRacine;
extern TStringParameter* ImageDirectory;
extern TStringParameter* ImageRacine;
extern TStringParameter* Tapelog;
extern TStringParameter* SourceVideo;
extern TStringParameter* SourceAudio;
extern TFormatCaptureParameter* CaptureFormat;
extern TStringParameter* AudioType;
extern TStringParameter* SoundCardEntry;
extern TStringParameter* FormatDatecode1;
extern TStringParameter* FormatDatecode2;
extern TStringParameter* ProfilWindowsMedia;
extern TStringParameter* ProfilWmvFavori;
extern TBooleanParameter* DefaultProfil;
extern TStringParameter* DivxFavori;
extern TBooleanParameter* WantMp3;
extern TAspectRatioParameter* RatioDivx;
extern TBooleanParameter* FrequenceDVNative;
extern TBooleanParameter* Notifier;
extern TBooleanParameter* InternalDeinterlacer;
extern TBooleanParameter* EcranGauche;
extern TBooleanParameter* PreviewLocked;
extern TBooleanParameter* ActiverSuperposition;
extern TBooleanParameter* WantIncrust;
extern TBooleanParameter* WantVertFlip;
extern TBooleanParameter* WantHorzFlip;
extern TBooleanParameter* WantDeinter;
extern TBooleanParameter* WantElargir;
extern TBooleanParameter* WantWidescreen;
extern TStringParameter* WantVideoSource;
extern TStringParameter* WantAudioSource;
extern TStringParameter* WantFormatCapture;
extern TBooleanParameter* FullscreenOn;
extern TBooleanParameter* ReducedOn;
extern TBooleanParameter* MuteOn;
extern TBooleanParameter* IncrustationOn;
extern TBooleanParameter* Elargir;
extern TBooleanParameter* DeinterlacerOn;
extern TBooleanParameter* VerticalFlip;
extern TBooleanParameter* HorizontalFlip;
extern TBooleanParameter* StopperCameraDV1;
extern TBooleanParameter* StopperCameraDV2;
extern TBooleanParameter* VideoDate;
extern TBooleanParameter* ImageDate;
extern TBooleanParameter* ShowVideoPilotDV;
extern TBooleanParameter* ShowAudioPilotDV;
extern TBooleanParameter* TailleAutomatique;
extern TBooleanParameter* SauverPreferences;
extern TBooleanParameter* ConfirmerImage;
extern TBooleanParameter* ConfirmerVideo;
extern TBooleanParameter* Scn;
extern TBooleanParameter* Beeps;
extern TStringParameter* SourcesExclues;
extern TIntegerParameter* VideoInputSelect;
extern TFontParameter* IncrustFont;
} // namespace prefs

// "Arial", 21 points, white, bold.
const TFont& DefaultInlayFont();

} // namespace vidorel
