#pragma once

#include <string>

namespace vidorel::test {

// The private folder that the isolating main created for this test process; HOME and the
// XDG folders live below it and it is removed when the process ends.
const std::string& sandboxRoot();

} // namespace vidorel::test
