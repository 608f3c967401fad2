#include "platform/RegistryStore.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <linux/capability.h>
#include <optional>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
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

namespace {

std::string bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::set<std::string> entries(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        out.insert(e.path().filename().string());
    }
    return out;
}

const std::string kStore = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel]\n"
                           "\"Volume\"=dword:00000457\n\n[HKEY_CURRENT_USER\\Software\\Other]\n"
                           "\"Keep\"=\"me\"\n\n";

// Takes the power to read any file away from root for the life of the object, so that a
// chmod 000 store is unreadable as it is for a user after a run under sudo. Nothing to do for
// other users.
class WithoutReadOverride {
public:
    WithoutReadOverride() {
        if (::geteuid() != 0) {
            ok_ = true;
            return;
        }
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (::syscall(SYS_capget, &header, saved_) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ok_ = active_ = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutReadOverride() {
        if (active_) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            ::syscall(SYS_capset, &header, saved_);
        }
    }
    WithoutReadOverride(const WithoutReadOverride&) = delete;
    WithoutReadOverride& operator=(const WithoutReadOverride&) = delete;
    bool ok() const { return ok_; }

private:
    __user_cap_data_struct saved_[2]{};
    bool ok_ = false;
    bool active_ = false;
};

// Sets or removes environment variables for one test and puts them back afterwards.
class ScopedEnv {
public:
    void set(const char* name, const char* value) {
        remember(name);
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

private:
    void remember(const char* name) {
        for (const auto& saved : saved_) {
            if (saved.first == name) {
                return;
            }
        }
        const char* v = std::getenv(name);
        saved_.emplace_back(name, v != nullptr ? std::optional<std::string>(v) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class StoreLeftAloneTest : public RegistryStoreTest {
protected:
    void TearDown() override {
        RegistryFile::SimulateOpenFailure(0);
        RegistryStoreTest::TearDown();
    }
    std::string refusal(const std::string& cause) const {
        return "The preferences file " + file_.string() + " " + cause +
               "; the program runs with default settings and will not save them.";
    }
    // A handle on the store that tries to save a value over it.
    static bool trySave(TRegistry& reg) {
        reg.OpenKey("Software\\Marlott\\Vidorel", true);
        reg.WriteDWord("Volume", 1);
        return reg.Commit();
    }
};

} // namespace

TEST_F(StoreLeftAloneTest, storeThatCannotBeOpened_readsAsEmpty_isToldAndNeverSavedOver) {
    writeBytes(file_, kStore);
    RegistryFile::SimulateOpenFailure(EACCES);
    TRegistry reg{RegistryFile(file_)};
    EXPECT_EQ(reg.Status().problem, refusal("cannot be read (Permission denied)"));
    EXPECT_FALSE(reg.Status().mayWrite);
    EXPECT_FALSE(reg.KeyExists("Software\\Other"));
    EXPECT_FALSE(trySave(reg));
    // readable again: the handle still refuses, its snapshot never showed what the file holds
    RegistryFile::SimulateOpenFailure(0);
    EXPECT_FALSE(reg.Commit());
    EXPECT_EQ(bytesOf(file_), kStore);
    EXPECT_EQ(entries(dir_), (std::set<std::string>{"registry.reg"}));

    RegistryFile::SimulateOpenFailure(EIO);
    TRegistry other{RegistryFile(file_)};
    EXPECT_EQ(other.Status().problem, refusal("cannot be read (Input/output error)"));
}

TEST_F(StoreLeftAloneTest, storeWithoutReadPermission_readsAsEmpty_isToldAndNeverSavedOver) {
    writeBytes(file_, kStore);
    fs::permissions(file_, fs::perms::none, fs::perm_options::replace);
    {
        WithoutReadOverride asUser;
        if (!asUser.ok()) {
            fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
            GTEST_SKIP() << "cannot give up root's power to read any file here";
        }
        TRegistry reg{RegistryFile(file_)};
        EXPECT_EQ(reg.Status().problem, refusal("cannot be read (Permission denied)"));
        EXPECT_FALSE(reg.Status().mayWrite);
        EXPECT_FALSE(trySave(reg));
    }
    EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all, fs::perms::none);
    fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(bytesOf(file_), kStore);
    EXPECT_EQ(entries(dir_), (std::set<std::string>{"registry.reg"}));
}

TEST_F(StoreLeftAloneTest, folderOrNamedPipeInPlaceOfTheStore_isToldAndLeftAsItIs) {
    fs::create_directory(file_);
    writeBytes(file_ / "inside", "mine");
    {
        TRegistry reg{RegistryFile(file_)};
        EXPECT_EQ(reg.Status().problem, refusal("is not a regular file but a folder"));
        EXPECT_FALSE(trySave(reg));
    }
    EXPECT_TRUE(fs::is_directory(file_));
    EXPECT_EQ(bytesOf(file_ / "inside"), "mine");
    EXPECT_EQ(entries(dir_), (std::set<std::string>{"registry.reg"}));
    fs::remove_all(file_);

    // a blocking open would wait here for a writer that never comes
    ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);
    {
        TRegistry reg{RegistryFile(file_)};
        EXPECT_EQ(reg.Status().problem, refusal("is not a regular file but a named pipe"));
        EXPECT_FALSE(reg.Status().mayWrite);
        EXPECT_FALSE(trySave(reg));
    }
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(file_)));
    EXPECT_EQ(entries(dir_), (std::set<std::string>{"registry.reg"}));
}

