// The sentence that explains a camcorder missing for want of permission, on a FireWire tree of
// the test's own: sysfs nodes with their units, device nodes, and an opener that answers what
// the kernel would.

#include "devices/FireWireAccess.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

using namespace vidorel::devices;
namespace fs = std::filesystem;

namespace {

class FireWireAccess : public ::testing::Test {
protected:
    fs::path root;
    std::map<std::string, int> answers; // device node -> errno of its opening
    std::vector<std::string> opened;

    void SetUp() override {
        root = fs::temp_directory_path() /
               ("vidorel-fw-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "sys");
        fs::create_directories(root / "dev");
        SetFireWireRoots(
            {(root / "sys").string(), (root / "dev").string(), [this](const std::string& node) {
                 opened.push_back(node);
                 const auto it = answers.find(node);
                 return it == answers.end() ? ENOENT : it->second;
             }});
    }
    void TearDown() override {
        SetFireWireRoots({});
        fs::remove_all(root);
    }
    // A node in sysfs with its attributes, and its device node.
    void Node(const std::string& name, const std::string& units, const std::string& vendor = "",
              const std::string& model = "") {
        const fs::path dir = root / "sys" / name;
        fs::create_directories(dir);
        std::ofstream(dir / "units") << units << "\n";
        if (!vendor.empty()) {
            std::ofstream(dir / "vendor_name") << vendor << "\n";
        }
        if (!model.empty()) {
            std::ofstream(dir / "model_name") << model << "\n";
        }
        std::ofstream(root / "dev" / name) << "";
    }
    std::string Dev(const std::string& name) const { return (root / "dev" / name).string(); }
};

} // namespace

TEST_F(FireWireAccess, onlyAvcNodesRefusedForPermissionAreToldWithTheGroupToJoin) {
    Node("fw0", "");                                        // the card itself: no units
    Node("fw1", "0x00a02d:0x010001", "Sony", "DCR-TRV900"); // a camcorder
    Node("fw2", "0x00609e:0x010483", "Maxtor", "OneTouch"); // a disk (SBP-2)
    Node("fw3", "0x00609e:0x010483 0x00a02d:0x010001");     // a disk that is also AV/C, unnamed
    fs::create_directories(root / "sys" / "fw1.0");         // a unit folder, not a node
    for (const char* n : {"fw0", "fw1", "fw2", "fw3"}) {
        answers[Dev(n)] = EACCES;
    }
    const auto problems = FireWireAccessProblems();
    ASSERT_EQ(problems.size(), 2u);
    // The node belongs to root: the rule is not in force, so the text says where it goes.
    EXPECT_EQ(problems[0], "The FireWire camcorder \"Sony DCR-TRV900\" (" + Dev("fw1") +
                               ") cannot be opened: permission denied. Install the FireWire "
                               "rule of the package (60-vidorel-firewire.rules, in "
                               "/etc/udev/rules.d for a copy built by hand), join the group "
                               "\"video\" (sudo adduser $USER video), then log out and in "
                               "again.");
    EXPECT_EQ(problems[1].rfind("The FireWire camcorder " + Dev("fw3") + " cannot be opened", 0),
              0u)
        << problems[1];
    // Neither the card nor the disk was even tried.
    EXPECT_EQ(opened, (std::vector<std::string>{Dev("fw1"), Dev("fw3")}));
}

TEST_F(FireWireAccess, aCamcorderThatOpensOrIsGoneOrFailsOtherwiseIsNotAPermissionProblem) {
    Node("fw1", "0x00a02d:0x010001");
    Node("fw2", "0x00a02d:0x010001");
    Node("fw3", "0x00a02d:0x010001");
    Node("fw4", "0x00a02d:0x010001");
    answers[Dev("fw1")] = 0;      // opens
    answers[Dev("fw2")] = ENOENT; // unplugged since the listing
    answers[Dev("fw3")] = EBUSY;
    answers[Dev("fw4")] = EPERM; // what some security modules answer
    const auto problems = FireWireAccessProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(Dev("fw4")), std::string::npos);
}

TEST_F(FireWireAccess, aNodeAlreadyGivenToAGroupNamesThatGroup) {
    group* audio = ::getgrnam("audio");
    Node("fw1", "0x00a02d:0x010001");
    if (audio == nullptr ||
        ::chown(Dev("fw1").c_str(), static_cast<uid_t>(-1), audio->gr_gid) != 0) {
        GTEST_SKIP() << "no group \"audio\" to give the node to (needs root)";
    }
    answers[Dev("fw1")] = EACCES;
    const auto problems = FireWireAccessProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "The FireWire camcorder " + Dev("fw1") +
                               " cannot be opened: permission denied. Join the group \"audio\" "
                               "(sudo adduser $USER audio), then log out and in again.");
}

TEST_F(FireWireAccess, noFireWireAtAllSaysNothing) {
    fs::remove_all(root / "sys");
    EXPECT_TRUE(FireWireAccessProblems().empty());
    EXPECT_TRUE(opened.empty());
}
