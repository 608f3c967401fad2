#pragma once

#include <QWidget>

namespace vidorel {

// The main window. Fixed 700 x 459 client area; owns the preference list for the life of the
// program, loads the preferences when first shown and stores them when closed.
class TCaptureForm : public QWidget {
public:
    static constexpr int kClientWidth = 700;
    static constexpr int kClientHeight = 459;

    explicit TCaptureForm(QWidget* parent = nullptr);
    ~TCaptureForm() override;

    // "Vidorel 5.1.7 by Marlott"
    static QString NormalCaption();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void FormShow();
    void LoadPreferences();
    void StorePreferences();

    bool shown_ = false;
};

} // namespace vidorel
