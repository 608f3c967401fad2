#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace vidorel::test {
std::string& sandboxRootStorage();
}

namespace {

void makeSandbox() {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "vidorel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    const fs::path root(pattern);
    vidorel::test::sandboxRootStorage() = root.string();
    const struct {
        const char* var;
        const char* sub;
    } dirs[] = {{"HOME", "home"},
                {"XDG_CONFIG_HOME", "home/.config"},
                {"XDG_DATA_HOME", "home/.local/share"},
                {"XDG_CACHE_HOME", "home/.cache"},
                {"XDG_RUNTIME_DIR", "runtime"}};
    for (const auto& d : dirs) {
        const fs::path p = root / d.sub;
        fs::create_directories(p);
        setenv(d.var, p.c_str(), 1);
    }
    fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // One plug-in registry for the whole build: rebuilding it in every sandbox would cost
    // seconds per test process.
    setenv("GST_REGISTRY", VIDOREL_GST_REGISTRY, 0);
    // Tests never reach a real sound server or display.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("PULSE_SERVER");
}

} // namespace

int main(int argc, char** argv) {
    makeSandbox();
    testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(vidorel::test::sandboxRoot(), ec);
    return rc;
}
