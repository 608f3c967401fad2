#pragma once

#include <functional>

class QObject;
class QWidget;

namespace vidorel {

// How long the orderly close has before a repeated signal ends the program at once.
inline constexpr int kTerminationGraceSeconds = 10;

// Turns SIGINT and SIGTERM (Ctrl+C in the terminal, a session or service manager ending the
// program) into an ordinary close of `window` on the UI thread, so a running capture is finished
// and the preferences are stored as when the user closes the window. Repeats within
// kTerminationGraceSeconds of the first signal are ignored (many senders signal twice); one
// after that ends the program at once.
void CloseOnTerminationSignals(QWidget* window);

// The same for any program: `then` runs on the thread of `context` at the first signal.
void OnTerminationSignals(QObject* context, std::function<void()> then);

} // namespace vidorel
