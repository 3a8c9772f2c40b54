#include <gtest/gtest.h>

#include "configurator/app/MainDialog.h"
#include "configurator/discovery/ClosePorts.h"
#include "resources/ConfiguratorIds.h"
#include "tests/unit/PortOpsRig.h"

using namespace varnok;
using namespace varnok::cfg;

TEST(ClosePorts, NoPortsVisitsOneToTwoFiftySixSilently) {
    test::PortOpsRig rig;
    EXPECT_TRUE(CloseAllPorts(rig.app).empty());
    ASSERT_EQ(rig.serial.existsAsked.size(), 256u);
    EXPECT_EQ(rig.serial.existsAsked.front(), "COM1");
    EXPECT_EQ(rig.serial.existsAsked.back(), "COM256");
    EXPECT_TRUE(rig.serial.opens.empty());
}

TEST(ClosePorts, PurgesAndClosesFreePortsAndReportsEachBusyOne) {
    test::PortOpsRig rig;
    rig.serial.present = {"COM0", "COM3", "COM7", "COM12", "COM256", "COM257"};
    rig.serial.busy = {"COM7", "COM12"};
    // Through the main dialog's button: the wait cursor while the ports are
    // visited, then the list is refreshed.
    MainDialog main(rig.app);
    main.onCommand(rig.mainView, IDC_CLOSE_ALL_PORTS, ui::Event::Clicked);

    EXPECT_EQ(rig.serial.opens, (std::vector<std::string>{"\\\\.\\COM3", "\\\\.\\COM7",
                                                          "\\\\.\\COM12", "\\\\.\\COM256"}));
    using Purge = std::pair<std::string, uint32_t>;
    EXPECT_EQ(rig.serial.purges, (std::vector<Purge>{{"COM3", 12u}, {"COM256", 12u}}));
    EXPECT_EQ(rig.serial.closes, (std::vector<std::string>{"COM3", "COM256"}));
    EXPECT_EQ(rig.serial.openHandles, 0);
    ASSERT_EQ(rig.mainView.boxes.size(), 3u);  // one per busy port, then the refresh's
    EXPECT_EQ(rig.mainView.boxes[2].text, "No active FTDI devices found");
    for (const auto& b : std::vector<sim::FakeDialogView::MessageBoxCall>(
             rig.mainView.boxes.begin(), rig.mainView.boxes.begin() + 2)) {
        EXPECT_EQ(b.text, "Close COMPort not possible");
        EXPECT_EQ(b.caption, "ERROR");
        EXPECT_EQ(b.icon, ui::Icon::None);
    }
    // The other program keeps its ports.
    EXPECT_EQ(rig.serial.busy, (std::set<std::string>{"COM7", "COM12"}));
    ASSERT_GE(rig.mainView.cursors.size(), 2u);
    EXPECT_EQ(rig.mainView.cursors[0], ui::Cursor::Wait);
    EXPECT_EQ(rig.mainView.cursors[1], ui::Cursor::Arrow);
    EXPECT_EQ(rig.mainView.cursors.back(), ui::Cursor::Arrow);
}
