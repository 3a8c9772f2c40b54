#include <gtest/gtest.h>

#include <tuple>

#include "modetool/Discovery.h"
#include "modetool/ModeDialog.h"
#include "sim/VirtualExecutor.h"
#include "modetool/Modes.h"
#include "resources/ModeToolIds.h"
#include "tests/unit/ModeToolRig.h"
#include "tests/unit/MessageBoxes.h"

using namespace varnok;
using namespace varnok::mode;
using namespace varnok::test;
using sim::FakeDialogView;
using sim::SimAdapterOptions;

namespace {

using Kind = FakeDialogView::Kind;

// The controls of dialog 1000 as the template creates them.
void DeclareControls(FakeDialogView& v) {
    v.declare(IDC_DEVICE_LIST, Kind::Other);
    v.declare(IDC_SEARCH, Kind::Button, true, "Search Devices");
    v.declare(IDC_PORT_LIST_MT, Kind::Other);
    v.declare(IDC_MODE_GROUP, Kind::Other, true, "Mode");
    std::vector<int> radios;
    for (int k = 1; k <= 8; ++k) {
        v.declare(ModeButtonId(k), Kind::Radio, true, kStandardModeTable[k - 1]);
        radios.push_back(ModeButtonId(k));
    }
    v.radioGroups.push_back(radios);
    v.declare(IDC_BITS_GROUP, Kind::Other, true, "Control Bits");
    for (int b = 0; b < 3; ++b) v.declare(BitBoxId(b), Kind::Auto3State, false, kStandardBitTable[b]);
    v.declare(IDC_DEVICES_LABEL, Kind::Other, true, "Devices:");
    v.declare(IDC_PORTS_LABEL, Kind::Other, true, "Ports:");
    v.declare(IDC_COMMIT, Kind::Button, true, "Commit Changes");
    v.declare(IDC_MULTISEL_HINT, Kind::Other);
}

AdapterRecord Record(uint16_t typeCode, std::vector<std::pair<int, int>> ports) {
    AdapterRecord r;
    r.typeCode = typeCode;
    r.portCount = static_cast<uint8_t>(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        r.ports[i].modeCode = static_cast<uint8_t>(ports[i].first);
        r.ports[i].controlBits = static_cast<uint8_t>(ports[i].second);
    }
    return r;
}

int CheckedRadio(FakeDialogView& v) {
    int found = 0;
    for (int k = 1; k <= 8; ++k)
        if (v.checkState(ModeButtonId(k)) == ui::kChecked) found = ModeButtonId(k);
    return found;
}

bool BoxesEnabled(FakeDialogView& v) {
    return v.isEnabled(1014) && v.isEnabled(1015) && v.isEnabled(1016);
}
bool BoxesDisabled(FakeDialogView& v) {
    return !v.isEnabled(1014) && !v.isEnabled(1015) && !v.isEnabled(1016);
}

using Marks = std::array<Mark, 3>;
const Mark U = Mark::Unchecked, C = Mark::Checked, I = Mark::Indeterminate;

// The radio button a display sets (0: none) and its boxes.
int Radio(const Shown& s) { return s.modeButton == 0 ? 0 : ModeButtonId(s.modeButton); }
using Display = std::tuple<int, bool, Marks>;
Display Seen(const Shown& s) { return {Radio(s), s.bits.enabled, s.bits.marks}; }

}  // namespace

TEST(ModeDisplay, Rs232DisablesBoxesButKeepsTheirMarks) {
    Shown s = ShowPort(Record(0x0203, {{8, 5}}).ports[0], 0x0203);
    EXPECT_EQ(Seen(s), (Display{1012, false, {C, U, C}}));

    s = ShowPort(Record(0x1001, {{4, 1}}).ports[0], 0x1001);
    EXPECT_EQ(Radio(s), 1008);
    EXPECT_FALSE(s.bits.enabled) << "RS232 of the reduced model";
    s = ShowPort(Record(0x0203, {{4, 1}}).ports[0], 0x0203);
    EXPECT_TRUE(s.bits.enabled) << "mode 4 of the standard model is RS485 auto, 4-wire";

    for (int code : {0, 9, 200}) {
        s = ShowPort(Record(0x0203, {{code, 2}}).ports[0], 0x0203);
        EXPECT_EQ(Seen(s), (Display{0, true, {U, C, U}})) << code;
    }
}

