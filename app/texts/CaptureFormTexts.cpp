#include "app/FormTexts.h"

namespace vidorel {

const TTextTable& CaptureFormTexts() {
    static const TTextTable table{
        // Commands.
        {"acCapturerBascule", "Capture",
         "Capture the video stream to the hard drive.\r\nYou may also start and stop the capture "
         "with the Space bar"},
        {"acCouper", "Cut", "Cut the current capture and resume into a new file."},
        {"acGrab", "Grab!", "Grab a picture"},
        {"acProgrammerBascule", "Schedule", ""},
        {"acfullscreen", "Fullscreen", "Fullscreen"},
        {"acMute", "Turn sound off", "Put sound on or off.\r\nHas no effect on what is captured."},
        {"acIncVolume", "Increase the volume", ""},
        {"acDecVolume", "Decrease the volume", ""},
        {"acIncruster", "Inlay", "Start inlay"},
        {"acStartIncruster", "Inlay", ""},
        {"acStopIncruster", "Stop", ""},
        {"acVertFlip", "Flip vertically", "Flip the video top<=>down "},
        {"acHorzFlip", "Flip horizontally",
         "Flip Left <=> Right\r\nWarning: this feature will be active only during "
         "preview.\r\nIt is disabled during capture to avoid dropping frames."},
        {"acDesentrelacer", "Deinterlace",
         "Add or remove the internal Deinterlacer filter.\r\nWarning: it will be active only "
         "during preview.\r\nIt is disabled during capture to avoid dropping frames."},
        {"acElargir", "Native ratio aspect",
         "Modify the aspect ratio of the preview.\r\nThe captured video is not affected."},
        {"acWideScreen", "16x9",
         "Put the video window in 16x9\r\nHas no effect on what is captured."},
        {"acLockPreview", "Bloquer Preview",
         "If pushed, then what you preview is what you capture (Recommended)"},
        {"acTapelog", "Tapelog", "Launch Tapelog with the captured AVI clips"},
        {"acOuvrirDossierVideos", "Open the folder of captured videos",
         "Go to the folder where the video or audio clips are captured."},
        {"acJpgOption", "Jpg", ""},
        {"acBmpOption", "Bmp", ""},
        {"acSauverPrefs", "", "Save the preferences now."},
        {"acSliders", "Display the sliders", ""},
        {"acReduire", "Reduce", ""},
        {"acBasculerPanneau", "Mirror the window", ""},
        {"acNextPanneau", "Next panel", ""},
        {"acSourcesFrame", "Sources panel", "Panel for setting the video and audio sources."},
        {"acDossiersFrame", "Folders panel",
         "Panel for choosing the directories where to save\r\nvideos, audios and pictures."},
        {"acProgrammerFrame", "Schedule panel", "Panel for scheduling a capture"},
        {"acExtraireFrame", "Grab panel",
         "Panel for grabbing a picture.\r\nFeatures an intervalometer."},
        {"acIncrusterFrame", "Inlay panel", "Panel for inlaying datetime into the video."},
        {"acOptionsFrame", "Settings panel", "Panel for settings and preferences."},
        {"acHelp", "Help panel",
         "Panel for getting help:\r\nkeyboard shortcuts, system, capture sources."},
        {"acApropos", "About panel...", "About Vidorel"},
        {"acQuitter", "Quit", "Quit"},
        {"camPlayPause", "Play", ""},
        {"camStop", "Stop", ""},
        {"camAvanceLent", "Slow Forward", ""},
        {"camAvanceRapide", "fast forward", ""},
        {"camReculeLent", "Slow backward", ""},
        {"camReculeRapide", "Fast backward", ""},
        {"camToggle", "Toggle VCR", ""},
        {"acShowVideoPilotDV", "Camcorder window of the video source", ""},
        {"acShowAudioPilotDV", "Camcorder window of the audio source", ""},
        // The window's own controls.
        {"CaptureBtn", "Capture",
         "Capture the video stream to the hard drive.\r\nYou may also start and stop the capture "
         "with the Space bar"},
        {"grabBtn", "Grab!", "Grab a picture"},
        {"sbCouper", "Cut", "Cut the current capture and resume into a new file."},
        {"labVolume", "Volume",
         "Volume of sound .\r\nType + or - at the numeric keypad to change it."},
        {"tb", nullptr,
         "Modify the volume of audio sound.\r\nHas no effect on the recorded sound."},
        {"gaugeVolume", nullptr,
         "Volume of sound .\r\nType + or - at the numeric keypad to change it."},
        {"Shape1", nullptr,
         "Click on this corner to display or hide\r\nthe cursors to set the inlay  position."},
        {"vwEcran", nullptr,
         "Preview screen for the video stream. \r\nThe aspect ratio of the video may be changed "
         "with F3.\r\nClic left to grab an image. Clic right to open a popup menu."},
        {"Yslider", nullptr, "Drag the cursor to modify the vertical position of inlays"},
        {"Xslider", nullptr, "Drag the cursor to modify the horizontal position of inlays"},
        {"Panel2", nullptr, "No video stream"},
        {"mnPanels", "Settings panel", "Panel for setting the video and audio sources."},
        {"tbActions", nullptr, "Effects"},
        {"tbPanneaux", nullptr, "Panels"},
        {"TbGeneral", nullptr, "Help, about and quit"},
    };
    return table;
}

} // namespace vidorel
