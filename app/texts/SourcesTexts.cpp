#include "app/SourcesFrame.h"

namespace vidorel {

const TTextTable& SourcesFrameTexts() {
    static const TTextTable table{
        {"gbVideo", "Video source (F2)"},
        {"cboxvideo", nullptr, "Choose the video stream to preview and capture."},
        {"LabVideo", "", "Size and frame rate of the video stream."},
        {"sbVideoSettings", nullptr, "Settings of video source."},
        {"sbVideoPilotVCR", nullptr, "Show or hide the window driving the DV camcorder."},
        {"gbAudio", "Audio source"},
        {"cboxAudio", nullptr, "Choose the audio stream to listen to and capture."},
        {"LabAudio", "", "Rate, bits and channels of the audio stream."},
        {"sbAudioSettings", nullptr, "Settings of audio source."},
        {"sbAudioPilotVCR", nullptr, "Show or hide the window driving the DV camcorder."},
        {"cbEntries", nullptr, "List of entries from the audio board"},
        {"gbFormatCapture", "Capture format"},
        {"cbFormatCapture", nullptr, "Format of the captured file."},
        {"sbFormatCapturesettings", nullptr, "Settings of the capture format."},
        {"labCorrection", "Sync correction (frames)"},
        {"rxCorrection", nullptr,
         "Moves the sound against the picture, in frames.\r\nNegative values make the sound "
         "earlier."},
        {"labFramerate", "images/second"},
        {"leFramerate", nullptr, "Frame rate of the video made image by image."},
        {"gbFichierSources", "Video file"},
        {"LabelVideo", "LabelVideo",
         "Indicates the next name for capture,\r\nor the current name if capture is beeing "
         "processed.\r\nClick here to go to the Folders panel."},
        {"ActualiserVideoBtn", "Refresh",
         "Look again for video and audio sources\r\n(after plugging in a device)."},
        {"sbTapelog", nullptr, "Launch Tapelog with the captured AVI clips"},
    };
    return table;
}

} // namespace vidorel
