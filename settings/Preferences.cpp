#include "settings/Preferences.h"

#include "platform/UserDirs.h"

#include <memory>
#include <vector>

namespace vidorel {

TparameterList* PreferenceList = nullptr;

namespace prefs {
TIntegerParameter* Top;
TIntegerParameter* Left;
TIntegerParameter* Volume;
TIntegerParameter* Camform1Left;
TIntegerParameter* Camform2Left;
TIntegerParameter* Camform1Top;
TIntegerParameter* Camform2Top;
TTVstandardParameter* StandardDV;
TIntegerParameter* ProfileWmv;
TFrequenceDVParameter* FrequenceDV;
TIntegerParameter* RatioDV;
TIntegerParameter* CorrectionSync;
TRealParameter* Framerate;
TIntegerParameter* ModeIncruster;
TIntegerParameter* DureeIncruster;
TIntegerParameter* WhatIncrust;
TIntegerParameter* WhenIncrust;
TStringParameter* NoDatecode;
TRealParameter* DecalageHoraire;
TBooleanParameter* DecalageAvance;
TIntegerParameter* Alignement;
TIntegerParameter* PositionX;
TIntegerParameter* PositionY;
TIntegerParameter* ExtensionDesImages;
TIntegerParameter* QualiteJPeg;
TIntegerParameter* VersionWmv;
TIntegerParameter* ValeurIntervallometre;
TIntegerParameter* UnitesIntervallometre;
TframeNumberParameter* PanneauActif;
TAspectRatioParameter* AspectRatio;
TBooleanParameter* WideScreen;
TStringParameter* PluginsDir;
TStringParameter* VideoDirectory;
TStringParameter* VideoRacine;
TStringParameter* ImageDirectory;
TStringParameter* ImageRacine;
TStringParameter* Tapelog;
TStringParameter* SourceVideo;
TStringParameter* SourceAudio;
TFormatCaptureParameter* CaptureFormat;
TStringParameter* AudioType;
TStringParameter* SoundCardEntry;
TStringParameter* FormatDatecode1;
TStringParameter* FormatDatecode2;
TStringParameter* ProfilWindowsMedia;
TStringParameter* ProfilWmvFavori;
TBooleanParameter* DefaultProfil;
TStringParameter* DivxFavori;
TBooleanParameter* WantMp3;
TAspectRatioParameter* RatioDivx;
TBooleanParameter* FrequenceDVNative;
TBooleanParameter* Notifier;
TBooleanParameter* InternalDeinterlacer;
TBooleanParameter* EcranGauche;
TBooleanParameter* PreviewLocked;
TBooleanParameter* ActiverSuperposition;
TBooleanParameter* WantIncrust;
TBooleanParameter* WantVertFlip;
TBooleanParameter* WantHorzFlip;
TBooleanParameter* WantDeinter;
TBooleanParameter* WantElargir;
TBooleanParameter* WantWidescreen;
TStringParameter* WantVideoSource;
TStringParameter* WantAudioSource;
TStringParameter* WantFormatCapture;
TBooleanParameter* FullscreenOn;
TBooleanParameter* ReducedOn;
TBooleanParameter* MuteOn;
TBooleanParameter* IncrustationOn;
TBooleanParameter* Elargir;
TBooleanParameter* DeinterlacerOn;
TBooleanParameter* VerticalFlip;
TBooleanParameter* HorizontalFlip;
TBooleanParameter* StopperCameraDV1;
TBooleanParameter* StopperCameraDV2;
TBooleanParameter* VideoDate;
TBooleanParameter* ImageDate;
TBooleanParameter* ShowVideoPilotDV;
TBooleanParameter* ShowAudioPilotDV;
TBooleanParameter* TailleAutomatique;
TBooleanParameter* SauverPreferences;
TBooleanParameter* ConfirmerImage;
TBooleanParameter* ConfirmerVideo;
TBooleanParameter* Scn;
TBooleanParameter* Beeps;
TStringParameter* SourcesExclues;
TIntegerParameter* VideoInputSelect;
TFontParameter* IncrustFont;
} // namespace prefs

namespace {

std::unique_ptr<TparameterList> gList;
// The preference objects of the current list; they live as long as the list.
std::vector<std::unique_ptr<TParameter>> gObjects;

template <typename T, typename D, typename... Limits>
T* make(const char* name, const D& def, Limits... limits) {
    auto p = std::make_unique<T>(name, def, PreferenceList, limits...);
    T* raw = p.get();
    gObjects.push_back(std::move(p));
    return raw;
}

// Reads the sibling program's executable; its key is created when absent, so it exists
// after the first start even where that program was never installed. This is the first read
// of the store, so it may be the one that finds it damaged and keeps it aside: `status` says.
std::string tapelogExeName(StoreStatus& status) {
    try {
        TRegistry reg(PreferenceList->File);
        status = reg.Status();
        if (!reg.OpenKey(kTapelogKey, true)) {
            return {};
        }
        const std::string exe = reg.ReadString("Exename").value_or(std::string());
        reg.Commit();
        return exe;
    } catch (...) {
        return {};
    }
}

} // namespace

std::string ProductSignature() {
    return std::string(kProductName) + " " + kProductVersion + " " + kLanguage + " by " +
           kMakerName;
}

std::string PreferenceKeyPath() {
    return std::string(kMakerKey) + kProductName;
}

void CreatePreferenceList(RegistryFile file) {
    gObjects.clear();
    gList =
        std::make_unique<TparameterList>(PreferenceKeyPath(), ProductSignature(), std::move(file));
    PreferenceList = gList.get();
}

const TFont& DefaultInlayFont() {
    static const TFont font{"Arial", 21, 0xFFFFFF, true, false, false, false};
    return font;
}

void CreatePreferences(const PreferenceContext& ctx) {
    using namespace prefs;
    if (PreferenceList == nullptr) {
        CreatePreferenceList();
    }
    gObjects.clear();
    PreferenceList->Items.clear();

    // Integer division rounds toward zero, as the centring asks.
    const int top = (ctx.screenHeight - ctx.windowHeight) / 2;
    const int left = (ctx.screenWidth - ctx.windowWidth) / 2;
    std::string pluginsDir, videoDir, imageDir, tapelog;
    // A failing lookup must not cost the preferences after it: each falls back on its own.
    try {
        pluginsDir = DefaultPluginFolder(ExecutableFolder()) + "/";
    } catch (...) {
        pluginsDir = "./";
    }
    try {
        videoDir = UserVideosFolder() + "/";
        imageDir = UserPicturesFolder() + "/";
    } catch (...) {
        videoDir = imageDir = HomeFolder() + "/";
    }
    StoreStatus firstRead;
    tapelog = tapelogExeName(firstRead);

    Top = make<TIntegerParameter>("Top", top);
    Left = make<TIntegerParameter>("Left", left);
    Volume = make<TIntegerParameter>("Volume", 5000, 0, 10000);
    Camform1Left = make<TIntegerParameter>("Camform 1 left", left);
    Camform2Left = make<TIntegerParameter>("Camform 2 left", left);
    Camform1Top = make<TIntegerParameter>("Camform 1 top", top + ctx.windowHeight);
    Camform2Top = make<TIntegerParameter>("Camform 2 top", top + ctx.windowHeight);
    StandardDV = make<TTVstandardParameter>("Standard DV", uint8_t{0}, uint8_t{1});
    ProfileWmv = make<TIntegerParameter>("Profile wmv", 1, 0, 3);
    FrequenceDV = make<TFrequenceDVParameter>("FrequenceDV", uint8_t{3}, uint8_t{3});
    RatioDV = make<TIntegerParameter>("RatioDV", 0, 0, 1);
    CorrectionSync = make<TIntegerParameter>("Correction Sync", 0, -1000, 1000);
    Framerate = make<TRealParameter>("Framerate", 18.0, 0.0, 1000.0, true);
    ModeIncruster = make<TIntegerParameter>("Mode Incruster", 0, 0, 1);
    DureeIncruster = make<TIntegerParameter>("Durée Incruster", 5, 0, 99);
    WhatIncrust = make<TIntegerParameter>("What Incrust", 0, 0, 2);
    WhenIncrust = make<TIntegerParameter>("When Incrust", 2, 0, 2);
    NoDatecode = make<TStringParameter>("No Datecode", std::string("N/A"));
    DecalageHoraire = make<TRealParameter>("Décalage Horaire", 0.0, -23.0, 23.0);
    // Days in memory (what the datecode is shifted by), hours in the store.
    DecalageHoraire->StoreScale = 24.0;
    DecalageAvance = make<TBooleanParameter>("Décalage avancé", false);
    Alignement = make<TIntegerParameter>("Alignement", 2, 0, 2);
    PositionX = make<TIntegerParameter>("Position X", 930, 0, 1000);
    PositionY = make<TIntegerParameter>("position Y", 70, 0, 1000);
    ExtensionDesImages = make<TIntegerParameter>("Extension des images", 0, 0, 1);
    QualiteJPeg = make<TIntegerParameter>("Qualité JPeg", 50, 1, 100);
    VersionWmv = make<TIntegerParameter>("Version wmv", 2, 0, 2);
    ValeurIntervallometre = make<TIntegerParameter>("Valeur Intervallomètre", 10, 0, 999999);
    UnitesIntervallometre = make<TIntegerParameter>("Unités Intervallomètre", 0, 0, 3);
    PanneauActif = make<TframeNumberParameter>("Panneau Actif", uint8_t{0}, uint8_t{7});
    AspectRatio = make<TAspectRatioParameter>("Aspect ratio", uint8_t{0}, uint8_t{255});
    WideScreen = make<TBooleanParameter>("WideScreen", false);
    PluginsDir = make<TStringParameter>("Plugins Dir", pluginsDir);
    VideoDirectory = make<TStringParameter>("Video Directory", videoDir);
    VideoRacine = make<TStringParameter>("Video Racine", std::string("Video"));
    ImageDirectory = make<TStringParameter>("Image Directory", imageDir);
    ImageRacine = make<TStringParameter>("Image Racine", std::string("Image"));
    Tapelog = make<TStringParameter>("Tapelog", tapelog);
    SourceVideo = make<TStringParameter>("Source video", std::string("N/A"));
    SourceAudio = make<TStringParameter>("Source Audio", std::string("N/A"));
    // Any id loads: an id outside the format table shows under the fallback name.
    prefs::CaptureFormat =
        make<TFormatCaptureParameter>("Capture Format", uint8_t{10}, uint8_t{255});
    AudioType = make<TStringParameter>("Audio Type", std::string());
    SoundCardEntry = make<TStringParameter>("Sound Card Entry", std::string("Line In"));
    FormatDatecode1 = make<TStringParameter>("Format Datecode1", std::string("ddddd"));
    FormatDatecode2 = make<TStringParameter>("Format Datecode2", std::string("tt"));
    ProfilWindowsMedia = make<TStringParameter>("Profil Windows media", std::string("N/A"));
    ProfilWmvFavori = make<TStringParameter>("Profil wmv favori", std::string());
    DefaultProfil = make<TBooleanParameter>("Default Profil", true);
    DivxFavori = make<TStringParameter>("Divx favori", std::string());
    WantMp3 = make<TBooleanParameter>("Want Mp3", true);
    RatioDivx = make<TAspectRatioParameter>("Ratio Divx", uint8_t{1}, uint8_t{2});
    FrequenceDVNative = make<TBooleanParameter>("Frequence DV native", true);
    Notifier = make<TBooleanParameter>("Notifier", true);
    InternalDeinterlacer = make<TBooleanParameter>("Internal Deinterlacer", true);
    EcranGauche = make<TBooleanParameter>("EcranGauche", true);
    PreviewLocked = make<TBooleanParameter>("Preview Locked", true);
    ActiverSuperposition = make<TBooleanParameter>("Activer Superposition", true);
    WantIncrust = make<TBooleanParameter>("Want Incrust", false);
    WantVertFlip = make<TBooleanParameter>("Want vert Flip", false);
    WantHorzFlip = make<TBooleanParameter>("Want Horz flip", false);
    WantDeinter = make<TBooleanParameter>("Want Deinter", false);
    WantElargir = make<TBooleanParameter>("Want Elargir", false);
    WantWidescreen = make<TBooleanParameter>("Want Widescreen", false);
    WantVideoSource = make<TStringParameter>("Want video source", std::string());
    WantAudioSource = make<TStringParameter>("Want audio source", std::string());
    WantFormatCapture = make<TStringParameter>("Want Format capture", std::string());
    FullscreenOn = make<TBooleanParameter>("Fullscreen On", false);
    ReducedOn = make<TBooleanParameter>("Reduced on", false);
    MuteOn = make<TBooleanParameter>("Mute On", true);
    IncrustationOn = make<TBooleanParameter>("Incrustation On", false);
    Elargir = make<TBooleanParameter>("Elargir", false);
    DeinterlacerOn = make<TBooleanParameter>("Deinterlacer On", false);
    VerticalFlip = make<TBooleanParameter>("Vertical Flip", false);
    HorizontalFlip = make<TBooleanParameter>("Horizontal Flip", false);
    StopperCameraDV1 = make<TBooleanParameter>("Stopper camera DV 1 en quittant", true);
    StopperCameraDV2 = make<TBooleanParameter>("Stopper camera DV 2 en quittant", true);
    VideoDate = make<TBooleanParameter>("Video Date", true);
    ImageDate = make<TBooleanParameter>("Image date", false);
    ShowVideoPilotDV = make<TBooleanParameter>("Show Video Pilot DV", true);
    ShowAudioPilotDV = make<TBooleanParameter>("Show Audio Pilot DV", true);
    TailleAutomatique = make<TBooleanParameter>("Taille automatique", true);
    SauverPreferences = make<TBooleanParameter>("Sauver préférences en quittant", true);
    ConfirmerImage = make<TBooleanParameter>("Confirmer Image", true);
    ConfirmerVideo = make<TBooleanParameter>("Confirmer Video", true);
    Scn = make<TBooleanParameter>("Scn", false);
    Beeps = make<TBooleanParameter>("Beeps", false);
    SourcesExclues = make<TStringParameter>("Sources Exclues", std::string());
    VideoInputSelect = make<TIntegerParameter>("Video Input Select", -1, -1, INT32_MAX);
    IncrustFont = make<TFontParameter>("IncrustFont", DefaultInlayFont());

    try {
        PreferenceList->LoadAll();
    } catch (...) {
        // The store is unusable: everything keeps its default, and saving those would replace
        // what the user had.
        for (TParameter* p : PreferenceList->Items) {
            p->Reset();
        }
        PreferenceList->Store = {"The preferences file " + PreferenceList->File.path().string() +
                                     " could not be loaded; the program runs with default "
                                     "settings and will not save them.",
                                 false};
    }
    PreferenceList->NoteStore(firstRead);
}

std::string PreferenceStoreProblem() {
    return PreferenceList != nullptr ? PreferenceList->Store.problem : std::string();
}

bool SavePreferences() {
    try {
        return PreferenceList != nullptr && PreferenceList->SaveAll();
    } catch (...) {
        return false;
    }
}

bool SavePreferencesAndReport(IUserPrompt& prompt) {
    const bool ok = SavePreferences();
    if (!ok) {
        const std::string problem = PreferenceStoreProblem();
        prompt.Show(PromptKind::Error,
                    !problem.empty()
                        ? problem
                        : std::string("The preferences of ") + kProductName +
                              " could not be saved: the settings file cannot be written.",
                    PromptButtons::Ok);
    }
    return ok;
}

bool DeletePreferences(IUserPrompt& prompt) {
    const std::string product = kProductName;
    if (prompt.Show(PromptKind::Warning,
                    "Do you really want to delete the preferences of " + product +
                        "\nfrom your registry?",
                    PromptButtons::YesNo) != PromptAnswer::Yes) {
        return false;
    }
    const RegistryFile file = PreferenceList != nullptr ? PreferenceList->File
                                                        : RegistryFile(RegistryFile::DefaultPath());
    bool ok = false;
    std::string problem;
    try {
        TRegistry reg(file);
        if (!reg.Status().mayWrite) {
            // the store is left alone, so nothing can be deleted from it
            prompt.Show(PromptKind::Error, reg.Status().problem, PromptButtons::Ok);
            return false;
        }
        if (!reg.OpenKey(kMakerKey, false)) {
            prompt.Show(PromptKind::Warning,
                        "The preferences of " + product + " were not found in the registry.",
                        PromptButtons::Ok);
            return false;
        }
        reg.DeleteKey(PreferenceKeyPath());
        reg.OpenKey(kMakerKey, false);
        if (!reg.HasSubKeys()) {
            reg.CloseKey();
            reg.DeleteKey(kMakerKey);
        }
        reg.CloseKey();
        ok = reg.Commit();
        problem = reg.Status().problem;
    } catch (...) {
        ok = false;
    }
    if (ok) {
        prompt.Show(PromptKind::Information,
                    product + " has been completely deleted from your registry.",
                    PromptButtons::Ok);
    } else {
        prompt.Show(PromptKind::Error,
                    !problem.empty() ? problem
                                     : "The preferences of " + product +
                                           " could not be deleted: the settings file cannot be "
                                           "written.",
                    PromptButtons::Ok);
    }
    return ok;
}

namespace {
struct FormatNames {
    const char* name;
    const char* shortName;
    const char* extension;
};
constexpr FormatNames kFormats[13] = {
    {"", "", ".avi"},
    {"DV type 1 native", "Native", ".avi"},
    {"DV type 2 native", "Native", ".avi"},
    {"Native Mpeg Stream", "Native", ".mpg"},
    {"Default", "Default", ".avi"},
    {"Avi native", "Native", ".avi"},
    {"DV type 2 (recomp)", "DV2 rec", ".avi"},
    {"Wmv", "Wmv", ".wmv"},
    {"Image/image", "Image/image", ".avi"},
    {"Divx", "Divx", ".avi"},
    {"Default", "Default", ".avi"},
    {"Wav", "Wav", ".wav"},
    {"Mp3", "Mp3", ".mp3"},
};
} // namespace

std::string CaptureFormatName(TCaptureFormat id) {
    const int i = id % 128;
    return i <= 12 ? kFormats[i].name : "Default";
}

std::string CaptureFormatShortName(TCaptureFormat id) {
    const int i = id % 128;
    return i <= 12 ? kFormats[i].shortName : "Default";
}

std::string CaptureFormatExtension(TCaptureFormat id) {
    const int i = id % 128;
    return i <= 12 ? kFormats[i].extension : ".avi";
}

TCaptureFormat CaptureFormatFromName(const std::string& name) {
    if (name == "None") {
        return 0;
    }
    for (TCaptureFormat id : {1, 2, 3, 5, 6, 7, 8, 9, 11, 12}) {
        if (name == kFormats[id].name) {
            return id;
        }
    }
    return 10;
}

uint8_t FrequenceDVFromName(const std::string& name) {
    if (name == "32000 Hz") {
        return 1;
    }
    if (name == "44100 Hz") {
        return 2;
    }
    if (name == "48000 Hz") {
        return 3;
    }
    return 0;
}

} // namespace vidorel