TEST(ModeDisplay, MultiSelectionMarksDifferingBitsIndeterminate) {
    AdapterRecord r = Record(0x0203, {{1, 1}, {1, 3}, {7, 0}, {8, 1}, {8, 6}});
    Selection sel{{&r}, {0, 1}};
    EXPECT_EQ(Seen(ShowSelection(sel)), (Display{1005, true, {C, I, U}}));
    sel.portRows = {0, 2};  // modes 1 and 7
    EXPECT_EQ(Seen(ShowSelection(sel)), (Display{0, true, {I, U, U}}));
    sel.portRows = {3, 4};  // both RS232, different bits: no indeterminate marks
    EXPECT_EQ(Seen(ShowSelection(sel)), (Display{1012, false, {C, U, U}}));

    AdapterRecord reduced = Record(0x1001, {{4, 0}, {4, 1}});
    Selection sr{{&reduced}, {0, 1}};
    EXPECT_EQ(Seen(ShowSelection(sr)), (Display{1008, false, {U, U, U}}));

    EXPECT_EQ(Radio(ShowSelection(Selection{})), 0) << "an empty selection shows nothing set";
}

TEST(ModeDisplay, SeveralAdaptersCoverAllTheirPorts) {
    AdapterRecord a = Record(0x0203, {{2, 0}, {2, 0}});
    AdapterRecord b = Record(0x1001, {{2, 0}, {2, 4}, {3, 0}});
    b.portCount = 2;  // port 3 is beyond its count and not compared
    AdapterRecord c = Record(0x0203, {{2, 0}, {2, 0}, {2, 0}, {2, 0}});
    Selection sel{{&a, &b, &c}, {}};
    Shown s = ShowSelection(sel);
    EXPECT_EQ(Radio(s), 1006);
    EXPECT_EQ(s.bits.marks, (Marks{U, U, I}));

    // Mode 7 (RS422) exists on the standard model only: the reduced adapter
    // is left alone and named; the others take it on all of their own ports.
    std::vector<AdapterRecord*> leftAlone;
    ClickMode(sel, 7, &leftAlone);
    EXPECT_EQ(leftAlone, std::vector<AdapterRecord*>{&b});
    EXPECT_EQ(std::make_tuple(a.changed, b.changed, c.changed), std::make_tuple(1, 0, 1));
    EXPECT_EQ(ModeCodes(a, 2), (std::vector<int>{7, 7}));
    EXPECT_EQ(ModeCodes(b, 2), (std::vector<int>{2, 2}));
    EXPECT_EQ(ModeCodes(c, 4), (std::vector<int>{7, 7, 7, 7})) << "each by its own port count";

    // A mode both models have goes to both.
    leftAlone.clear();
    ClickMode(sel, 3, &leftAlone);
    EXPECT_TRUE(leftAlone.empty());
    EXPECT_EQ(std::make_tuple(a.changed, b.changed, c.changed), std::make_tuple(1, 1, 1));
    EXPECT_EQ(ModeCodes(a, 2), (std::vector<int>{3, 3}));
    EXPECT_EQ(ModeCodes(b, 3), (std::vector<int>{3, 3, 3}));
    EXPECT_EQ(ModeCodes(c, 4), (std::vector<int>{3, 3, 3, 3}));
    EXPECT_EQ(b.ports[1].controlBits, 4) << "a mode click keeps the bits";
}

TEST(ModeClick, BitClickReplacesTheWholeBitSet) {
    AdapterRecord r = Record(0x0203, {{1, 0}, {1, 2}, {1, 4}});
    Selection sel{{&r}, {0, 1}};
    ASSERT_EQ(ShowSelection(sel).bits.marks, (Marks{U, I, U}));
    BitsShown b = ClickBits(sel, 1);  // the user clicks BIAS; TxTerm was indeterminate
    EXPECT_EQ(b.marks, (Marks{C, U, U}));
    EXPECT_TRUE(b.enabled);
    EXPECT_EQ(r.ports[0].controlBits, 1);
    EXPECT_EQ(r.ports[1].controlBits, 1);
    EXPECT_EQ(r.ports[2].controlBits, 4) << "not covered";
    EXPECT_EQ(r.ports[0].modeCode, 1);
    EXPECT_EQ(r.changed, 1);
}

