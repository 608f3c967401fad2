#include "app/HelpFrame.h"

namespace vidorel {

const TTextTable& HelpFrameTexts() {
    static const TTextTable table = {
        {"tsShortcuts", "Shortcuts"},
        {"tsCamcorder", "Camcorder"},
        {"tsSystem", "System"},
        {"tsSources", "Sources"},
        {"Label1", "Drive a DV camcorder"},
        {"Memo1",
         "\r\nUncheck video or audio sources\r\nthat must not be proposed\r\nin the sources "
         "lists."},
    };
    return table;
}

QStringList HelpShortcutTitles() {
    return {QStringLiteral("Function"), QStringLiteral("Keyboards")};
}

QString HelpCamcorderNote() {
    return QStringLiteral("These commands are only active\r\nif a digital camcorder is "
                          "connected\r\nto a firewire plug,\r\nand if it is set on in VCR mode.");
}

} // namespace vidorel