TEST_F(StoreLeftAloneTest, namedPipeOrLinkInPlaceOfTheLock_failsTheSave_withoutWaitingOrFollowing) {
    writeBytes(file_, kStore);
    const fs::path lock = dir_ / "registry.reg.lock";
    ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0);
    {
        TRegistry reg{RegistryFile(file_)};
        EXPECT_TRUE(reg.Status().problem.empty());
        EXPECT_FALSE(trySave(reg));
        EXPECT_EQ(reg.Status().problem, "The preferences file " + file_.string() +
                                            " cannot be saved: its lock file " + lock.string() +
                                            " is not a regular file.");
        EXPECT_TRUE(reg.Status().mayWrite); // a later save may succeed
    }
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(lock)));
    EXPECT_EQ(bytesOf(file_), kStore);

    // a damaged store cannot be moved aside without the lock: it stays where it is
    writeBytes(file_, "damaged\n");
    {
        TRegistry reg{RegistryFile(file_)};
        EXPECT_EQ(reg.Status().problem,
                  refusal("is damaged (it does not start with REGEDIT4) and cannot be kept "
                          "aside: its lock file " +
                          lock.string() + " is not a regular file"));
        EXPECT_FALSE(reg.Status().mayWrite);
    }
    EXPECT_EQ(bytesOf(file_), "damaged\n");
    fs::remove(lock);

    // a dangling link would have made the save create its target
    writeBytes(file_, kStore);
    const fs::path target = dir_ / "created-elsewhere";
    fs::create_symlink(target, lock);
    {
        TRegistry reg{RegistryFile(file_)};
        EXPECT_FALSE(trySave(reg));
        EXPECT_EQ(reg.Status().problem, "The preferences file " + file_.string() +
                                            " cannot be saved: its lock file " + lock.string() +
                                            " is a symbolic link.");
    }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_symlink(lock));
    EXPECT_EQ(bytesOf(file_), kStore);
}

TEST_F(RegistryStoreTest, linkPlantedAtATemporaryName_isNeverWrittenThrough) {
    writeBytes(file_, kStore);
    const fs::path victim = dir_ / "victim";
    writeBytes(victim, "precious");
    // the name the save used to take, and one of the shape it takes now
    const fs::path oldName = dir_ / ("registry.reg.tmp." + std::to_string(::getpid()));
    fs::create_symlink(victim, oldName);
    fs::create_symlink(victim, dir_ / "registry.reg.tmp.XXXXXX");
    TRegistry reg{RegistryFile(file_)};
    ASSERT_TRUE(reg.OpenKey("Software\\Marlott\\Vidorel", true));
    reg.WriteDWord("Volume", 7);
    ASSERT_TRUE(reg.Commit());
    EXPECT_EQ(bytesOf(victim), "precious");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file_)));
    EXPECT_TRUE(fs::is_symlink(oldName));
    EXPECT_EQ(bytesOf(file_), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Marlott\\Vidorel]\n"
                              "\"Volume\"=dword:00000007\n\n[HKEY_CURRENT_USER\\Software\\Other]\n"
                              "\"Keep\"=\"me\"\n\n");
    // nothing is left behind but the lock
    EXPECT_EQ(entries(dir_),
              (std::set<std::string>{"registry.reg", "registry.reg.lock", "victim",
                                     oldName.filename().string(), "registry.reg.tmp.XXXXXX"}));
}

