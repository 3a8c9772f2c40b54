// The take-ownership privilege and the access lists of the driver's keys.
#include <gtest/gtest.h>

#include <algorithm>

#include "configurator/discovery/AccessRights.h"
#include "configurator/discovery/Discovery.h"
#include "tests/unit/FtdiFixture.h"
#include "tests/unit/MessageBoxes.h"
#include "tests/unit/ShownProblems.h"

using namespace varnok;
using namespace varnok::cfg;
using varnok::test::FtdiFixture;
using varnok::test::Box;
using varnok::test::KeyRecord;
using varnok::test::kId232R;
using reg::AccessEntry;
using reg::Trustee;

namespace {
const std::string kArbiter = kComNameArbiterKeyPath;
const std::string kEnum = kEnumeratorKeyPath;
}  // namespace

TEST(EnablePrivilege, AdjustsTheTokenAndReportsAMissingPrivilege) {
    FtdiFixture f;
    EXPECT_TRUE(test::EnablePrivilege(f.app, f.view, "SeTakeOwnershipPrivilege", true));
    EXPECT_EQ(f.registry.log.back(), "privilege SeTakeOwnershipPrivilege on");
    EXPECT_TRUE(f.view.boxes.empty());

    f.registry.privilegeMissing = true;
    EXPECT_TRUE(test::EnablePrivilege(f.app, f.view, "SeTakeOwnershipPrivilege", true));
    EXPECT_EQ(f.view.boxes, (std::vector<Box>{{"The token does not have the specified privilege",
                                               "ERROR", ui::Icon::Warning}}));

    f.registry.privilegeCallFails = true;
    EXPECT_FALSE(test::EnablePrivilege(f.app, f.view, "SeTakeOwnershipPrivilege", true));
}

TEST(GrantEnumeratorAccess, EveryoneMayOnlyReadTheEnumeratorAndArbiterKeys) {
    FtdiFixture f;
    ASSERT_TRUE(test::GrantEnumeratorAccess(f.app, f.view));
    const std::vector<AccessEntry> expected = {
        {Trustee::Everyone, 0x20019, 5},
        {Trustee::Administrators, 0xF003F, 2},
        {Trustee::LocalSystem, 0x10F003F, 0},
        {Trustee::CreatorOwner, 0x10F003F, 0},
    };
    EXPECT_EQ(f.registry.node(kEnum)->dacl, expected);
    EXPECT_EQ(f.registry.node(kArbiter)->dacl, expected);
    EXPECT_TRUE(f.registry.node(kEnum)->ownerAdministrators);
    EXPECT_FALSE(f.registry.node(kArbiter)->ownerAdministrators);
    EXPECT_EQ(f.registry.log,
              (std::vector<std::string>{"owner MACHINE\\" + kEnum, "open " + kEnum, "token 40",
                                        "dacl " + kEnum, "open " + kArbiter, "dacl " + kArbiter}));
    EXPECT_EQ(f.registry.openKeys, 0);
    EXPECT_TRUE(f.view.boxes.empty());
}

TEST(GrantEnumeratorAccess, FailuresEndTheOperationWithTheirMessages) {
    struct Case {
        const char* what;
        std::function<void(sim::MemRegistry&)> inject;
        std::vector<std::string> messages;
        bool arbiterDone;
    };
    const std::vector<Case> cases = {
        {"enumerator key", [](sim::MemRegistry& r) { r.failOpenForWrite.insert(sim::MemRegistry::lower(kEnum)); }, {}, false},
        {"token", [](sim::MemRegistry& r) { r.tokenFails = true; }, {}, false},
        {"enumerator list", [](sim::MemRegistry& r) { r.failSetDacl.insert(sim::MemRegistry::lower(kEnum)); },
         {"Could not set permissions"}, false},
        {"arbiter key", [](sim::MemRegistry& r) { r.removeKey(kArbiter); },
         {"Error opening key COM_NAME_ARBITER"}, false},
        {"arbiter list", [](sim::MemRegistry& r) { r.failSetDacl.insert(sim::MemRegistry::lower(kArbiter)); },
         {"Could not set permissions"}, false},
    };
    for (const auto& c : cases) {
        FtdiFixture f;
        c.inject(f.registry);
        EXPECT_FALSE(test::GrantEnumeratorAccess(f.app, f.view)) << c.what;
        EXPECT_EQ(f.boxTexts(), c.messages) << c.what;
        for (const auto& b : f.view.boxes) EXPECT_EQ(b.caption, "ERROR");
        const auto* arbiter = f.registry.node(kArbiter);
        EXPECT_FALSE(arbiter != nullptr && arbiter->daclSet) << c.what;
        EXPECT_EQ(f.registry.openKeys, 0) << c.what;
    }
}

