#include "app/DossiersFrame.h"

#include "settings/Preferences.h"

namespace vidorel {

namespace {
constexpr const char* kVideoDirHint =
    "Choose the directory into which the captured videos or audios will be saved.";
constexpr const char* kImageDirHint = "Directory in which the images are saved";
constexpr const char* kTapelogHint =
    "Browse your harddisk, and indicate here the path to the exefile Tapelog.\r\n"
    "Then you will be able to open the captured AVI clips with Tapelog by clicking on F8\r\n"
    "or on an icon at the bottom of the \"Sources panel\" (F2).";
constexpr const char* kPluginHint = "Folder where to look for plug-ins (*.pzv files)";
} // namespace

const TTextTable& DossiersTexts() {
    // A browse button shows "..." and takes the hint of its box, which also names it for a
    // screen reader (the second entry, without a caption, does that).
    static const TTextTable table = {
        {"gbDossiers", "Directories (Alt+D)"},
        {"labTapelog", "Tapelog"},
        {"labPlugin", "Plug-ins"},
        {"gbFichier", "Video Files", "Define the avi file for capture"},
        {"LabelVideo", "LabelVideo",
         "Indicates the next name for capture,\r\n"
         "or the current name if capture is beeing processed.\r\n"
         "Click here to go to the Sources panel."},
        {"sbVideo", nullptr, "Open the folder where the videos or audios are saved"},
        {"VideoDirEdit", nullptr, kVideoDirHint},
        {"VideoDirBtn", "..."},
        {"VideoDirBtn", nullptr, kVideoDirHint},
        {"VideoRacineEdit", "Video", "Root for the name of the captured video or audio files."},
        {"cbVideoDate", "Include date", "Add or remove the date to the video or audio filename."},
        {"gbFichierImages", "Image Files", "Set the name and folder for grabbed images"},
        {"LabelImage", "LabelImage",
         "Name of the next grabbed image.\r\n"
         "Click to display the image grab panel."},
        {"sbImage", nullptr, "Open the folder where the images are saved."},
        {"ImageDirEdit", nullptr, kImageDirHint},
        {"ImageDirBtn", "..."},
        {"ImageDirBtn", nullptr, kImageDirHint},
        {"ImageRacineEdit", "Image", "Root used to build the image name."},
        {"cbImageDate", "Include date", "Add or remove the date to the image filename"},
        {"feTapelog", "feTapelog", kTapelogHint},
        {"feTapelogBtn", "..."},
        {"feTapelogBtn", nullptr, kTapelogHint},
        {"dePlugin", nullptr, kPluginHint},
        {"dePluginBtn", "..."},
        {"dePluginBtn", nullptr, kPluginHint},
    };
    return table;
}

std::string PluginFolderMessage(const std::string& folder) {
    return "The plug-ins found in the folder " + folder + "\r\n" +
           "will only be activated on next start of " + kProductName + "\r\n\r\n" +
           "You should restart it now.";
}

} // namespace vidorel
