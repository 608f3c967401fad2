#include "app/OptionsFrame.h"

namespace vidorel {

const TTextTable& OptionsFrameTexts() {
    static const TTextTable table = {
        {"GroupBox1", "Settings (F10)"},
        {"tsPref", "Pref"},
        {"tsWmv", "Wmv"},
        {"tsDivx", "divx"},
        {"tsJpeg", "Images"},
        {"TabSheet1", "DV"},

        {"cbConfirmerVideo", "Confirm before replacing a video",
         "Always ask a confirmation before deleting an existent video file."},
        {"cbConfirmerImage", "Confirm before replacing an existing image",
         "Always ask a confirmation before deleting an existent image file."},
        {"gbPrefs", "Preferences"},
        {"sbSaveprefs", nullptr,
         "Save the current preferences.\r\nCaution: all future modifications will not be saved."},
        {"LabelSauverNow", "Save the preferences now",
         "Save the current preferences.\r\nCaution: all future modifications will not be saved."},
        {"sbDeleteprefs", nullptr,
         "Delete all preferences of Vidorel from the registry. At next start,\r\nthe default "
         "values will be loaded.\r\nRecommended before uninstalling the program."},
        {"LabelEffacerPrefs", "Delete the preferences",
         "Delete all preferences of Vidorel from the registry. At next start,\r\nthe default "
         "values will be loaded.\r\nRecommended before uninstalling the program."},
        {"cbPrefsQuittant", "Save the preferences when quit",
         "Save the preferences when quitting the application.\r\nRecommended."},
        {"cbNotifier", "Notify the changes in capture sources",
         "Automatic processing if a new capture source becomes available\r\nor an existing one "
         "becomes unavailable."},
        {"cbActiverSuperposition", "Allow the video effects",
         "If checked, the inlay and flip effects will be available\r\nUncheck, if your system is "
         "short of resources."},

        {"gbProfiles", "Standard profiles of wmv",
         "Settings of Windows media for capture in format Wmv."},
        {"Label1", "Version\r\nof Windows Media"},
        {"rgversion", nullptr, nullptr, {"4", "7", "8"}},
        {"rgProfiles",
         "Default Profiles",
         "Basic profiles for capturing in wmv",
         {"High", "Medium", "Low", "Internet"}},
        {"cbDefaultProfile", "Use the default profiles"},

        {"gbdivx", "DivX video"},
        {"cboxdivx", "cboxdivx", "List of DivX or Xvid codecs found on the system"},
        {"sbPropDivx", "Properties",
         "Fine tuning of the DivX or Xvid codec.\r\nBe sure to choose a configuration in one "
         "single pass!"},
        {"sbVersionDivx", "Version", "Version of codec DivX or Xvid"},
        {"rgRatio",
         "Ratio",
         "Change the ratio of the Divx video.\r\nThe height will always be limited to 288 pixels "
         "maximum.",
         {"native", "4x3", "16x9"}},
        {"cbMp3", "Mp3 Compression",
         "If checked, the capture in Divx or Xvid will compress audio into mp3.\r\nIf unchecked, "
         "audio will stay in PCM not compressed."},
        {"gbMp3", "Mp3"},
        {"Label3", "Bitrate in kbits per s"},
        {"cboxBitratemp3",
         nullptr,
         "Choose the bitrate of mp3 in kilobits per second.\r\nIf you need to spare disk space, "
         "96Kbits is often enough.",
         {"32", "40", "48", "56", "64", "80", "96", "112", "128", "160", "192", "224", "256",
          "320"}},
        {"sbPropMp3", "Advanced",
         "Fine tuning of the Mp3 capture, particularly the audio frequency\r\nif you do not want "
         "to keep 44100Hz. Actually the bitrate will not \r\nbe modified with this button, but "
         "only in the dedicated dialog box."},
        {"MemoMp3",
         "Ifyou install thefilter lame.ax of Elecard,\r\nyou will be able to compress audio to "
         "mp3."},

        {"rgExtension", nullptr, "Choose the type of snapshots", {"bmp", "jpeg"}},
        {"gbQuality", "Jpeg quality", "Set the quality of Jpeg.\r\nmini at left - maxi at right"},
        {"TrackBar1", nullptr, "Set the quality of Jpeg.\r\nmini at left - maxi at right"},
        {"labQuality", "50", "Set the quality of Jpeg.\r\nmini at left - maxi at right"},
        {"cbDeInterlacer", "Always deinterlace the grabbed images",
         "If checked, the grabbed images will always be deinterlaced\r\neven if the video is "
         "not."},

        {"rgStandard",
         "standard",
         "TV standard used to compress in DV type 2\r\nIf the source is DV, its standard will "
         "nevertheless be kept.",
         {"Pal", "NTSC"}},
        {"rgFrequenceDV",
         "Frequency",
         "Frequency used to compress in DV type 2",
         {"32000", "44100", "48000"}},
        {"cbfrequenceDVNative", "Keep the native frequency if possible",
         "Keeps the native frequency, whenever it is 32000, 44100 or 48000 Hz"},
        {"rgImageRatio", "Ratio", nullptr, {"4x3", "16x9"}},
        {"cbScn", "Create a scn file.",
         "Create a scn file to fasten the loading of the video file in Studio of "
         "Pinnacle,\r\nand allows to browse from scene to scene with Tapelog."},
        {"leNoDatecodeLabel", "Display if no datecode",
         "What to display if inlay is active but a frame has no datecode.\r\nGenerally \"N/A\" "
         "or nothing  \"\"."},
        {"leNoDatecode", nullptr,
         "What to display if inlay is active but a frame has no datecode.\r\nGenerally \"N/A\" "
         "or nothing  \"\"."},
    };
    return table;
}

} // namespace vidorel
