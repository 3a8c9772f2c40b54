#include <gtest/gtest.h>

#include "configurator/app/MainDialog.h"
#include "configurator/app/MainDialogPanel.h"
#include "configurator/settings/Panel.h"
#include "resources/ConfiguratorIds.h"
#include "tests/unit/PanelFixture.h"

using namespace varnok;
using namespace varnok::cfg;
using sim::FakeDialogView;

namespace {

const int kOptionIds[] = {IDC_SERIAL_PRINTER, IDC_CANCEL_IF_POWER_OFF,
                          IDC_EVENT_ON_SURPRISE_REMOVAL, IDC_SET_RTS_ON_CLOSE,
                          IDC_DISABLE_MODEM_CTRL, IDC_SERIAL_ENUMERATOR};

struct Panel : ::testing::Test {
    test::PanelFixture f;
    FakeDialogView view;

    void SetUp() override {
        for (int id : kOptionIds) view.declare(id, FakeDialogView::Kind::AutoCheck, false);
        f.addPort("COM3", "A1", test::SampleConfigData());
        f.addPort("COM4", "B1", kStandardDivisorTable);
        f.app.table.selectedIndex = 0;
        ShowPortSettings(f.app, view);
    }
    std::string& box(int id) { return view.control(id).text; }
    PortEntry& e() { return f.port(0); }

    // The four number boxes, typed, shown and stored: minimum read and write
    // time-outs, polling period, latency timer.
    void type(const char* read, const char* write, const char* polling, const char* latency) {
        box(IDC_MIN_READ_TIMEOUT) = read;
        box(IDC_MIN_WRITE_TIMEOUT) = write;
        box(IDC_POLLING_PERIOD) = polling;
        box(IDC_LATENCY) = latency;
    }
    std::vector<std::string> shown() {
        return {box(IDC_MIN_READ_TIMEOUT), box(IDC_MIN_WRITE_TIMEOUT), box(IDC_POLLING_PERIOD),
                box(IDC_LATENCY)};
    }
    std::vector<int> numbers() {
        return {e().minReadTimeout, e().minWriteTimeout, e().pollingPeriod, e().latencyTimer};
    }
};

using Texts = std::vector<std::string>;
using Numbers = std::vector<int>;

}  // namespace

TEST_F(Panel, ShowFillsAndEnablesTheControls) {
    e().upperFilters = kSerenumOn;
    e().configData[1] = 0x02;
    ShowPortSettings(f.app, view);
    EXPECT_EQ(shown(), (Texts{"100", "200", "10", "16"}));
    EXPECT_EQ(view.checkState(IDC_SERIAL_PRINTER), ui::kChecked);  // byte 0 = 0x97
    EXPECT_EQ(view.checkState(IDC_CANCEL_IF_POWER_OFF), ui::kUnchecked);
    EXPECT_EQ(view.checkState(IDC_EVENT_ON_SURPRISE_REMOVAL), ui::kUnchecked);
    EXPECT_EQ(view.checkState(IDC_SET_RTS_ON_CLOSE), ui::kUnchecked);
    EXPECT_EQ(view.checkState(IDC_DISABLE_MODEM_CTRL), ui::kChecked);
    EXPECT_EQ(view.checkState(IDC_SERIAL_ENUMERATOR), ui::kChecked);
    for (int id : {IDC_LABEL_MIN_READ, IDC_LABEL_MIN_WRITE, IDC_LABEL_POLLING, IDC_LABEL_LATENCY,
                   IDC_MIN_READ_TIMEOUT, IDC_MIN_WRITE_TIMEOUT, IDC_POLLING_PERIOD, IDC_LATENCY})
        EXPECT_TRUE(view.isEnabled(id)) << id;
    for (int id : kOptionIds) EXPECT_TRUE(view.isEnabled(id)) << id;

    e().minReadTimeout = -5;  // a stored value is shown signed
    ShowPortSettings(f.app, view);
    EXPECT_EQ(box(IDC_MIN_READ_TIMEOUT), "-5");
}

TEST_F(Panel, OutOfRangeValueKeepsThePreviousOneAndRefillsTheBox) {
    type("10001", "10000", "256", "0");
    StorePortSettings(f.app, view);
    EXPECT_EQ(numbers(), (Numbers{100, 10000, 10, 16}));
    EXPECT_EQ(shown(), (Texts{"100", "10000", "10", "16"}));
    EXPECT_TRUE(view.boxes.empty());  // silently
}

TEST_F(Panel, TextsLongerThanFiveCharactersAreRejectedWhateverTheirValue) {
    // Five characters are accepted: two blanks and 100, five blanks and no
    // digits (0), " 0002".
    type("000100", "  100", "     ", " 0002");
    StorePortSettings(f.app, view);
    EXPECT_EQ(numbers(), (Numbers{100, 100, 0, 2}));
    EXPECT_EQ(box(IDC_MIN_READ_TIMEOUT), "100");
}

