#include "platform/RegistryStore.h"
#include "settings/Preferences.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vidorel;

namespace {

// Waits up to `seconds` for the child; its wait status, or -1 when it is still running.
int WaitExit(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

} // namespace

TEST(Program, endedByTheTerminalOrTheSession_closesLikeTheUser_andStoresItsPreferences) {
    for (int sig : {SIGTERM, SIGINT}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            execl(VIDOREL_EXE, VIDOREL_EXE, static_cast<char*>(nullptr));
            _exit(127);
        }
        // Long enough for the first idle moment to open the preview.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        kill(pid, sig);
        int status = WaitExit(pid, 20);
        if (status == -1) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the program did not end after signal " << sig;
        }
        EXPECT_TRUE(WIFEXITED(status)) << "signal " << sig;
        EXPECT_EQ(WEXITSTATUS(status), 0) << "signal " << sig;

        TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
        ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), false)) << "signal " << sig;
        EXPECT_FALSE(reg.ReadString("Source video").value_or("").empty());
        EXPECT_TRUE(reg.ValueExists("Derniere Sauvegarde"));
        ASSERT_TRUE(reg.DeleteKey(PreferenceKeyPath()));
        ASSERT_TRUE(reg.Commit());
    }
}

TEST(Program, aSignalSentTwiceInARow_stillClosesLikeTheUser_andStoresItsPreferences) {
    // GNU timeout and service managers often send TERM twice; the second one must not cut
    // the close (and the save) short.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(VIDOREL_EXE, VIDOREL_EXE, static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    // Repeats spread over the close (the same signal sent twice at once merges into one).
    for (int i = 0; i < 10; ++i) {
        kill(pid, i % 3 == 2 ? SIGINT : SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    int status = WaitExit(pid, 20);
    if (status == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the program did not end";
    }
    ASSERT_TRUE(WIFEXITED(status))
        << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), false));
    EXPECT_TRUE(reg.ValueExists("Derniere Sauvegarde"));
}
