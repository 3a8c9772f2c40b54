#include <gtest/gtest.h>

#include "configurator/settings/BufferedWritesDialog.h"
#include "resources/ConfiguratorIds.h"
#include "tests/unit/PortOpsRig.h"

using namespace varnok;
using namespace varnok::cfg;

namespace {

struct BufferedWrites : ::testing::Test {
    test::PortOpsRig rig;
    sim::FakeDialogView view;
    BufferedWritesDialog dialog{rig.app};

    void open() {
        view.declare(IDC_BW_ACTIVE, sim::FakeDialogView::Kind::AutoCheck);
        for (int label : {IDC_BW_LABEL_SIZE, IDC_BW_LABEL_THRESHOLD, IDC_BW_LABEL_LATENCY})
            view.declare(label, sim::FakeDialogView::Kind::Other, false);
        view.attach(dialog);
        view.init();
    }
    void setOn() { rig.port().configData[1] |= 0x04; }
    bool editable() {
        bool all = true, none = true;
        for (int id : {IDC_BW_SIZE, IDC_BW_THRESHOLD, IDC_BW_LATENCY}) {
            all = all && !view.control(id).readOnly;
            none = none && view.control(id).readOnly;
        }
        for (int id : {IDC_BW_LABEL_SIZE, IDC_BW_LABEL_THRESHOLD, IDC_BW_LABEL_LATENCY}) {
            all = all && view.isEnabled(id);
            none = none && !view.isEnabled(id);
        }
        EXPECT_TRUE(all || none) << "boxes and labels disagree";
        return all;
    }
    void store(const char* name, uint32_t value) {
        rig.registry.setDword(rig.parametersKey(), name, value);
    }
    uint32_t stored(const char* name) { return rig.registry.dword(rig.parametersKey(), name); }
    // Size, threshold and latency as the key holds them and as the boxes show them.
    std::vector<uint32_t> storedValues() {
        return {stored(kWriteBufferSizeValue), stored(kWriteBufferThresholdValue),
                stored(kWriteLatencyValue)};
    }
    std::vector<std::string> shown() {
        return {view.text(IDC_BW_SIZE), view.text(IDC_BW_THRESHOLD), view.text(IDC_BW_LATENCY)};
    }
    bool has(const char* name) { return rig.registry.hasValue(rig.parametersKey(), name); }
    void enter(const char* size, const char* threshold, const char* latency) {
        view.setText(IDC_BW_SIZE, size);
        view.setText(IDC_BW_THRESHOLD, threshold);
        view.setText(IDC_BW_LATENCY, latency);
    }
    std::vector<std::string> changes() {
        std::vector<std::string> out;
        for (const auto& line : rig.registry.log)
            if (line.rfind("set ", 0) == 0 || line.rfind("delete ", 0) == 0)
                out.push_back(line.substr(0, line.find(' ') + 1) + line.substr(line.find('|') + 1));
        return out;
    }
};

}  // namespace

TEST_F(BufferedWrites, OpeningWithoutTheBitShowsDefaultsReadOnly) {
    store(kWriteBufferSizeValue, 100);  // ignored when off
    rig.port().writeBufferSize = 7;
    open();
    EXPECT_EQ(view.checkState(IDC_BW_ACTIVE), ui::kUnchecked);
    EXPECT_EQ(shown(), (std::vector<std::string>{"4096", "20", "1"}));
    EXPECT_FALSE(editable());
    EXPECT_EQ(rig.port().writeBufferSize, 4096u);
    EXPECT_EQ(rig.registry.openKeys, 0);
}

TEST_F(BufferedWrites, OpeningWithTheBitShowsStoredValuesAndDefaultsForMissingOnes) {
    setOn();
    store(kWriteBufferSizeValue, 2048);
    store(kWriteLatencyValue, 4);
    open();
    EXPECT_EQ(view.checkState(IDC_BW_ACTIVE), ui::kChecked);
    EXPECT_TRUE(editable());
    EXPECT_EQ(shown(), (std::vector<std::string>{"2048", "20", "4"}));  // threshold: default

    // ... and the next OK writes the default.
    view.click(ui::kIdOk);
    EXPECT_EQ(stored(kWriteBufferThresholdValue), 20u);
    EXPECT_TRUE(view.ended);
}

TEST_F(BufferedWrites, ClickingTheBoxOnlyTogglesEditing) {
    open();
    view.click(IDC_BW_ACTIVE);
    EXPECT_TRUE(editable());
    EXPECT_EQ(rig.port().configData[1] & 0x04, 0);
    view.click(IDC_BW_ACTIVE);
    EXPECT_FALSE(editable());
    EXPECT_TRUE(changes().empty());
}

