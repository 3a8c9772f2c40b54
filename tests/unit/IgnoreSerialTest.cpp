#include <gtest/gtest.h>

#include "configurator/settings/IgnoreSerial.h"
#include "resources/ConfiguratorIds.h"
#include "tests/unit/PortOpsRig.h"
#include "tests/unit/ShownProblems.h"

using namespace varnok;
using namespace varnok::cfg;

namespace {

struct IgnoreSerial : ::testing::Test {
    test::PortOpsRig rig;
    sim::FakeDialogView& view = rig.mainView;
    void SetUp() override { rig.registry.createKey(kUsbFlagsKeyPath); }
    bool boxChecked() { return view.checkState(IDC_IGNORE_SERIAL) == ui::kChecked; }
};

}  // namespace

TEST_F(IgnoreSerial, AnyReadableFlagChecksTheBox) {
    rig.registry.setBinary(kUsbFlagsKeyPath, "IgnoreHWSerNum04036011", {0x01});
    test::ReadIgnoreSerialFlag(rig.app, view);
    EXPECT_TRUE(boxChecked());
    EXPECT_TRUE(rig.app.ignoreSerialRemembered);

    // Contents are not examined: 0x00 counts too, and so does another type.
    rig.registry.setBinary(kUsbFlagsKeyPath, "IgnoreHWSerNum04036011", {0x00});
    view.setCheckState(IDC_IGNORE_SERIAL, ui::kUnchecked);
    test::ReadIgnoreSerialFlag(rig.app, view);
    EXPECT_TRUE(boxChecked());
    EXPECT_EQ(rig.registry.openKeys, 0);
}

TEST_F(IgnoreSerial, NoReadableFlagUnchecksAndValuesOverSixtyFourBytesDoNotCount) {
    rig.app.ignoreSerialRemembered = true;
    view.setCheckState(IDC_IGNORE_SERIAL, ui::kChecked);
    rig.registry.setBinary(kUsbFlagsKeyPath, "IgnoreHWSerNum04036001",
                           std::vector<uint8_t>(65, 1));
    rig.registry.setBinary(kUsbFlagsKeyPath, "IgnoreHWSerNum04036099", {1});  // not ours
    test::ReadIgnoreSerialFlag(rig.app, view);
    EXPECT_FALSE(boxChecked());
    EXPECT_FALSE(rig.app.ignoreSerialRemembered);

    rig.registry.setBinary(kUsbFlagsKeyPath, "IgnoreHWSerNum04036015", std::vector<uint8_t>(64, 1));
    test::ReadIgnoreSerialFlag(rig.app, view);
    EXPECT_TRUE(boxChecked());
}

TEST_F(IgnoreSerial, UnopenableKeyShowsTheRememberedState) {
    rig.registry.removeKey(kUsbFlagsKeyPath);
    test::ReadIgnoreSerialFlag(rig.app, view);
    EXPECT_FALSE(boxChecked());  // nothing read yet: off
    rig.app.ignoreSerialRemembered = true;
    test::ReadIgnoreSerialFlag(rig.app, view);
    EXPECT_TRUE(boxChecked());
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(IgnoreSerial, CheckedBoxSetsAllFourToOneByteInOrder) {
    view.setCheckState(IDC_IGNORE_SERIAL, ui::kChecked);
    rig.registry.log.clear();
    test::ApplyIgnoreSerialFlag(rig.app, view);
    std::vector<std::string> sets;
    for (const auto& line : rig.registry.log)
        if (line.rfind("set ", 0) == 0) sets.push_back(line.substr(line.find('|') + 1));
    EXPECT_EQ(sets, (std::vector<std::string>{"IgnoreHWSerNum04036001", "IgnoreHWSerNum04036010",
                                              "IgnoreHWSerNum04036011",
                                              "IgnoreHWSerNum04036015"}));
    for (const char* name : kIgnoreSerialValueNames) {
        const auto* v = rig.registry.value(kUsbFlagsKeyPath, name);
        ASSERT_NE(v, nullptr) << name;
        EXPECT_EQ(v->type, reg::kBinary);
        EXPECT_EQ(v->data, std::vector<uint8_t>{0x01});
    }
    EXPECT_EQ(rig.registry.openKeys, 0);
}

TEST_F(IgnoreSerial, AFailedSetIsToldAndTheRestAreSet) {
    view.setCheckState(IDC_IGNORE_SERIAL, ui::kChecked);
    rig.registry.failSet.insert(
        sim::MemRegistry::lower(std::string(kUsbFlagsKeyPath) + "|IgnoreHWSerNum04036010"));
    test::ApplyIgnoreSerialFlag(rig.app, view);
    EXPECT_TRUE(rig.registry.hasValue(kUsbFlagsKeyPath, "IgnoreHWSerNum04036001"));
    EXPECT_FALSE(rig.registry.hasValue(kUsbFlagsKeyPath, "IgnoreHWSerNum04036010"));
    EXPECT_TRUE(rig.registry.hasValue(kUsbFlagsKeyPath, "IgnoreHWSerNum04036011"));
    EXPECT_TRUE(rig.registry.hasValue(kUsbFlagsKeyPath, "IgnoreHWSerNum04036015"));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_NE(view.boxes[0].text.find("IgnoreHWSerNum04036010: cannot be written"),
              std::string::npos)
        << view.boxes[0].text;
}

TEST_F(IgnoreSerial, UncheckedOrIndeterminateBoxDeletesAllFour) {
    for (int state : {ui::kUnchecked, ui::kIndeterminate}) {
        for (const char* name : kIgnoreSerialValueNames)
            rig.registry.setBinary(kUsbFlagsKeyPath, name, {0x07});  // written by another tool
        rig.registry.setBinary(kUsbFlagsKeyPath, "Other", {1});
        view.setCheckState(IDC_IGNORE_SERIAL, state);
        test::ApplyIgnoreSerialFlag(rig.app, view);
        for (const char* name : kIgnoreSerialValueNames)
            EXPECT_FALSE(rig.registry.hasValue(kUsbFlagsKeyPath, name)) << name;
        EXPECT_TRUE(rig.registry.hasValue(kUsbFlagsKeyPath, "Other"));
    }
    // Deleting what is already gone is no error.
    test::ApplyIgnoreSerialFlag(rig.app, view);
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(IgnoreSerial, UnopenableKeyChangesNothingAndIsTold) {
    rig.registry.setBinary(kUsbFlagsKeyPath, "IgnoreHWSerNum04036001", {0x01});
    rig.registry.failOpenForWrite.insert(sim::MemRegistry::lower(kUsbFlagsKeyPath));
    view.setCheckState(IDC_IGNORE_SERIAL, ui::kUnchecked);
    test::ApplyIgnoreSerialFlag(rig.app, view);
    EXPECT_TRUE(rig.registry.hasValue(kUsbFlagsKeyPath, "IgnoreHWSerNum04036001"));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_NE(view.boxes[0].text.find("IgnoreHWSerNum04036001: its key cannot be opened"),
              std::string::npos);
}
