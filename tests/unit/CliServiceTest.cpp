// The watcher service's portable rules: which access lists make a profile
// unsafe for a LocalSystem service, and the log that keeps its newest lines
// under a size.
#include <gtest/gtest.h>

#include "cli/ProfileAccess.h"
#include "cli/WatchLog.h"
#include "sim/MemFileStore.h"

using namespace varnok;
using namespace varnok::cli;

namespace {

constexpr uint32_t kRead = 0x120089;    // FILE_GENERIC_READ
constexpr uint32_t kWrite = 0x0002;     // FILE_WRITE_DATA
constexpr uint32_t kAll = 0x1F01FF;     // FILE_ALL_ACCESS
constexpr uint32_t kAddFile = 0x0002;   // on a folder: FILE_ADD_FILE
constexpr uint32_t kDeleteChild = 0x0040;

AccessEntry Admins() { return {Principal::Administrators, "BUILTIN\\Administrators", true, kAll}; }
AccessEntry System() { return {Principal::System, "NT AUTHORITY\\SYSTEM", true, kAll}; }
AccessEntry Users(uint32_t mask, bool allow = true) {
    return {Principal::Other, "BUILTIN\\Users", allow, mask};
}
ObjectAccess Safe() { return {true, Principal::Administrators, "", {Admins(), System(), Users(kRead)}}; }

TEST(ProfileAccess, OnlyAdministratorsAndSystemMayChangeTheProfile) {
    struct Case {
        const char* name;
        ObjectAccess file, folder;
        std::vector<std::string> others;
    };
    ObjectAccess usersWrite = Safe();
    usersWrite.entries.push_back(Users(kWrite));
    ObjectAccess genericWrite = Safe();
    genericWrite.entries.push_back({Principal::Other, "DOMAIN\\lab", true, 0x40000000});
    ObjectAccess noDacl = Safe();
    noDacl.hasDacl = false;
    ObjectAccess userOwner = Safe();
    userOwner.owner = Principal::Other;
    userOwner.ownerName = "PC\\alice";
    ObjectAccess denied = Safe();
    denied.entries.push_back(Users(kWrite, false));
    ObjectAccess inheritOnly = Safe();
    inheritOnly.entries.push_back(Users(kWrite));
    inheritOnly.entries.back().inheritOnly = true;
    ObjectAccess folderAdd = Safe();
    folderAdd.entries.push_back(Users(kAddFile));  // may add files, not replace this one
    ObjectAccess folderDelete = Safe();
    folderDelete.entries.push_back(Users(kDeleteChild));
    const Case cases[] = {
        {"as installed", Safe(), Safe(), {}},
        {"users may write", usersWrite, Safe(), {"BUILTIN\\Users may change the profile"}},
        {"generic write", genericWrite, Safe(), {"DOMAIN\\lab may change the profile"}},
        {"no access list", noDacl, Safe(), {"everyone may change the profile"}},
        {"owned by a user", userOwner, Safe(), {"PC\\alice may change the profile"}},
        {"a deny entry grants nothing", denied, Safe(), {}},
        {"inherit-only entries", inheritOnly, Safe(), {}},
        {"users may add files to the folder", Safe(), folderAdd, {}},
        {"users may delete in the folder", Safe(), folderDelete,
         {"BUILTIN\\Users may change the profile's folder"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OthersWhoMayChange(c.file, c.folder), c.others) << c.name;
    EXPECT_EQ(OthersWhoMayChange(usersWrite, folderDelete, "varnokctl.exe"),
              (std::vector<std::string>{"BUILTIN\\Users may change varnokctl.exe",
                                        "BUILTIN\\Users may change varnokctl.exe's folder"}));
}

TEST(WatchLog, KeepsTheNewestWholeLinesUnderTheLimit) {
    EXPECT_EQ(KeepNewestLines("a\r\nbb\r\nccc\r\n", 100), "a\r\nbb\r\nccc\r\n");
    EXPECT_EQ(KeepNewestLines("a\r\nbb\r\nccc\r\n", 9), "bb\r\nccc\r\n");
    EXPECT_EQ(KeepNewestLines("a\r\nbb\r\nccc\r\n", 8), "ccc\r\n");  // no half line

    sim::MemFileStore folder;
    sim::FixedLocalTime time;
    folder.files["watch.log"] = "2026-12-01 10:00:00 earlier run\r\n";
    WatchLog log(folder, time, "watch.log", 200);
    std::size_t largest = 0;
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(log.add("event " + std::to_string(i) + (i == 39 ? "\nsecond line" : "")));
        largest = std::max(largest, folder.files["watch.log"].size());
    }
    const std::string& text = folder.files["watch.log"];
    EXPECT_LE(largest, 200u);
    EXPECT_EQ(text.find("earlier run"), std::string::npos);
    const std::string last = "\r\n2026-12-07 18:30:05 event 39 second line\r\n";
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
    EXPECT_EQ(text.rfind("2026-12-07 18:30:05 event ", 0), 0u);
}

}  // namespace
