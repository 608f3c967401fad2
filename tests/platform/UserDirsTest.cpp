#include "platform/UserDirs.h"
#include "platform/DiskSpace.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

TEST(DiskSpace, freeBytes_isPositiveForAFolder_andZeroWhenItCannotBeAsked) {
    EXPECT_GT(DiskFreeBytes(test::sandboxRoot()), 0u);
    EXPECT_EQ(DiskFreeBytes("/no/such/folder/anywhere"), 0u);
    EXPECT_EQ(DiskFreeBytes(""), 0u);
}

TEST(UserDirs, executableFolder_isTheFolderOfTheRunningProgram) {
    EXPECT_TRUE(std::filesystem::exists(ExecutablePath()));
    EXPECT_EQ(std::filesystem::path(ExecutablePath()).parent_path().string(), ExecutableFolder());
}