TEST(ModeClick, ModeClickAppliesRs232RuleAndNoPortSelectedStillMarksChanged) {
    AdapterRecord r = Record(0x0203, {{1, 3}, {2, 0}});
    Selection sel{{&r}, {1}};
    EXPECT_FALSE(ClickMode(sel, 8).enabled);
    EXPECT_EQ(r.ports[1].modeCode, 8);
    EXPECT_EQ(r.ports[0].modeCode, 1);

    AdapterRecord r2 = Record(0x0203, {{1, 3}});
    Selection none{{&r2}, {}};
    Shown s = ShowSelection(none);
    EXPECT_EQ(Radio(s), 1005) << "port 1 shown";
    EXPECT_EQ(s.bits.marks, (Marks{C, C, U}));
    ClickMode(none, 3);
    EXPECT_EQ(r2.ports[0].modeCode, 1);
    EXPECT_EQ(r2.changed, 1);
}

namespace {

struct DialogRig : ModeRig {
    sim::VirtualExecutor exec{clock};
    // Work starts when the test says (runWork), on the test's thread.
    std::vector<std::function<void()>> work;
    bool deferWork = false;
    ModeDialog dialog{tool, exec, [this](std::function<void()> job) {
                          if (deferWork)
                              work.push_back(std::move(job));
                          else
                              job();
                      }};
    void runWork() {
        auto jobs = std::move(work);
        work.clear();
        for (auto& j : jobs) j();
    }
    DialogRig() {
        DeclareControls(view);
        view.attach(dialog);
    }
    void addAdapter(uint32_t loc, int com, unsigned ports, uint16_t type, const std::string& ua) {
        sim::SimDevice d;
        d.locId = loc;
        d.description = "Varnok Plus - Config";
        d.comPort = com;
        d.userArea = sim::SimD2xx::SwapPairs(ua);
        d2xx.devices.push_back(d);
        for (unsigned k = 0; k < ports; ++k) {
            sim::SimDevice p;
            p.locId = PortLocation(loc, static_cast<int>(k));
            p.description = "Varnok Plus 4 A";
            p.comPort = com * 10 + static_cast<int>(k);
            d2xx.devices.push_back(p);
        }
        SimAdapterOptions o;
        o.portCount = ports;
        o.typeCode = type;
        o.name = "VP" + std::to_string(com);
        this->ports.attach("COM" + std::to_string(com), o);
    }
    void start() {
        view.init();
        view.fireTimer(IDT_START_SEARCH);
    }
};

}  // namespace

TEST(ModeDialogFlow, OpensAndSearchesAfter100msWithNoDevice) {
    DialogRig rig;
    rig.view.init();
    EXPECT_EQ(rig.view.icons, (std::vector<int>{10000}));
    ASSERT_EQ(rig.view.timers.count(10001), 1u);
    EXPECT_EQ(rig.view.timers[10001], 100u);
    rig.view.fireTimer(10001);
    EXPECT_EQ(rig.view.timers.count(10001), 0u) << "one-shot";

    EXPECT_EQ(rig.view.boxes,
              (std::vector<test::Box>{
                  {"Only for \"Apex\" series:\r\nPlease activate the configuration mode of the "
                   "desired devices.\r\nTherefore you must press the config button for two "
                   "seconds until the button will light.",
                   "No device found", ui::Icon::Warning}}));
    EXPECT_FALSE(rig.view.isVisible(IDC_DEVICE_LIST));
    EXPECT_FALSE(rig.view.isVisible(IDC_PORT_LIST_MT));
    for (int id : rig.view.childIds())
        EXPECT_EQ(rig.view.isEnabled(id), id == IDC_SEARCH) << id;
    EXPECT_GE(rig.view.repaints, 1);
}

TEST(ModeDialogFlow, ListFailureShowsErrorBox) {
    DialogRig rig;
    rig.d2xx.createListFails = true;
    rig.start();
    EXPECT_EQ(rig.view.boxes,
              (std::vector<test::Box>{{"EnumVarnokDevices failed (-1)", "Error", ui::Icon::Error}}));
    EXPECT_FALSE(rig.view.isVisible(IDC_DEVICE_LIST));
}

