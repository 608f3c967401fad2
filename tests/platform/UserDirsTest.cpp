#include "platform/UserDirs.h"
#include "platform/DiskSpace.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

using namespace vidorel;

TEST(UserDirs, namedFolders_comeFromUserDirs_andFallBackToDocumentsThenHome) {
    const std::string home = std::getenv("HOME");
    const std::string cfg = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::remove(cfg + "/user-dirs.dirs");
    EXPECT_EQ(UserVideosFolder(), home);
    EXPECT_EQ(UserPicturesFolder(), home);
    std::ofstream(cfg + "/user-dirs.dirs")
        << "# comment\nXDG_VIDEOS_DIR=\"$HOME/Vidéos\"\nXDG_DOCUMENTS_DIR=\"/data/docs/\"\n";
    EXPECT_EQ(UserVideosFolder(), home + "/Vidéos");
    EXPECT_EQ(UserDocumentsFolder(), "/data/docs");
    EXPECT_EQ(UserPicturesFolder(), "/data/docs");
    std::filesystem::remove(cfg + "/user-dirs.dirs");
}

TEST(UserDirs, aFifoInPlaceOfUserDirs_isPassedOver_andALinkedOneIsRead) {
    const std::string home = std::getenv("HOME");
    const std::string cfg = std::getenv("XDG_CONFIG_HOME");
    const std::string file = cfg + "/user-dirs.dirs";
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    // Read at start-up on the window's thread: a FIFO without a writer must not hold it.
    auto pending = std::async(std::launch::async, [] { return UserVideosFolder(); });
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "reading the folder names blocked on a FIFO";
    EXPECT_EQ(pending.get(), home);
    std::filesystem::remove(file);

    // Desktop settings kept elsewhere and linked in are read through the link.
    const std::string real = test::sandboxRoot() + "/dotfiles-user-dirs";
    std::ofstream(real) << "XDG_VIDEOS_DIR=\"/media/films\"\n";
    std::filesystem::create_symlink(real, file);
    EXPECT_EQ(UserVideosFolder(), "/media/films");
    std::filesystem::remove(file);
}

TEST(DiskSpace, freeBytes_isPositiveForAFolder_andZeroWhenItCannotBeAsked) {
    EXPECT_GT(DiskFreeBytes(test::sandboxRoot()), 0u);
    EXPECT_EQ(DiskFreeBytes("/no/such/folder/anywhere"), 0u);
    EXPECT_EQ(DiskFreeBytes(""), 0u);
}

TEST(UserDirs, executableFolder_isTheFolderOfTheRunningProgram) {
    EXPECT_TRUE(std::filesystem::exists(ExecutablePath()));
    EXPECT_EQ(std::filesystem::path(ExecutablePath()).parent_path().string(), ExecutableFolder());
}

TEST(UserDirs, defaultPluginFolder_isTheInstalledOneBesideTheProgram_elseTheProgramsOwn) {
    namespace fs = std::filesystem;
    const fs::path prefix = fs::path(std::getenv("HOME")) / "prefix";
    fs::create_directories(prefix / "bin");
    const std::string bin = (prefix / "bin").string();
    // The build tree's layout: no plug-in folder beside it.
    EXPECT_EQ(DefaultPluginFolder(bin, "../lib/x86_64-linux-gnu/vidorel/plugins"), bin);
    fs::create_directories(prefix / "lib/x86_64-linux-gnu/vidorel/plugins");
    EXPECT_EQ(DefaultPluginFolder(bin, "../lib/x86_64-linux-gnu/vidorel/plugins"),
              (prefix / "lib/x86_64-linux-gnu/vidorel/plugins").string());
    // Given with a trailing "/", it is answered without one.
    EXPECT_EQ(DefaultPluginFolder(bin, "../lib/x86_64-linux-gnu/vidorel/plugins/"),
              (prefix / "lib/x86_64-linux-gnu/vidorel/plugins").string());
    // A file of that name is not a folder to search.
    std::ofstream((prefix / "lib/x86_64-linux-gnu/vidorel/file").string()) << "x";
    EXPECT_EQ(DefaultPluginFolder(bin, "../lib/x86_64-linux-gnu/vidorel/file"), bin);
    // The installed layout's path is relative to bin and ends in the plug-in folder.
    EXPECT_EQ(InstalledPluginPathFromBin().rfind("../lib", 0), 0u);
    EXPECT_TRUE(InstalledPluginPathFromBin().ends_with("/vidorel/plugins"));
    fs::remove_all(prefix);
}
