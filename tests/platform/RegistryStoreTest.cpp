#include "platform/RegistryStore.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vidorel;

namespace {

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(test::sandboxRoot()) /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(dir_);
        file_ = dir_ / "registry.reg";
    }
    void TearDown() override { RegistryFile::SimulateCrashBeforeRename(false); }
    std::string slurp(const fs::path& p) const {
        std::ifstream in(p);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void write(const std::string& text) const { std::ofstream(file_) << text; }

    fs::path dir_;
    fs::path file_;
};

} // namespace

TEST_F(RegistryStoreTest, values_roundTrip_throughTheFileWithTheirTypes) {
    {
        TRegistry reg{RegistryFile(file_)};
        ASSERT_TRUE(reg.OpenKey("\\Software\\Marlott\\Vidorel", true));
        reg.WriteDWord("Volume", 5000);
        reg.WriteString("Path", "C:\\dir \"quoted\"");
        reg.WriteBinary("Framerate", std::string("\x00\x00\x00\x00\x00\x00\x32\x40", 8));
        reg.WriteString("Décalage", "é");
        reg.WriteString("List", "Cam\r\nC:\\rdir\r\n");
        ASSERT_TRUE(reg.Commit());
    }
    const std::string text = slurp(file_);
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel]"), std::string::npos);
    EXPECT_NE(text.find("\"Volume\"=dword:00001388"), std::string::npos);
    EXPECT_NE(text.find("\"Framerate\"=hex:00,00,00,00,00,00,32,40"), std::string::npos);

    TRegistry back{RegistryFile(file_)};
    ASSERT_TRUE(back.OpenKey("software\\marlott\\VIDOREL", false)); // keys ignore case
    EXPECT_EQ(back.ReadDWord("Volume"), 5000u);
    EXPECT_EQ(back.ReadString("Path"), "C:\\dir \"quoted\"");
    EXPECT_EQ(back.ReadBinary("Framerate")->size(), 8u);
    EXPECT_EQ(back.ReadString("Décalage"), "é");
    // line breaks stay inside the one line of their value
    EXPECT_NE(text.find("\"List\"=\"Cam\\r\\nC:\\\\rdir\\r\\n\""), std::string::npos);
    EXPECT_EQ(back.ReadString("List"), "Cam\r\nC:\\rdir\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "registry.reg.bad"));
    // a value read as the wrong type is absent, not converted
    EXPECT_FALSE(back.ReadString("Volume"));
    EXPECT_FALSE(back.ReadDWord("Path"));
}

