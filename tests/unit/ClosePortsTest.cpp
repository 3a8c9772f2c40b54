#include <gtest/gtest.h>

#include "configurator/app/MainDialog.h"
#include "configurator/discovery/ClosePorts.h"
#include "resources/ConfiguratorIds.h"
#include "tests/unit/PortOpsRig.h"
#include "tests/unit/MessageBoxes.h"

using namespace varnok;
using namespace varnok::cfg;

namespace {

// The serial log's records of one kind, without the kind ("exists COM1" -> "COM1").
std::vector<std::string> Logged(const sim::SimSerialPorts& serial, const std::string& kind) {
    std::vector<std::string> out;
    for (const auto& text : serial.logTexts())
        if (text.rfind(kind + " ", 0) == 0) out.push_back(text.substr(kind.size() + 1));
    return out;
}

}  // namespace

TEST(ClosePorts, NoPortsVisitsOneToTwoFiftySixSilently) {
    test::PortOpsRig rig;
    EXPECT_TRUE(CloseAllPorts(rig.app).empty());
    const std::vector<std::string> asked = Logged(rig.serial, "exists");
    ASSERT_EQ(asked.size(), 256u);
    EXPECT_EQ(asked.front(), "COM1");
    EXPECT_EQ(asked.back(), "COM256");
    EXPECT_TRUE(Logged(rig.serial, "open").empty());
}

TEST(ClosePorts, PurgesAndClosesFreePortsAndReportsEachBusyOne) {
    test::PortOpsRig rig;
    for (const char* name : {"COM0", "COM3", "COM7", "COM12", "COM256", "COM257"})
        rig.serial.attach(name, {});
    for (const char* name : {"COM7", "COM12"}) rig.serial.adapter(name)->heldByOtherProgram = true;
    // Through the main dialog's button: the wait cursor while the ports are
    // visited, then the list is refreshed.
    MainDialog main(rig.app);
    main.onCommand(rig.mainView, IDC_CLOSE_ALL_PORTS, ui::Event::Clicked);

    // Each free port purged (both queues) and closed before the next is opened.
    std::vector<std::string> calls;
    for (const auto& text : rig.serial.logTexts())
        if (text.rfind("exists ", 0) != 0) calls.push_back(text);
    EXPECT_EQ(calls, (std::vector<std::string>{"open \\\\.\\COM3", "purge 0x0C", "close",
                                               "open \\\\.\\COM7", "open \\\\.\\COM12",
                                               "open \\\\.\\COM256", "purge 0x0C", "close"}));
    EXPECT_EQ(rig.serial.openPorts(), 0);
    // One per busy port, then the refresh's.
    auto boxes = test::Boxes({"Close COMPort not possible", "Close COMPort not possible"}, "ERROR",
                             ui::Icon::None);
    boxes.push_back({"No active FTDI devices found", "WARNING", ui::Icon::Warning});
    EXPECT_EQ(rig.mainView.boxes, boxes);
    // The other program keeps its ports.
    EXPECT_TRUE(rig.serial.adapter("COM7")->heldByOtherProgram);
    EXPECT_TRUE(rig.serial.adapter("COM12")->heldByOtherProgram);
    ASSERT_GE(rig.mainView.cursors.size(), 2u);
    EXPECT_EQ(rig.mainView.cursors[0], ui::Cursor::Wait);
    EXPECT_EQ(rig.mainView.cursors[1], ui::Cursor::Arrow);
    EXPECT_EQ(rig.mainView.cursors.back(), ui::Cursor::Arrow);
}