TEST_F(Panel, EmptyLatencyIsRejectedEmptyTimeoutsStoreZero) {
    type("", "", "", "");
    StorePortSettings(f.app, view);
    EXPECT_EQ(numbers(), (Numbers{0, 0, 0, 16}));
    EXPECT_EQ(shown(), (Texts{"", "", "", "16"}));  // accepted boxes are left as typed

    box(IDC_LATENCY) = "1";  // the panel accepts 1 (the registry writer does not write it)
    StorePortSettings(f.app, view);
    EXPECT_EQ(e().latencyTimer, 1);
}

TEST(PanelNumber, ParseRule) {
    EXPECT_EQ(ParsePanelNumber(""), 0u);
    EXPECT_EQ(ParsePanelNumber("12ab"), 12u);
    EXPECT_EQ(ParsePanelNumber("+42"), 42u);
    EXPECT_EQ(ParsePanelNumber("-0"), 0u);
    EXPECT_EQ(ParsePanelNumber("\t 7"), 7u);
    EXPECT_EQ(ParsePanelNumber("x9"), 0u);
    EXPECT_EQ(ParsePanelNumber("99999"), 99999u);
    EXPECT_EQ(ParsePanelNumber("-1"), 4294967295u);  // negative numbers fall out of range
    EXPECT_FALSE(ParsePanelNumber("100000").has_value());
    // The length counts every byte, not only those before a NUL.
    EXPECT_FALSE(ParsePanelNumber(std::string("1\0" "2345", 6)).has_value());
    EXPECT_TRUE(PanelValueInRange(IDC_LATENCY, 255));
    EXPECT_FALSE(PanelValueInRange(IDC_LATENCY, 256));
    EXPECT_FALSE(PanelValueInRange(IDC_MIN_READ_TIMEOUT, 4294967295u));
    EXPECT_FALSE(PanelValueInRange(IDC_PORT_LIST, 0));
}

TEST_F(Panel, NegativeTextIsRejected) {
    box(IDC_POLLING_PERIOD) = "-1";
    StorePortSettings(f.app, view);
    EXPECT_EQ(e().pollingPeriod, 10);
    EXPECT_EQ(box(IDC_POLLING_PERIOD), "10");
}

TEST_F(Panel, CheckboxesChangeOnlyTheirOwnBitsAndCountOnlyWhenFullyChecked) {
    view.setCheckState(IDC_SERIAL_PRINTER, ui::kUnchecked);
    view.setCheckState(IDC_CANCEL_IF_POWER_OFF, ui::kChecked);
    view.setCheckState(IDC_EVENT_ON_SURPRISE_REMOVAL, ui::kIndeterminate);
    view.setCheckState(IDC_SET_RTS_ON_CLOSE, ui::kChecked);
    view.setCheckState(IDC_DISABLE_MODEM_CTRL, ui::kChecked);
    view.setCheckState(IDC_SERIAL_ENUMERATOR, ui::kIndeterminate);
    e().upperFilters = kSerenumOn;
    const ConfigBytes before = e().configData;
    StorePortSettings(f.app, view);
    EXPECT_EQ(e().configData[0], (0x97 & ~0x80) | 0x40 | 0x08);
    EXPECT_EQ(e().configData[1], 0x05 | 0x02);
    for (std::size_t i = 2; i < 64; ++i) EXPECT_EQ(e().configData[i], before[i]) << i;
    EXPECT_EQ(e().upperFilters, kSerenumOff);

    view.setCheckState(IDC_SERIAL_ENUMERATOR, ui::kChecked);
    StorePortSettings(f.app, view);
    EXPECT_EQ(e().upperFilters, kSerenumOn);
}

TEST_F(Panel, OnlyChangedValuesCountAsSetByTheUser) {
    e().knownFields = 0;  // nothing read
    StorePortSettings(f.app, view);  // the panel as shown
    EXPECT_EQ(e().knownFields, 0u);

    box(IDC_LATENCY) = "4";
    box(IDC_MIN_READ_TIMEOUT) = "10001";  // rejected: not set
    view.setCheckState(IDC_SET_RTS_ON_CLOSE, ui::kChecked);
    view.setCheckState(IDC_SERIAL_ENUMERATOR, ui::kChecked);
    StorePortSettings(f.app, view);
    EXPECT_EQ(e().knownFields, kFieldLatencyTimer | kFieldConfigData | kFieldUpperFilters);
}

TEST_F(Panel, WithoutSelectionNothingHappens) {
    f.app.table.selectedIndex = -1;
    box(IDC_LATENCY) = "0";
    StorePortSettings(f.app, view);
    ApplyPresetToPanel(f.app, view, Preset::Varnok);
    EXPECT_EQ(box(IDC_LATENCY), "0");
    EXPECT_EQ(f.port(0).latencyTimer, 16);
}

namespace {

struct PresetCase {
    const char* name;
    Preset preset;
    int latency;
    bool surpriseRemoval;
    int enumerator;  // 0 off, 1 on, -1 unchanged
    const ConfigBytes* table;
};

const PresetCase kPresets[] = {
    {"Varnok", Preset::Varnok, 2, true, 0, &kStandardDivisorTable},
    {"Brivane", Preset::Brivane, 2, true, -1, &kBrivaneDivisorTable},
    {"Default", Preset::Default, 16, false, 1, &kStandardDivisorTable},
};

}  // namespace