TEST_F(BufferedWrites, ApplySetsTheBitThenWritesConfigDataAndValuesInOrder) {
    rig.port().configData[0] = 0x5A;
    open();
    view.click(IDC_BW_ACTIVE);
    enter("2048", "10", "4");
    rig.registry.log.clear();
    view.click(IDC_BW_APPLY);
    EXPECT_FALSE(view.ended);
    EXPECT_EQ(changes(), (std::vector<std::string>{"set ConfigData", "set WriteBufferSize",
                                                   "set WriteBufferThreshold",
                                                   "set WriteLatency"}));
    const auto* cd = rig.registry.value(rig.parametersKey(), "ConfigData");
    ASSERT_NE(cd, nullptr);
    ASSERT_EQ(cd->data.size(), 64u);
    EXPECT_EQ(cd->type, reg::kBinary);
    EXPECT_EQ(cd->data[0], 0x5A);
    EXPECT_EQ(cd->data[1], 0x04);
    EXPECT_EQ(storedValues(), (std::vector<uint32_t>{2048, 10, 4}));
    EXPECT_EQ(rig.registry.value(rig.parametersKey(), kWriteLatencyValue)->type, reg::kDword);
    EXPECT_EQ(rig.port().writeBufferThreshold, 10u);
    EXPECT_EQ(rig.registry.openKeys, 0);
}

TEST_F(BufferedWrites, UncheckingAndOkClearsTheBitAndDeletesInOrder) {
    setOn();
    rig.port().configData[1] |= 0x01;
    store(kWriteBufferSizeValue, 2048);
    store(kWriteLatencyValue, 4);
    open();
    view.click(IDC_BW_ACTIVE);
    rig.registry.log.clear();
    view.click(ui::kIdOk);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(rig.port().configData[1], 0x01);
    EXPECT_EQ(rig.registry.value(rig.parametersKey(), "ConfigData")->data[1], 0x01);
    // Only the values that are there are deleted.
    EXPECT_EQ(changes(), (std::vector<std::string>{"set ConfigData", "delete WriteBufferSize",
                                                   "delete WriteLatency"}));
    EXPECT_FALSE(has(kWriteBufferSizeValue));
    EXPECT_FALSE(has(kWriteLatencyValue));
}

TEST_F(BufferedWrites, OnlyTheFirstFourCharactersCount) {
    setOn();
    open();
    enter("40960", "  12", "+3x");
    view.click(IDC_BW_APPLY);
    EXPECT_EQ(storedValues(), (std::vector<uint32_t>{4096, 12, 3}));
    EXPECT_EQ(view.text(IDC_BW_SIZE), "40960");  // accepted boxes keep their text

    enter("00016", "1", "1");  // "0001"
    view.click(IDC_BW_APPLY);
    EXPECT_EQ(stored(kWriteBufferSizeValue), 1u);
}

TEST_F(BufferedWrites, OutOfRangeNumbersAreReplacedByTheValueInForce) {
    setOn();
    store(kWriteBufferSizeValue, 1024);
    store(kWriteBufferThresholdValue, 8);
    store(kWriteLatencyValue, 2);
    open();
    const char* rejected[][3] = {{"5000", "0", "17"}, {"0", "21", "0"}, {"-5", "abc", ""}};
    for (const auto& r : rejected) {
        SCOPED_TRACE(r[0]);
        enter(r[0], r[1], r[2]);
        view.click(IDC_BW_APPLY);
        EXPECT_EQ(storedValues(), (std::vector<uint32_t>{1024, 8, 2}));
        EXPECT_EQ(shown(), (std::vector<std::string>{"1024", "8", "2"}));
    }
    enter("4096", "20", "16");  // the upper ends are accepted
    view.click(IDC_BW_APPLY);
    EXPECT_EQ(storedValues(), (std::vector<uint32_t>{4096, 20, 16}));
    EXPECT_TRUE(view.boxes.empty());
}

// A change that fails is told once, by name; the others are written.
TEST_F(BufferedWrites, FailedConfigDataWriteIsToldAndTheValuesAreStillWritten) {
    setOn();
    store(kWriteBufferSizeValue, 1024);
    open();
    enter("2048", "10", "4");
    rig.registry.failSet.insert(sim::MemRegistry::lower(rig.parametersKey() + "|ConfigData"));
    view.click(IDC_BW_APPLY);
    EXPECT_EQ(stored(kWriteBufferSizeValue), 2048u);
    EXPECT_EQ(stored(kWriteLatencyValue), 4u);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_NE(view.boxes[0].text.find("ConfigData: cannot be written"), std::string::npos)
        << view.boxes[0].text;
    EXPECT_EQ(view.boxes[0].text.find("WriteBufferSize"), std::string::npos);
    EXPECT_EQ(rig.registry.openKeys, 0);
}

TEST_F(BufferedWrites, UnopenableKeyIsToldAndWritesNothing) {
    open();
    view.click(IDC_BW_ACTIVE);
    rig.registry.failOpenForWrite.insert(sim::MemRegistry::lower(rig.parametersKey()));
    view.click(ui::kIdOk);
    EXPECT_TRUE(view.ended);
    EXPECT_FALSE(has("ConfigData"));
    EXPECT_FALSE(has(kWriteBufferSizeValue));
    EXPECT_EQ(rig.port().configData[1] & 0x04, 0x04);  // the record took the box
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].caption, "ERROR");
    EXPECT_EQ(view.boxes[0].icon, ui::Icon::Error);
    EXPECT_NE(view.boxes[0].text.find("its key cannot be opened"), std::string::npos);
}

TEST_F(BufferedWrites, CancelWritesNothing) {
    open();
    view.click(IDC_BW_ACTIVE);
    rig.registry.log.clear();
    view.click(ui::kIdCancel);
    EXPECT_TRUE(view.ended);
    EXPECT_TRUE(changes().empty());
    EXPECT_EQ(rig.port().configData[1] & 0x04, 0);
}
