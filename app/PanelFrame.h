#pragma once

// The base of the eight option panels (and the error report): a fixed 275 x 400 frame that
// applies its own English texts and moves its values between the preferences and its controls.
// The controls are public members named as the program names them, so the main window binds
// its handlers to them.

#include "app/FormTexts.h"

#include <QWidget>

namespace vidorel {

class TPanelFrame : public QWidget {
public:
    static constexpr int kWidth = 275;
    static constexpr int kHeight = 400;

    TPanelFrame(const char* objectName, QWidget* parent);

    // Replaces every text with its English one (start-up, before the preferences).
    virtual void ApplyEnglishTexts();
    // Preferences into the controls (start-up) and back (store). Values changed live through
    // handlers are already in their preferences.
    virtual void LoadPreferences() {}
    virtual void StorePreferences() {}
    // The panel became visible (some panels refresh what they show).
    virtual void PanelShown() {}

protected:
    // The table of this panel's texts (in app/texts/).
    virtual const TTextTable& Texts() const = 0;
};

} // namespace vidorel
