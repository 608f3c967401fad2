#pragma once

class QWidget;

namespace vidorel {

// Turns SIGINT and SIGTERM (Ctrl+C in the terminal, a session or service manager ending the
// program) into an ordinary close of `window` on the UI thread, so a running capture is finished
// and the preferences are stored as when the user closes the window. A second signal while the
// close runs ends the program at once.
void CloseOnTerminationSignals(QWidget* window);

} // namespace vidorel