TEST(GrantInstanceKeyAccess, OwnsAndRestrictsEveryInstanceKeySkippingRecordsWithoutId) {
    FtdiFixture f;
    f.install(kId232R, "AAAA0000A", 3);
    f.install(kId232R, "BBBB0000A", 4);
    f.app.table.entries = {KeyRecord(kId232R, "AAAA0000A"), KeyRecord(0, "NOID"),
                           KeyRecord(kId232R, "BBBB0000A")};
    ASSERT_TRUE(test::GrantInstanceKeyAccess(f.app, f.view));
    const std::vector<AccessEntry> expected = {
        {Trustee::Everyone, 0x20019, 5},
        {Trustee::Administrators, 0x10000000, 2},
        {Trustee::LocalSystem, 0x10F003F, 0},
    };
    for (const char* serial : {"AAAA0000A", "BBBB0000A"}) {
        const auto* n = f.registry.node(FtdiFixture::InstancePath(kId232R, serial));
        EXPECT_EQ(n->dacl, expected);
        EXPECT_TRUE(n->ownerAdministrators);
    }
    const std::string a = FtdiFixture::InstancePath(kId232R, "AAAA0000A");
    EXPECT_EQ(std::vector<std::string>(f.registry.log.begin(), f.registry.log.begin() + 4),
              (std::vector<std::string>{"owner MACHINE\\" + a, "open " + a, "token 40", "dacl " + a}));
    for (const auto& l : f.registry.log) EXPECT_EQ(l.find("NOID"), std::string::npos) << l;
    EXPECT_TRUE(f.view.boxes.empty());
    EXPECT_EQ(f.registry.openKeys, 0);
}

TEST(GrantInstanceKeyAccess, AKeyThatDoesNotOpenIsReportedOnceAndThePassGoesOn) {
    FtdiFixture f;
    f.install(kId232R, "BBBB0000A", 4);
    f.app.table.entries = {KeyRecord(kId232R, "GONE0000A"), KeyRecord(kId232R, "BBBB0000A")};
    EXPECT_TRUE(test::GrantInstanceKeyAccess(f.app, f.view));
    EXPECT_EQ(f.view.boxes, (std::vector<Box>{{"Failed to open the key " +
                                                   FtdiFixture::InstancePath(kId232R, "GONE0000A") +
                                                   " for WRITE_DAC access",
                                               "ERROR", ui::Icon::Warning}}));
    EXPECT_TRUE(f.registry.node(FtdiFixture::InstancePath(kId232R, "BBBB0000A"))->daclSet);
}

TEST(GrantInstanceKeyAccess, ATokenThatDoesNotOpenEndsThePass) {
    FtdiFixture f;
    f.install(kId232R, "AAAA0000A", 3);
    f.install(kId232R, "BBBB0000A", 4);
    f.app.table.entries = {KeyRecord(kId232R, "AAAA0000A"), KeyRecord(kId232R, "BBBB0000A")};
    f.registry.tokenFails = true;
    EXPECT_FALSE(test::GrantInstanceKeyAccess(f.app, f.view));
    EXPECT_EQ(f.boxTexts(), std::vector<std::string>{"Couldn't open the process token"});
    EXPECT_FALSE(f.registry.node(FtdiFixture::InstancePath(kId232R, "AAAA0000A"))->daclSet);
    EXPECT_EQ(f.registry.openKeys, 0);
}

TEST(StartUp, MissingPrivilegeAndUnreachableKeysAreReportedAndStartUpGoesOn) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 3, 1);
    f.registry.privilegeMissing = true;
    f.registry.tokenFails = true;
    f.startDialog();
    EXPECT_EQ(f.boxTexts(),
              (std::vector<std::string>{
                  "The token does not have the specified privilege", "Couldn't open the process token",
                  "Some Registry Keys are corrupted.\nPlease clean your Registry with CDMUninstaller."}));
    EXPECT_EQ(f.view.rowTexts(IDC_PORT_LIST), std::vector<std::string>{"COM3"});
}