TEST_F(StoreLeftAloneTest, damagedStores_areKeptAsideUnderFreshNames_upToTheLimit) {
    // a dangling link at the first name is a taken name too
    fs::create_symlink(dir_ / "nowhere", dir_ / "registry.reg.bad");
    std::vector<std::string> names;
    for (int n = 1; n < kMaxBadCopies; ++n) {
        const std::string damaged = "damaged store " + std::to_string(n) + "\n";
        writeBytes(file_, damaged);
        TRegistry reg{RegistryFile(file_)};
        const std::string kept = file_.string() + ".bad." + std::to_string(n);
        EXPECT_EQ(reg.Status().problem, "The preferences file " + file_.string() +
                                            " was damaged (it does not start with REGEDIT4) "
                                            "and has been kept as " +
                                            kept + "; the program starts with default settings.");
        EXPECT_TRUE(reg.Status().mayWrite);
        EXPECT_FALSE(fs::exists(file_));
    }
    for (int n = 1; n < kMaxBadCopies; ++n) {
        EXPECT_EQ(bytesOf(file_.string() + ".bad." + std::to_string(n)),
                  "damaged store " + std::to_string(n) + "\n");
    }
    EXPECT_TRUE(fs::is_symlink(dir_ / "registry.reg.bad"));

    // every name taken: the next damaged store stays where it is and nothing saves over it
    const std::string last = "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:zz\n";
    writeBytes(file_, last);
    {
        TRegistry reg{RegistryFile(file_)};
        EXPECT_EQ(reg.Status().problem,
                  refusal("is damaged (line 3 holds a value that cannot be read) and cannot be "
                          "kept aside: " +
                          file_.string() + ".bad to " + file_.string() + ".bad.9 already exist"));
        EXPECT_FALSE(reg.Status().mayWrite);
        EXPECT_FALSE(trySave(reg));
    }
    EXPECT_EQ(bytesOf(file_), last);

    // a freed name is used again
    fs::remove(file_.string() + ".bad.4");
    TRegistry reg{RegistryFile(file_)};
    EXPECT_TRUE(reg.Status().mayWrite);
    EXPECT_EQ(bytesOf(file_.string() + ".bad.4"), last);
    EXPECT_EQ(bytesOf(file_.string() + ".bad.5"), "damaged store 5\n");
    EXPECT_TRUE(trySave(reg));
}

TEST_F(RegistryStoreTest, storeOfExactlyTheSizeLimit_isRead_andOneByteMoreIsKeptAside) {
    const std::string head = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Big]\n\"v\"=\"";
    const std::string tail = "\"\n";
    const std::string atLimit =
        head + std::string(kMaxStoreBytes - head.size() - tail.size(), 'x') + tail;
    ASSERT_EQ(atLimit.size(), kMaxStoreBytes);
    writeBytes(file_, atLimit);
    {
        TRegistry reg{RegistryFile(file_)};
        EXPECT_TRUE(reg.Status().problem.empty());
        ASSERT_TRUE(reg.OpenKey("Software\\Big", false));
        EXPECT_EQ(reg.ReadString("v")->size(), kMaxStoreBytes - head.size() - tail.size());
    }
    EXPECT_TRUE(bytesOf(file_) == atLimit);

    const std::string overLimit = atLimit + ";";
    writeBytes(file_, overLimit);
    TRegistry reg{RegistryFile(file_)};
    EXPECT_EQ(reg.Status().problem,
              "The preferences file " + file_.string() +
                  " was damaged (it is larger than the limit of 16 MiB) and has been kept as " +
                  file_.string() + ".bad; the program starts with default settings.");
    EXPECT_FALSE(reg.KeyExists("Software\\Big"));
    EXPECT_FALSE(fs::exists(file_));
    EXPECT_TRUE(bytesOf(file_.string() + ".bad") == overLimit);
}

TEST_F(RegistryStoreTest, saveOfExactlyTheSizeLimit_isWritten_andOneByteMoreIsRefused) {
    // what the file holds around the value's text
    const std::string frame = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Big]\n\"v\"=\"\"\n\n";
    TRegistry reg{RegistryFile(file_)};
    ASSERT_TRUE(reg.OpenKey("Software\\Big", true));
    reg.WriteString("v", std::string(kMaxStoreBytes - frame.size() + 1, 'x'));
    EXPECT_FALSE(reg.Commit());
    EXPECT_EQ(reg.Status().problem, "The preferences file " + file_.string() +
                                        " cannot be saved (it would be larger than the limit "
                                        "of 16 MiB).");
    EXPECT_FALSE(fs::exists(file_));

    reg.WriteString("v", std::string(kMaxStoreBytes - frame.size(), 'x'));
    ASSERT_TRUE(reg.Commit());
    EXPECT_EQ(fs::file_size(file_), kMaxStoreBytes);
    TRegistry back{RegistryFile(file_)};
    EXPECT_TRUE(back.Status().problem.empty());
    EXPECT_TRUE(back.KeyExists("Software\\Big"));
}