TEST_F(RegistryStoreTest, handEditedFile_withCommentsContinuationsAndOtherTypes_isRead) {
    write("REGEDIT4\r\n\r\n; written by hand\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n"
          "@=\"default\"\r\n\"Long\"=hex:01,02,\\\r\n  03,04\r\n"
          "\"Expand\"=hex(2):25,00\r\n\"Gone\"=-\r\n");
    TRegistry reg{RegistryFile(file_)};
    ASSERT_TRUE(reg.OpenKey("Software\\Other", false));
    EXPECT_EQ(reg.ReadString(""), "default");
    EXPECT_EQ(reg.ReadBinary("Long"), std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(reg.ReadString("Expand"), "%"); // expandable text reads as text
    EXPECT_FALSE(reg.ValueExists("Gone"));
}

TEST_F(RegistryStoreTest, damagedOrForeignFile_isSetAsideAndReadAsEmpty) {
    for (const char* bad :
         {"garbage\n", "Windows Registry Editor Version 5.00\n",
          "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:zz\n", "REGEDIT4\n\"orphan\"=\"value\"\n",
          "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex():00\n"}) {
        write(bad);
        TRegistry reg{RegistryFile(file_)};
        EXPECT_FALSE(reg.KeyExists("A")) << bad;
        EXPECT_FALSE(fs::exists(file_)) << bad;
        ASSERT_TRUE(fs::exists(dir_ / "registry.reg.bad")) << bad;
        EXPECT_EQ(slurp(dir_ / "registry.reg.bad"), bad);
        fs::remove(dir_ / "registry.reg.bad");
    }
}

TEST_F(RegistryStoreTest, missingOrEmptyFile_isAnEmptyStore_andOpeningWithoutCreateWritesNothing) {
    TRegistry reg{RegistryFile(file_)};
    EXPECT_FALSE(reg.OpenKey("Software\\Marlott\\Vidorel", false));
    EXPECT_TRUE(reg.Commit());
    EXPECT_FALSE(fs::exists(file_));
    write("");
    TRegistry empty{RegistryFile(file_)};
    EXPECT_FALSE(empty.KeyExists("Software"));
    EXPECT_FALSE(fs::exists(dir_ / "registry.reg.bad"));
}

TEST_F(RegistryStoreTest, commit_keepsKeysWrittenMeanwhileByAnotherInstance) {
    TRegistry first{RegistryFile(file_)};
    TRegistry second{RegistryFile(file_)};
    first.OpenKey("Software\\A", true);
    first.WriteDWord("a", 1);
    second.OpenKey("Software\\B", true);
    second.WriteDWord("b", 2);
    ASSERT_TRUE(first.Commit());
    ASSERT_TRUE(second.Commit());
    TRegistry check{RegistryFile(file_)};
    ASSERT_TRUE(check.OpenKey("Software\\A", false));
    EXPECT_EQ(check.ReadDWord("a"), 1u);
    ASSERT_TRUE(check.OpenKey("Software\\B", false));
    EXPECT_EQ(check.ReadDWord("b"), 2u);
}

TEST_F(RegistryStoreTest, concurrentWritersInSeparateProcesses_neverLoseAWrite) {
    constexpr int kChildren = 4;
    constexpr int kWrites = 25;
    for (int c = 0; c < kChildren; ++c) {
        if (fork() == 0) {
            for (int i = 0; i < kWrites; ++i) {
                TRegistry reg{RegistryFile(file_)};
                reg.OpenKey("Software\\P" + std::to_string(c), true);
                reg.WriteDWord("v" + std::to_string(i), static_cast<uint32_t>(i));
                if (!reg.Commit()) {
                    _exit(1);
                }
            }
            _exit(0);
        }
    }
    for (int c = 0; c < kChildren; ++c) {
        int status = 0;
        wait(&status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    TRegistry check{RegistryFile(file_)};
    for (int c = 0; c < kChildren; ++c) {
        ASSERT_TRUE(check.OpenKey("Software\\P" + std::to_string(c), false));
        for (int i = 0; i < kWrites; ++i) {
            EXPECT_EQ(check.ReadDWord("v" + std::to_string(i)), static_cast<uint32_t>(i));
        }
    }
}

TEST_F(RegistryStoreTest, saveInterruptedBeforeRename_leavesTheOldFileIntact) {
    {
        TRegistry reg{RegistryFile(file_)};
        reg.OpenKey("Software\\A", true);
        reg.WriteString("v", "old");
        ASSERT_TRUE(reg.Commit());
    }
    const std::string before = slurp(file_);
    RegistryFile::SimulateCrashBeforeRename(true);
    TRegistry reg{RegistryFile(file_)};
    reg.OpenKey("Software\\A", true);
    reg.WriteString("v", "new");
    EXPECT_FALSE(reg.Commit());
    EXPECT_EQ(slurp(file_), before);
}

TEST_F(RegistryStoreTest, unwritableFolder_failsTheSave_withoutCrashing) {
    // A plain file where the folder should be: no user, root included, can create it.
    std::ofstream(dir_ / "config") << "not a folder";
    TRegistry reg{RegistryFile(dir_ / "config" / "vidorel" / "registry.reg")};
    ASSERT_TRUE(reg.OpenKey("Software\\A", true));
    reg.WriteString("v", "x");
    EXPECT_FALSE(reg.Commit());
    EXPECT_TRUE(reg.HasChanges()); // still pending: a later save may succeed
}

TEST_F(RegistryStoreTest, deleteKey_removesTheWholeTree_andSubkeysAreEnumerated) {
    TRegistry reg{RegistryFile(file_)};
    reg.OpenKey("Software\\M\\V\\Font", true);
    reg.WriteDWord("Size", 21);
    reg.OpenKey("Software\\M\\Tapelog", true);
    reg.OpenKey("Software\\M", false);
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"Tapelog", "V"}));
    reg.DeleteKey("Software\\M\\V");
    ASSERT_TRUE(reg.Commit());
    TRegistry check{RegistryFile(file_)};
    EXPECT_FALSE(check.KeyExists("Software\\M\\V\\Font"));
    EXPECT_FALSE(check.KeyExists("Software\\M\\V"));
    EXPECT_TRUE(check.KeyExists("Software\\M\\Tapelog"));
}