TEST(ModeDialogFlow, MissingLibraryIsNamedOnceThenTheSearchFails) {
    DialogRig rig;
    rig.tool.d2xxAvailable = false;
    rig.tool.d2xxLoadError = "LoadLibrary failed, error 126";
    rig.start();
    ASSERT_EQ(rig.view.boxes.size(), 2u);
    EXPECT_EQ(rig.view.boxes[0].text,
              "The FTDI D2XX library (ftd2xx.dll) could not be loaded (LoadLibrary failed, "
              "error 126).");
    EXPECT_EQ(rig.view.boxes[1].text, "EnumVarnokDevices failed (-1)");
    EXPECT_TRUE(rig.view.isEnabled(IDC_SEARCH)) << "a search can be tried again";
    rig.view.click(IDC_SEARCH);
    EXPECT_EQ(rig.view.boxes.size(), 3u);
}

TEST(ModeDialogFlow, ThreeAdaptersFirstSelectedWithItsFirstPortShown) {
    DialogRig rig;
    rig.addAdapter(0x15, 5, 2, 0x0203, "1,11");
    rig.addAdapter(0x25, 6, 4, 0x1001, "1,12");
    rig.addAdapter(0x35, 7, 1, 0x0203, "1,13");
    rig.start();
    EXPECT_TRUE(rig.view.boxes.empty());
    EXPECT_EQ(rig.view.rowTexts(IDC_DEVICE_LIST),
              (std::vector<std::string>{"VP5 (11)", "VP6 (12)", "VP7 (13)"}));
    EXPECT_EQ(rig.view.listSelectedRows(IDC_DEVICE_LIST), (std::vector<int>{0}));
    EXPECT_EQ(rig.view.rowTexts(IDC_PORT_LIST_MT),
              (std::vector<std::string>{"Port 1   (COM50)", "Port 2   (COM51)"}));
    EXPECT_EQ(rig.view.listSelectedRows(IDC_PORT_LIST_MT), (std::vector<int>{0}));
    EXPECT_EQ(CheckedRadio(rig.view), 1005) << "the adapter's port 1 has mode 1";
    EXPECT_TRUE(rig.view.isVisible(IDC_DEVICE_LIST));
    EXPECT_TRUE(rig.view.isVisible(IDC_PORT_LIST_MT));
    EXPECT_TRUE(rig.view.isEnabled(IDC_COMMIT));
    EXPECT_TRUE(BoxesEnabled(rig.view));

    rig.view.selectRows(IDC_DEVICE_LIST, {1});
    EXPECT_EQ(rig.view.text(1005), "RS485 4-wire") << "relabelled for the reduced model";
    EXPECT_EQ(rig.view.text(1008), "RS232");
    EXPECT_TRUE(rig.view.isVisible(1008));
    for (int id = 1009; id <= 1012; ++id) EXPECT_FALSE(rig.view.isVisible(id)) << id;
    EXPECT_EQ(rig.view.text(1014), "Termination");
    EXPECT_FALSE(rig.view.isVisible(1015));
    EXPECT_FALSE(rig.view.isVisible(1016));
    EXPECT_EQ(rig.view.rowTexts(IDC_PORT_LIST_MT).size(), 4u);

    rig.view.selectRows(IDC_DEVICE_LIST, {0, 2});  // Ctrl
    EXPECT_FALSE(rig.view.isVisible(IDC_PORT_LIST_MT));
    EXPECT_EQ(CheckedRadio(rig.view), 0) << "ports of both adapters have modes 1 and 2";
    EXPECT_EQ(rig.view.text(1005), "RS485 by RTS, 4-wire");
    EXPECT_EQ(rig.view.text(1008), "RS485 auto, 4-wire");
    EXPECT_EQ(rig.view.text(1016), "RxTerm");
    EXPECT_TRUE(rig.view.isVisible(1012));
    EXPECT_TRUE(rig.view.isVisible(1016));
}

