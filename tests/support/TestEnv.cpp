#include "tests/support/TestEnv.h"

namespace vidorel::test {

std::string& sandboxRootStorage() {
    static std::string root;
    return root;
}

const std::string& sandboxRoot() {
    return sandboxRootStorage();
}

} // namespace vidorel::test
