#include <gtest/gtest.h>

#include "configurator/discovery/ClosePorts.h"
#include "tests/unit/PortOpsRig.h"

using namespace varnok;
using namespace varnok::cfg;

TEST(ClosePorts, NoPortsVisitsOneToTwoFiftySixSilently) {
    test::PortOpsRig rig;
    EXPECT_EQ(CloseAllPorts(rig.app), 1);
    ASSERT_EQ(rig.serial.existsAsked.size(), 256u);
    EXPECT_EQ(rig.serial.existsAsked.front(), "COM1");
    EXPECT_EQ(rig.serial.existsAsked.back(), "COM256");
    EXPECT_TRUE(rig.serial.opens.empty());
    EXPECT_TRUE(rig.mainView.boxes.empty());
    EXPECT_EQ(rig.mainView.cursors,
              (std::vector<ui::Cursor>{ui::Cursor::Wait, ui::Cursor::Arrow}));
}

TEST(ClosePorts, PurgesAndClosesFreePortsAndReportsEachBusyOne) {
    test::PortOpsRig rig;
    rig.serial.present = {"COM0", "COM3", "COM7", "COM12", "COM256", "COM257"};
    rig.serial.busy = {"COM7", "COM12"};
    EXPECT_EQ(CloseAllPorts(rig.app), 1);

    EXPECT_EQ(rig.serial.opens, (std::vector<std::string>{"\\\\.\\COM3", "\\\\.\\COM7",
                                                          "\\\\.\\COM12", "\\\\.\\COM256"}));
    using Purge = std::pair<std::string, uint32_t>;
    EXPECT_EQ(rig.serial.purges, (std::vector<Purge>{{"COM3", 12u}, {"COM256", 12u}}));
    EXPECT_EQ(rig.serial.closes, (std::vector<std::string>{"COM3", "COM256"}));
    EXPECT_EQ(rig.serial.openHandles, 0);
    ASSERT_EQ(rig.mainView.boxes.size(), 2u);  // one per busy port
    for (const auto& b : rig.mainView.boxes) {
        EXPECT_EQ(b.text, "Close COMPort not possible");
        EXPECT_EQ(b.caption, "ERROR");
        EXPECT_EQ(b.icon, ui::Icon::None);
    }
    // The other program keeps its ports.
    EXPECT_EQ(rig.serial.busy, (std::set<std::string>{"COM7", "COM12"}));
    EXPECT_EQ(rig.mainView.cursors.back(), ui::Cursor::Arrow);
}
