#pragma once

// The graph hands its events and completions to the thread that created it through Qt's event
// loop; tests that drive it turn that loop themselves.

#include <chrono>
#include <functional>

namespace vidorel::test {

// Creates the process's QCoreApplication when there is none yet (a test that needs a
// QGuiApplication creates that one first).
void EnsureCoreApplication();

// Processes Qt events until `done` answers true or `limit` has passed; answers `done()`.
bool SpinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::milliseconds(10000));

// Processes Qt events for `duration`.
void Spin(std::chrono::milliseconds duration);

} // namespace vidorel::test