TEST_F(Panel, PresetsSetTheirValuesAndKeepEveryOtherBitOfBytesZeroToThree) {
    for (const auto& p : kPresets) {
        for (uint8_t fillByte : {uint8_t{0x00}, uint8_t{0xFF}}) {
            for (bool enumeratorBefore : {false, true}) {
                SCOPED_TRACE(std::string(p.name) + " fill " + std::to_string(fillByte) +
                             " serenum " + std::to_string(enumeratorBefore));
                PortEntry& r = e();
                r.configData.fill(fillByte);
                WriteSlotCode(r.configData, 5, 0x1234);
                r.upperFilters = enumeratorBefore ? kSerenumOn : kSerenumOff;
                r.minReadTimeout = r.minWriteTimeout = r.pollingPeriod = 77;
                r.knownFields = 0;
                ShowPortSettings(f.app, view);

                ApplyPresetToPanel(f.app, view, p.preset);

                EXPECT_EQ(numbers(), (Numbers{0, 0, 0, p.latency}));
                EXPECT_EQ(shown(), (Texts{"0", "0", "0", std::to_string(p.latency)}));

                const uint8_t named0 = 0x80 | 0x40 | 0x20 | 0x08;
                const uint8_t want0 = static_cast<uint8_t>((fillByte & ~named0) |
                                                           (p.surpriseRemoval ? 0x20 : 0));
                EXPECT_EQ(r.configData[0], want0);
                EXPECT_EQ(r.configData[1], static_cast<uint8_t>(fillByte & ~0x02));
                EXPECT_EQ(r.configData[2], fillByte);
                EXPECT_EQ(r.configData[3], fillByte);
                for (std::size_t i = 4; i < 64; ++i) ASSERT_EQ(r.configData[i], (*p.table)[i]) << i;

                EXPECT_EQ(view.checkState(IDC_EVENT_ON_SURPRISE_REMOVAL),
                          p.surpriseRemoval ? ui::kChecked : ui::kUnchecked);
                for (int id : {IDC_SERIAL_PRINTER, IDC_CANCEL_IF_POWER_OFF, IDC_SET_RTS_ON_CLOSE,
                               IDC_DISABLE_MODEM_CTRL})
                    EXPECT_EQ(view.checkState(id), ui::kUnchecked) << id;

                const bool enumeratorAfter =
                    p.enumerator < 0 ? enumeratorBefore : p.enumerator == 1;
                EXPECT_EQ(r.upperFilters, enumeratorAfter ? kSerenumOn : kSerenumOff);
                EXPECT_EQ(view.checkState(IDC_SERIAL_ENUMERATOR),
                          enumeratorAfter ? ui::kChecked : ui::kUnchecked);

                uint32_t known = kFieldConfigData | kFieldMinReadTimeout | kFieldMinWriteTimeout |
                                 kFieldPollingPeriod | kFieldLatencyTimer;
                if (p.enumerator >= 0) known |= kFieldUpperFilters;
                EXPECT_EQ(r.knownFields, known);
                EXPECT_EQ(f.port(1).configData, kStandardDivisorTable);  // other ports untouched
            }
        }
    }
}

// Through the main dialog: selection changes store the previous port's panel.
TEST(PanelInMainDialog, SelectingAnotherPortKeepsTheEditsInThePreviousRecord) {
    test::PanelFixture f;
    f.addPort("COM3", "A1", kStandardDivisorTable);
    f.addPort("COM4", "B1", kStandardDivisorTable);
    f.port(1).latencyTimer = 2;
    FakeDialogView view;
    for (int id : kOptionIds) view.declare(id, FakeDialogView::Kind::AutoCheck, false);
    MainDialog dialog(f.app);
    view.attach(dialog);
    f.listPorts(view);

    view.selectRow(IDC_PORT_LIST, 0);
    EXPECT_EQ(view.text(IDC_LATENCY), "16");
    view.type(IDC_LATENCY, "4");
    view.type(IDC_MIN_READ_TIMEOUT, "10001");
    view.click(IDC_SET_RTS_ON_CLOSE);

    view.selectRow(IDC_PORT_LIST, 1);
    EXPECT_EQ(f.port(0).latencyTimer, 4);
    EXPECT_EQ(f.port(0).minReadTimeout, 100);
    EXPECT_TRUE(HasOption(f.port(0).configData, kOptSetRtsOnClose));
    EXPECT_EQ(view.text(IDC_LATENCY), "2");  // now showing COM4
    EXPECT_EQ(view.checkState(IDC_SET_RTS_ON_CLOSE), ui::kUnchecked);

    // A preset acts on the port selected in the list.
    view.click(IDC_DEFAULT_SETTINGS);
    EXPECT_EQ(f.port(1).latencyTimer, 16);
    EXPECT_EQ(f.port(0).latencyTimer, 4);
    EXPECT_EQ(view.text(IDC_LATENCY), "16");
}