TEST(ModeDialogFlow, EditCommitAndSearchAgain) {
    DialogRig rig;
    rig.addAdapter(0x15, 5, 2, 0x0203, "1,11");
    rig.addAdapter(0x25, 6, 2, 0x0203, "1,12");
    rig.start();
    auto* a5 = rig.ports.adapter("COM5");
    auto* a6 = rig.ports.adapter("COM6");
    int opens = rig.ports.opens();

    rig.view.click(IDC_COMMIT);  // nothing changed: no adapter contacted
    EXPECT_EQ(rig.ports.opens(), opens);
    EXPECT_TRUE(rig.view.isVisible(IDC_DEVICE_LIST));

    rig.view.selectRows(IDC_PORT_LIST_MT, {1});
    rig.view.click(1011);
    rig.view.click(1016);  // RxTerm: unchecked -> checked
    EXPECT_EQ(rig.view.checkState(1016), ui::kChecked);
    a5->received.clear();
    rig.view.click(IDC_COMMIT);
    EXPECT_EQ(rig.ports.opens(), opens + 1) << "only the changed adapter";
    EXPECT_TRUE(a6->storedTexts.empty());
    ASSERT_EQ(a5->storedTexts.size(), 1u);
    EXPECT_EQ(a5->ports[1].modeCode, 7);
    EXPECT_EQ(a5->ports[1].controlBits, 1 | 4);
    EXPECT_EQ(CheckedRadio(rig.view), 1005) << "selection refreshed: adapter 1, port 1";
    EXPECT_TRUE(rig.view.isVisible(IDC_PORT_LIST_MT));

    rig.view.selectRows(IDC_PORT_LIST_MT, {0});
    rig.view.click(1012);
    rig.view.click(IDC_SEARCH);  // the edit is dropped
    EXPECT_EQ(ModeCodes(rig.dialog.adapters()[0], 2), (std::vector<int>{1, 7}));
    EXPECT_EQ(rig.view.listSelectedRows(IDC_DEVICE_LIST), (std::vector<int>{0}));
}

// A standard and a reduced adapter selected, the standard one first: a mode
// only the standard model has goes to it alone, and the dialog names the
// adapter it left alone.
TEST(ModeDialogFlow, AModeAnAdaptersModelLacksIsNeverSentToIt) {
    DialogRig rig;
    rig.addAdapter(0x15, 5, 2, 0x0203, "1,11");
    rig.addAdapter(0x25, 6, 2, 0x1001, "1,12");
    rig.start();
    auto* standard = rig.ports.adapter("COM5");
    auto* reduced = rig.ports.adapter("COM6");
    rig.view.selectRows(IDC_DEVICE_LIST, {0, 1});
    rig.view.click(1011);  // RS422, mode 7
    ASSERT_EQ(rig.view.boxes.size(), 1u);
    EXPECT_EQ(rig.view.boxes[0].text, ModeNotSetText(7, 0x0203) + "\nVP6 (12)");
    EXPECT_EQ(rig.view.boxes[0].text.rfind("These adapters have no mode \"RS422\"", 0), 0u);
    EXPECT_EQ(rig.view.boxes[0].icon, ui::Icon::Warning);
    rig.view.click(IDC_COMMIT);
    EXPECT_TRUE(reduced->storedTexts.empty()) << "nothing sent to the reduced adapter";
    EXPECT_EQ(reduced->ports[0].modeCode, 1);
    ASSERT_EQ(standard->storedTexts.size(), 1u);
    EXPECT_EQ(ModeCodes(*standard, 2), (std::vector<int>{7, 7}));
}

TEST(ModeDialogFlow, BusyStateKeepsRs232BoxesDisabledAndClosing) {
    DialogRig rig;
    rig.addAdapter(0x15, 5, 1, 0x0203, "1,11");
    rig.start();
    rig.view.click(1012);  // RS232: boxes disabled
    ASSERT_TRUE(BoxesDisabled(rig.view));
    rig.view.click(IDC_COMMIT);
    EXPECT_TRUE(BoxesDisabled(rig.view));
    EXPECT_TRUE(rig.view.isEnabled(IDC_SEARCH));
    EXPECT_TRUE(rig.view.isEnabled(1005));
    EXPECT_EQ(rig.ports.adapter("COM5")->ports[0].modeCode, 8);

    // With no adapter selected a click changes nothing.
    rig.view.selectRows(IDC_DEVICE_LIST, {});
    rig.view.click(1005);
    EXPECT_EQ(rig.dialog.adapters()[0].ports[0].modeCode, 8);

    rig.dialog.onCommand(rig.view, ui::kIdCancel, ui::Event::Clicked);
    EXPECT_TRUE(rig.view.ended);
    EXPECT_EQ(rig.view.endResult, 1);
    rig.dialog.onDestroy(rig.view);
    EXPECT_TRUE(rig.dialog.adapters().empty());
}