TEST_F(RegistryStoreTest, keyOfExactlyTheDepthLimit_isKept_andOneLevelMoreIsRefused) {
    // HKEY_CURRENT_USER is the first of the levels
    std::string deepest;
    for (size_t i = 1; i < kMaxKeyDepth; ++i) {
        deepest += (i > 1 ? "\\k" : "k") + std::to_string(i);
    }
    TRegistry reg{RegistryFile(file_)};
    EXPECT_FALSE(reg.OpenKey(deepest + "\\one-more", true));
    ASSERT_TRUE(reg.OpenKey(deepest, true));
    reg.WriteString("v", "deep");
    ASSERT_TRUE(reg.Commit());

    TRegistry back{RegistryFile(file_)};
    EXPECT_TRUE(back.Status().problem.empty());
    ASSERT_TRUE(back.OpenKey(deepest, false));
    EXPECT_EQ(back.ReadString("v"), "deep");
    // only the key with the value is written: its parents come back from its path
    EXPECT_EQ(bytesOf(file_),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + deepest + "]\n\"v\"=\"deep\"\n\n");

    const std::string tooDeep =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + deepest + "\\one-more]\n\"v\"=\"deep\"\n";
    writeBytes(file_, tooDeep);
    TRegistry refused{RegistryFile(file_)};
    EXPECT_EQ(refused.Status().problem,
              "The preferences file " + file_.string() +
                  " was damaged (line 3 names a key more than 512 levels deep) and has been "
                  "kept as " +
                  file_.string() + ".bad; the program starts with default settings.");
    EXPECT_EQ(bytesOf(file_.string() + ".bad"), tooDeep);
}

TEST_F(RegistryStoreTest, noPrivateFolder_meansNoStore_neverOneInTheSharedTemporaryFolder) {
    ScopedEnv env;
    env.set("XDG_CONFIG_HOME", nullptr);
    env.set("HOME", nullptr);
    EXPECT_EQ(RegistryFile::DefaultPath(), fs::path());
    env.set("HOME", "relative/home");
    env.set("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(RegistryFile::DefaultPath(), fs::path());

    const fs::path shared = fs::temp_directory_path() / "vidorel";
    const bool sharedExisted = fs::exists(shared);
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    EXPECT_EQ(reg.Status().problem, "Neither XDG_CONFIG_HOME nor HOME names a private folder for "
                                    "the preferences file; the program runs with default "
                                    "settings and will not save them.");
    EXPECT_FALSE(reg.Status().mayWrite);
    ASSERT_TRUE(reg.OpenKey("Software\\A", true));
    reg.WriteDWord("v", 1);
    EXPECT_FALSE(reg.Commit());
    EXPECT_EQ(fs::exists(shared), sharedExisted);

    // a relative XDG_CONFIG_HOME is ignored in favour of HOME
    env.set("HOME", dir_.c_str());
    EXPECT_EQ(RegistryFile::DefaultPath(), dir_ / ".config" / "vidorel" / "registry.reg");
    env.set("XDG_CONFIG_HOME", (dir_ / "cfg").c_str());
    EXPECT_EQ(RegistryFile::DefaultPath(), dir_ / "cfg" / "vidorel" / "registry.reg");
}

TEST_F(RegistryStoreTest, deleteKey_closesTheOpenKeyOnlyWhenItIsTheDeletedKeyOrBelowIt) {
    TRegistry reg{RegistryFile(file_)};
    reg.OpenKey("Software\\A\\Inner", true);
    reg.OpenKey("Software\\AB", true);
    reg.DeleteKey("Software\\A");
    EXPECT_EQ(reg.CurrentPath(), "HKEY_CURRENT_USER\\Software\\AB");
    reg.OpenKey("Software\\AB\\Inner", true);
    reg.DeleteKey("software\\ab");
    EXPECT_EQ(reg.CurrentPath(), "");
    reg.OpenKey("Software\\C", true);
    reg.DeleteKey("Software\\c");
    EXPECT_EQ(reg.CurrentPath(), "");
}

TEST_F(RegistryStoreTest, keysPastTheLimit_areNotCreated_andACommitThatWouldPassItLeavesTheFile) {
    TRegistry early{RegistryFile(file_)};
    ASSERT_TRUE(early.OpenKey("Software\\Late", true));
    early.WriteDWord("v", 1);

    // meanwhile another program filled the store up to the limit
    std::string full = "REGEDIT4\n\n";
    for (size_t i = 1; i < kMaxKeys; ++i) {
        full += "[HKEY_CURRENT_USER\\K" + std::to_string(i) + "]\n\n";
    }
    writeBytes(file_, full);
    EXPECT_FALSE(early.Commit());
    EXPECT_EQ(early.Status().problem, "The preferences file " + file_.string() +
                                          " cannot be saved (it would hold more than 100000 "
                                          "keys).");
    EXPECT_TRUE(early.HasChanges());
    EXPECT_TRUE(bytesOf(file_) == full);

    TRegistry late{RegistryFile(file_)};
    EXPECT_TRUE(late.Status().problem.empty());
    EXPECT_FALSE(late.OpenKey("Software", true));
    ASSERT_TRUE(late.OpenKey("K1", true));
    late.WriteDWord("v", 2);
    ASSERT_TRUE(late.Commit());
}