// The RS232 rule decides the control-bit boxes after every path that shows a
// port, whatever state they had before the busy spell: the first search, a
// search while a port with enabled boxes is shown, and a commit.
TEST(ModeDialogFlow, Rs232FirstPortHasItsBoxesDisabledAfterEveryPath) {
    struct Case {
        const char* what;
        uint16_t typeCode;
        int rs232Code;
    };
    const Case cases[] = {{"standard model, mode 8", 0x0203, 8},
                          {"reduced model, mode 4", 0x1001, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DialogRig rig;
        rig.addAdapter(0x15, 5, 2, c.typeCode, "1,11");
        auto* a = rig.ports.adapter("COM5");
        a->ports[0].modeCode = static_cast<uint8_t>(c.rs232Code);  // port 1: RS232
        a->ports[0].controlBits = 1;
        a->ports[1].modeCode = 1;                                  // port 2: RS485
        rig.start();
        EXPECT_TRUE(BoxesDisabled(rig.view)) << "first search";
        EXPECT_EQ(rig.view.checkState(1014), ui::kChecked) << "the marks stay";

        for (int path : {IDC_SEARCH, IDC_COMMIT}) {
            rig.view.selectRows(IDC_PORT_LIST_MT, {1});
            ASSERT_TRUE(BoxesEnabled(rig.view));
            rig.view.click(path);  // shows port 1 again
            ASSERT_EQ(rig.view.listSelectedRows(IDC_PORT_LIST_MT), (std::vector<int>{0}));
            EXPECT_TRUE(BoxesDisabled(rig.view)) << (path == IDC_SEARCH ? "search" : "commit");
            EXPECT_TRUE(rig.view.isEnabled(IDC_SEARCH));
            EXPECT_TRUE(rig.view.isEnabled(IDC_COMMIT));
        }
    }
}

TEST(ModeDialogFlow, SystemErrorsOfSearchAndCommitAreShownInOrder) {
    DialogRig rig;
    rig.addAdapter(0x15, 5, 2, 0x0203, "1,11");
    rig.addAdapter(0x25, 6, 2, 0x0203, "1,12");
    rig.addAdapter(0x35, 7, 2, 0x0203, "1,13");
    rig.ports.adapter("COM5")->unplugged = true;
    rig.ports.adapter("COM6")->heldByOtherProgram = true;  // not found, silently
    rig.start();
    EXPECT_EQ(rig.view.boxes, test::Boxes({"Error(2) / COM5: The system cannot find the file "
                                          "specified.\r\n"},
                                          "Error", ui::Icon::Warning));
    EXPECT_EQ(rig.view.rowTexts(IDC_DEVICE_LIST), (std::vector<std::string>{"VP7 (13)"}));

    rig.view.selectRows(IDC_PORT_LIST_MT, {0, 1});
    rig.view.click(1005);
    rig.ports.adapter("COM7")->heldByOtherProgram = true;
    rig.view.click(IDC_COMMIT);
    ASSERT_EQ(rig.view.boxes.size(), 2u);
    EXPECT_EQ(rig.view.boxes[1],
              (test::Box{"Error(5) / \\\\.\\COM7: Access is denied.\r\n", "Error", ui::Icon::Warning}));
    EXPECT_TRUE(rig.view.isVisible(IDC_DEVICE_LIST)) << "the lists come back after the box";
}

// The work runs off the dialog's thread: while it runs the dialog shows its
// busy state and the progress line; closing then waits for the started
// exchanges to leave configuration mode.
TEST(ModeDialogFlow, BusyWithProgressAndClosingFinishesStartedExchanges) {
    for (bool closeEarly : {false, true}) {
        SCOPED_TRACE(closeEarly ? "closed while searching" : "left to finish");
        DialogRig rig;
        rig.addAdapter(0x105, 20, 2, 0x0203, "1,1");
        rig.addAdapter(0x205, 21, 2, 0x0203, "1,2");
        rig.deferWork = true;
        rig.view.holdPosted = true;
        rig.start();
        EXPECT_EQ(rig.view.busyText, "Searching...");
        EXPECT_FALSE(rig.view.isVisible(IDC_DEVICE_LIST));
        EXPECT_FALSE(rig.view.isEnabled(IDC_SEARCH));
        rig.view.click(IDC_SEARCH);  // ignored while busy
        EXPECT_EQ(rig.work.size(), 1u);
        if (closeEarly) {
            rig.view.click(ui::kIdCancel);
            EXPECT_FALSE(rig.view.ended) << "not before the exchanges end";
            EXPECT_EQ(rig.view.busyText, kFinishingLine);
        }
        rig.runWork();  // the engine, as on its threads
        EXPECT_FALSE(rig.view.ended) << "the results wait for the dialog's thread";
        rig.view.pump();
        EXPECT_EQ(rig.view.ended, closeEarly);
        EXPECT_TRUE(rig.view.busyText.empty());
        EXPECT_TRUE(rig.view.boxes.empty()) << "no message when closing";
        for (int com : {20, 21}) {
            const std::string bytes = ModeRig::Received(*rig.ports.adapter("COM" + std::to_string(com)));
            if (closeEarly) {
                EXPECT_TRUE(bytes.empty()) << "closed before any exchange started";
                continue;
            }
            ASSERT_GE(bytes.size(), 3u);
            EXPECT_EQ(bytes.substr(bytes.size() - 3), "98\r");
        }
        if (!closeEarly) {
            EXPECT_EQ(rig.view.listCount(IDC_DEVICE_LIST), 2);
            EXPECT_TRUE(rig.view.isVisible(IDC_DEVICE_LIST));
            EXPECT_TRUE(rig.view.isEnabled(IDC_SEARCH));
        }
    }
    EXPECT_EQ(ProgressLine(false, 3, 8), "Searching: 3 of 8 adapters");
    EXPECT_EQ(ProgressLine(true, 2, 4), "Writing: 2 of 4 adapters");
}

// Progress travels from the engine's lanes to the busy line through the
// dialog's thread: nothing is shown until the posted tasks run there, then
// every count in order, and the line goes as the list comes back.
TEST(ModeDialogFlow, ProgressReachesTheBusyLineInOrderBeforeTheList) {
    DialogRig rig;
    for (int i = 0; i < 3; ++i)
        rig.addAdapter(0x105u + 0x100u * i, 20 + i, 2, 0x0203, "1," + std::to_string(i + 1));
    rig.deferWork = true;
    rig.view.holdPosted = true;
    rig.start();
    rig.runWork();
    EXPECT_EQ(rig.view.busyTexts, (std::vector<std::string>{"Searching..."}))
        << "lanes do not touch the view";
    EXPECT_EQ(rig.view.listCount(IDC_DEVICE_LIST), 0);
    rig.view.pump();
    EXPECT_EQ(rig.view.busyTexts,
              (std::vector<std::string>{"Searching...", "Searching: 0 of 3 adapters",
                                        "Searching: 1 of 3 adapters", "Searching: 2 of 3 adapters",
                                        "Searching: 3 of 3 adapters", ""}));
    EXPECT_EQ(rig.view.listCount(IDC_DEVICE_LIST), 3);
    EXPECT_TRUE(rig.view.isVisible(IDC_DEVICE_LIST));

    // Two of the three adapters changed: the commit counts those two.
    rig.view.selectRows(IDC_DEVICE_LIST, {0, 2});
    rig.view.click(ModeButtonId(2));
    rig.view.busyTexts.clear();
    rig.view.click(IDC_COMMIT);
    rig.runWork();
    rig.view.pump();
    EXPECT_EQ(rig.view.busyTexts,
              (std::vector<std::string>{"Writing...", "Writing: 0 of 2 adapters",
                                        "Writing: 1 of 2 adapters", "Writing: 2 of 2 adapters", ""}));
    EXPECT_TRUE(rig.view.isVisible(IDC_DEVICE_LIST));
    EXPECT_TRUE(rig.view.isEnabled(IDC_COMMIT));
}
