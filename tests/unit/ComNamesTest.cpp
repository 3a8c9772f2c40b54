#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "configurator/comnames/ComDb.h"
#include "configurator/comnames/ComPortAssignmentDialog.h"
#include "resources/ConfiguratorIds.h"
#include "tests/unit/PortOpsRig.h"
#include "tests/unit/MessageBoxes.h"
#include "tests/unit/ShownProblems.h"

using namespace varnok;
using namespace varnok::cfg;

namespace {

std::vector<uint8_t> Map(std::initializer_list<int> reserved, std::size_t size = 32) {
    std::vector<uint8_t> m(size, 0);
    for (int n : reserved) m[static_cast<std::size_t>(n - 1) / 8] |= uint8_t(1u << ((n - 1) % 8));
    return m;
}

struct ComNames : ::testing::Test {
    test::PortOpsRig rig;
    sim::FakeDialogView view;
    ComPortAssignmentDialog dialog{rig.app, rig.dialogs};

    void setMap(std::vector<uint8_t> m) {
        rig.registry.setBinary(kComNameArbiterKeyPath, kComDbValueName, std::move(m));
    }
    void open() {
        view.attach(dialog);
        view.init();
    }
    std::vector<uint8_t> storedMap() {
        const auto* v = rig.registry.value(kComNameArbiterKeyPath, kComDbValueName);
        return v ? v->data : std::vector<uint8_t>{};
    }
    int selectedRow() { return view.listCurSel(IDC_CA_FREE_LIST); }
    std::string selectedText() { return view.listText(IDC_CA_FREE_LIST, selectedRow()); }
    // The free number selected, or "" when none is.
    std::string selection() { return selectedRow() < 0 ? "" : selectedText(); }
};

}  // namespace

TEST(ComDbBitmap, NumberMapsToByteAndBitAndOnlyOneToTwoFiftySixChange) {
    std::vector<uint8_t> m;
    MarkComNumber(m, 1, true);
    MarkComNumber(m, 8, true);
    MarkComNumber(m, 9, true);
    MarkComNumber(m, 256, true);
    ASSERT_EQ(m.size(), 32u);
    EXPECT_EQ(m[0], 0x81);
    EXPECT_EQ(m[1], 0x01);
    EXPECT_EQ(m[31], 0x80);
    const auto before = m;
    MarkComNumber(m, 0, true);
    MarkComNumber(m, 257, true);
    MarkComNumber(m, -3, false);
    EXPECT_EQ(m, before);
    MarkComNumber(m, 8, false);
    EXPECT_EQ(m[0], 0x01);
    EXPECT_TRUE(IsComNumberReserved(m, 1));
    EXPECT_FALSE(IsComNumberReserved(m, 2));
    EXPECT_TRUE(IsComNumberReserved(m, 0));    // never offered
    EXPECT_TRUE(IsComNumberReserved(m, 257));
}

TEST(ComDbBitmap, MarkingKeepsBytesAboveComTwoFiftySix) {
    std::vector<uint8_t> m(40, 0xA5);
    MarkComNumber(m, 3, false);
    ASSERT_EQ(m.size(), 40u);
    EXPECT_EQ(m[0], 0xA1);
    for (std::size_t i = 32; i < 40; ++i) EXPECT_EQ(m[i], 0xA5);
}

TEST(ComDbBitmap, NumberOfNameReadsAfterTheFirstThreeCharacters) {
    EXPECT_EQ(ComNumberOfName("COM12"), 12);
    EXPECT_EQ(ComNumberOfName("COM"), 0);
    EXPECT_EQ(ComNumberOfName(""), 0);
    EXPECT_EQ(ComNumberOfName("COMx"), 0);
}

TEST_F(ComNames, FreeListAscendsAndSkipsTakenNumbers) {
    std::vector<uint8_t> m(32, 0);
    m[0] = 0x0B;  // COM1, COM2, COM4
    std::vector<std::string> names;
    ListFreeComNumbers(view, m, names);
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4),
              (std::vector<std::string>{"COM3", "COM5", "COM6", "COM7"}));
    EXPECT_EQ(view.rowTexts(IDC_CA_FREE_LIST), names);
    EXPECT_EQ(names.size(), 253u);
}

TEST_F(ComNames, FreeNumbersGoWithTheNames) {
    std::vector<std::string> names;
    std::vector<int> numbers = {99};  // replaced, not added to
    ListFreeComNumbers(view, Map({1, 2, 4, 9, 100, 256}), names, &numbers);
    ASSERT_EQ(numbers.size(), names.size());
    ASSERT_EQ(names.size(), 250u);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(names[i], "COM" + std::to_string(numbers[i]));
    EXPECT_EQ(std::vector<int>(numbers.begin(), numbers.begin() + 5),
              (std::vector<int>{3, 5, 6, 7, 8}));
    EXPECT_EQ(numbers.back(), 255);
    EXPECT_EQ(FreeComNumbers(Map({1, 2, 4, 9, 100, 256})), numbers);
    EXPECT_TRUE(FreeComNumbers({}).empty());  // a map never read offers nothing

    // A refused row stops both lists at the same place.
    sim::FakeDialogView refusing;
    refusing.control(IDC_CA_FREE_LIST).failAddAt = 2;
    ListFreeComNumbers(refusing, Map({1}), names, &numbers);
    EXPECT_EQ(names, (std::vector<std::string>{"COM2", "COM3"}));
    EXPECT_EQ(numbers, (std::vector<int>{2, 3}));
}

TEST_F(ComNames, FreeListSizesFromFullToEmptyMap) {
    std::vector<std::string> names;
    ListFreeComNumbers(view, std::vector<uint8_t>(32, 0xFF), names);
    EXPECT_TRUE(names.empty());

    view.listReset(IDC_CA_FREE_LIST);
    ListFreeComNumbers(view, Map({5}), names);
    EXPECT_EQ(names.size(), 255u);

    // Every number free: all 256 are offered, the last one COM256.
    view.listReset(IDC_CA_FREE_LIST);
    ListFreeComNumbers(view, Map({}), names);
    ASSERT_EQ(names.size(), 256u);
    EXPECT_EQ(names.front(), "COM1");
    EXPECT_EQ(names.back(), "COM256");
    EXPECT_EQ(view.listCount(IDC_CA_FREE_LIST), 256);

    // Listing again starts the list afresh.
    view.listReset(IDC_CA_FREE_LIST);
    ListFreeComNumbers(view, std::vector<uint8_t>(32, 0xFF), names);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(ComNames, ListBoxRefusingATextStopsWithMessage) {
    view.control(IDC_CA_FREE_LIST).failAddAt = 3;
    std::vector<std::string> names;
    ListFreeComNumbers(view, Map({}), names);
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2", "COM3"}));
    EXPECT_EQ(view.boxes, (std::vector<test::Box>{{"ListBox Error", "ERROR", ui::Icon::Error}}));
}

TEST_F(ComNames, ReadFailuresShowTheirMessagesAndKeepTheCopy) {
    rig.port().comDbBitmap = {1, 2, 3};
    EXPECT_FALSE(test::ReadComDb(rig.app, view, rig.port()));  // no arbiter key
    rig.registry.createKey(kComNameArbiterKeyPath);
    EXPECT_FALSE(test::ReadComDb(rig.app, view, rig.port()));  // no ComDB value
    EXPECT_EQ(view.boxes, test::Boxes({"Can't open Key: COM Name Arbiter", "Can't open COMDB"},
                                      "ERROR", ui::Icon::Error));
    EXPECT_EQ(rig.port().comDbBitmap, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(rig.mainView.boxes.empty());  // owned by the dialog
    EXPECT_EQ(rig.registry.openKeys, 0);
}

TEST_F(ComNames, ReadTakesAGrownValueWholeAndCompletesAShortOne) {
    std::vector<uint8_t> grown(300, 0);
    grown[299] = 0x80;  // COM2400
    setMap(grown);
    ASSERT_TRUE(test::ReadComDb(rig.app, view, rig.port()));
    EXPECT_EQ(rig.port().comDbBitmap, grown);

    setMap({0x01, 0x02});
    ASSERT_TRUE(test::ReadComDb(rig.app, view, rig.port()));
    EXPECT_EQ(rig.port().comDbBitmap.size(), 32u);
    EXPECT_EQ(rig.port().comDbBitmap[1], 0x02);
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(ComNames, OpeningShowsNameNumberAndFreeNumbers) {
    setMap(Map({1, 2, 5}));
    open();
    EXPECT_EQ(view.text(IDC_CA_CURRENT), "COM5");
    EXPECT_EQ(view.text(IDC_CA_NUMBER), "5");
    EXPECT_EQ(view.control(IDC_CA_UPDOWN).rangeLow, 1);
    EXPECT_EQ(view.control(IDC_CA_UPDOWN).rangeHigh, 256);
    ASSERT_EQ(dialog.freeNames().size(), 253u);
    EXPECT_EQ(dialog.freeNames()[0], "COM3");
    EXPECT_EQ(view.rowTexts(IDC_CA_FREE_LIST), dialog.freeNames());

    rig.port().portName = "COM123";
    sim::FakeDialogView again;
    ComPortAssignmentDialog second(rig.app, rig.dialogs);
    again.attach(second);
    again.init();
    EXPECT_EQ(again.text(IDC_CA_NUMBER), "123");
}

TEST_F(ComNames, TypingSelectsAFreeNumberAndATakenOneClears) {
    setMap(Map({1, 2, 4, 5}));
    open();
    // 4 is taken; 2560 has more than three characters: no search.
    for (const auto& [typed, selected] : std::vector<std::pair<std::string, std::string>>{
             {"3", "COM3"}, {"12", "COM12"}, {"4", ""}, {"256", "COM256"}, {"2560", ""}, {"", ""}}) {
        view.type(IDC_CA_NUMBER, typed);
        EXPECT_EQ(selection(), selected) << typed;
    }
}

TEST_F(ComNames, ReopeningSearchesTheNewMapOnly) {
    // The same dialog opened again on a map with other free numbers: typing
    // finds the rows of this opening, never those of the last one.
    setMap(Map({1, 2, 5}));
    open();
    view.type(IDC_CA_NUMBER, "3");
    EXPECT_EQ(selectedText(), "COM3");

    setMap(Map({1, 3, 4, 5}));
    sim::FakeDialogView again;
    again.attach(dialog);
    again.init();
    ASSERT_EQ(dialog.freeNames().front(), "COM2");
    again.type(IDC_CA_NUMBER, "3");  // free before, taken now
    EXPECT_EQ(again.listCurSel(IDC_CA_FREE_LIST), -1);
    again.type(IDC_CA_NUMBER, "6");
    EXPECT_EQ(again.listText(IDC_CA_FREE_LIST, again.listCurSel(IDC_CA_FREE_LIST)), "COM6");
    again.type(IDC_CA_NUMBER, "2");
    EXPECT_EQ(again.listCurSel(IDC_CA_FREE_LIST), 0);
}

TEST_F(ComNames, TypingOneLeavesTheSelection) {
    setMap(Map({1, 5}));
    open();
    view.type(IDC_CA_NUMBER, "7");
    ASSERT_EQ(selectedText(), "COM7");
    view.type(IDC_CA_NUMBER, "1");  // COM1 taken, but 1 never clears
    EXPECT_EQ(selectedText(), "COM7");
}

namespace {

// Like the real edit control: putting text into the number field notifies
// the dialog (one notification per opening, as measured under Wine).
struct NotifyingView : sim::FakeDialogView {
    ui::DialogLogic* logic = nullptr;
    void setText(int id, const std::string& text) override {
        FakeDialogView::setText(id, text);
        if (id == IDC_CA_NUMBER && logic != nullptr) logic->onCommand(*this, id, ui::Event::ValueChanged);
    }
};

}  // namespace

// Only the dialog's own notifications are counted: in the first openings of
// a run, a click on a free number followed by a typed taken number still
// clears the selection, and OK warns and renames nothing.
TEST(ComPortAssignment, TheUsersFirstEditsOfTheRunAreNeverSwallowed) {
    for (const bool fieldNotifies : {false, true}) {
        SCOPED_TRACE(fieldNotifies ? "field notifies on set" : "field silent on set");
        test::PortOpsRig rig;  // a fresh run: the counter starts at 0
        rig.registry.setBinary(kComNameArbiterKeyPath, kComDbValueName, Map({1, 5}));
        for (int opening = 1; opening <= 3; ++opening) {
            SCOPED_TRACE(opening);
            ComPortAssignmentDialog dialog{rig.app, rig.dialogs};
            NotifyingView view;
            if (fieldNotifies) view.logic = &dialog;
            view.attach(dialog);
            view.init();
            EXPECT_EQ(rig.dialogs.comNumberChangeCounter, fieldNotifies ? std::min(opening, 2) : 0);
            view.selectRow(IDC_CA_FREE_LIST, 4);  // COM7
            ASSERT_EQ(view.listText(IDC_CA_FREE_LIST, view.listCurSel(IDC_CA_FREE_LIST)), "COM7");
            view.type(IDC_CA_NUMBER, "5");  // taken (the port's own number)
            EXPECT_EQ(view.listCurSel(IDC_CA_FREE_LIST), -1);
            view.click(ui::kIdOk);
            ASSERT_NE(view.lastBox(), nullptr);
            EXPECT_EQ(view.lastBox()->text, "Selected COM Port Number is reserved");
            EXPECT_TRUE(view.ended);
        }
        EXPECT_EQ(rig.registry.value(rig.instanceKey(), "FriendlyName"), nullptr);
        EXPECT_EQ(rig.registry.value(rig.parametersKey(), "PortName"), nullptr);
        EXPECT_EQ(rig.registry.value(kComNameArbiterKeyPath, kComDbValueName)->data, Map({1, 5}));
    }
}

TEST_F(ComNames, UpDownSearchesTheNumberItStepsTo) {
    setMap(Map({1, 3, 5}));
    open();
    view.setText(IDC_CA_NUMBER, "1");
    EXPECT_FALSE(dialog.onUpDownDelta(view, IDC_CA_UPDOWN, 1, 1));
    EXPECT_EQ(selectedText(), "COM2");
    EXPECT_FALSE(dialog.onUpDownDelta(view, IDC_CA_UPDOWN, 2, 1));  // field still "1" -> 2
    // From 2 up to the taken COM3; from 256 up to 257, never offered; from 5 down.
    const struct {
        const char* field;
        int delta;
        const char* selected;
    } steps[] = {{"2", 1, ""}, {"256", 1, ""}, {"5", -1, "COM4"}};
    for (const auto& s : steps) {
        view.setText(IDC_CA_NUMBER, s.field);
        dialog.onUpDownDelta(view, IDC_CA_UPDOWN, std::stoi(s.field), s.delta);
        EXPECT_EQ(selection(), s.selected) << s.field;
    }
}

TEST_F(ComNames, RenameWritesNamesAndMovesTheReservation) {
    setMap(Map({1, 5}));
    open();
    view.type(IDC_CA_NUMBER, "7");
    view.click(ui::kIdOk);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.endResult, 1);
    const auto* friendly = rig.registry.value(rig.instanceKey(), "FriendlyName");
    ASSERT_NE(friendly, nullptr);
    EXPECT_EQ(friendly->type, reg::kSz);
    const std::string withZero("USB Serial Port (COM7)\0", 23);
    EXPECT_EQ(std::string(friendly->data.begin(), friendly->data.end()), withZero);
    EXPECT_EQ(rig.registry.string(rig.parametersKey(), "PortName"), "COM7");
    EXPECT_EQ(rig.registry.value(rig.parametersKey(), "PortName")->data.size(), 5u);
    const auto map = storedMap();
    ASSERT_EQ(map.size(), 32u);
    EXPECT_EQ(map[0], 0x01 | 0x40);  // gains COM7 (0x40), loses COM5 (0x10)
    EXPECT_EQ(rig.registry.value(kComNameArbiterKeyPath, kComDbValueName)->type, reg::kBinary);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(rig.registry.openKeys, 0);
}

TEST_F(ComNames, OkWithoutFreeSelectionWarnsAndCancelKeepsTheDialog) {
    setMap(Map({1, 5}));
    open();
    view.type(IDC_CA_NUMBER, "5");  // taken: no selection
    view.answers = {ui::Answer::Cancel};
    view.click(ui::kIdOk);
    EXPECT_EQ(view.boxes, (std::vector<test::Box>{{"Selected COM Port Number is reserved", "Error",
                                                   ui::Icon::Warning, ui::Buttons::OkCancel}}));
    EXPECT_FALSE(view.ended);
    view.answers = {ui::Answer::Ok};
    view.click(ui::kIdOk);
    EXPECT_TRUE(view.ended);
    EXPECT_FALSE(rig.registry.hasValue(rig.parametersKey(), "PortName"));
    EXPECT_EQ(storedMap(), Map({1, 5}));
}

TEST_F(ComNames, GrownMapKeepsReservationsAboveComTwoFiftySixAndItsLength) {
    auto grown = Map({5}, 64);
    for (std::size_t i = 32; i < 64; ++i) grown[i] = static_cast<uint8_t>(i);
    setMap(grown);
    open();
    EXPECT_EQ(dialog.freeNames().back(), "COM256");  // nothing above is offered
    view.type(IDC_CA_NUMBER, "7");
    view.click(ui::kIdOk);
    ASSERT_TRUE(view.ended);
    auto expected = grown;
    expected[0] = 0x40;
    EXPECT_EQ(storedMap(), expected);
}

TEST_F(ComNames, UnreadMapIsNeverWrittenAndNothingIsRenamed) {
    // The arbiter key exists for writing, but ComDB cannot be read.
    setMap(Map({1, 5}));
    rig.registry.failQuery.insert(sim::MemRegistry::lower(std::string(kComNameArbiterKeyPath) +
                                                          "|" + kComDbValueName));
    rig.port().comDbBitmap.clear();
    open();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Can't open COMDB");
    EXPECT_TRUE(dialog.freeNames().empty());  // nothing is known to be free
    view.click(ui::kIdOk);
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[1].text, kMsgComDbNotRead);
    EXPECT_EQ(view.boxes[1].caption, "ERROR");
    EXPECT_FALSE(view.ended);
    EXPECT_EQ(storedMap(), Map({1, 5}));
    EXPECT_FALSE(rig.registry.hasValue(rig.instanceKey(), "FriendlyName"));
    EXPECT_FALSE(rig.registry.hasValue(rig.parametersKey(), "PortName"));
    view.click(ui::kIdCancel);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.endResult, 1);
}

TEST_F(ComNames, MapWriteFailureKeepsTheDialogOpenAfterTheNames) {
    setMap(Map({1, 5}));
    rig.registry.failOpenForWrite.insert(sim::MemRegistry::lower(kComNameArbiterKeyPath));
    open();
    view.type(IDC_CA_NUMBER, "7");
    view.click(ui::kIdOk);
    EXPECT_FALSE(view.ended);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Can't open Key: COM Name Arbiter");
    EXPECT_EQ(rig.registry.string(rig.parametersKey(), "PortName"), "COM7");
    EXPECT_EQ(storedMap(), Map({1, 5}));
    EXPECT_EQ(rig.port().comDbBitmap, Map({1, 7}));  // the changed copy stays

    rig.registry.failOpenForWrite.clear();
    rig.registry.failSet.insert(sim::MemRegistry::lower(std::string(kComNameArbiterKeyPath) + "|" +
                                                        kComDbValueName));
    view.click(ui::kIdOk);
    EXPECT_EQ(view.lastBox()->text, "Can't open COMDB");
    EXPECT_FALSE(view.ended);
}

TEST_F(ComNames, AMissingPortKeyIsToldAndTheMapIsStillWritten) {
    setMap(Map({1, 5}));
    rig.registry.removeKey(rig.instanceKey());
    open();
    view.type(IDC_CA_NUMBER, "7");
    view.click(ui::kIdOk);
    EXPECT_TRUE(view.ended);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_NE(view.boxes[0].text.find("COM5 FriendlyName: its key cannot be opened"),
              std::string::npos)
        << view.boxes[0].text;
    EXPECT_NE(view.boxes[0].text.find("COM5 PortName"), std::string::npos);  // under it
    EXPECT_EQ(storedMap(), Map({1, 7}));
}

TEST_F(ComNames, ChoosingTheOwnNumberListedAsFreeKeepsItReserved) {
    setMap(Map({1}));  // the map does not know COM5 is taken
    open();
    view.type(IDC_CA_NUMBER, "5");
    ASSERT_EQ(selectedText(), "COM5");
    view.click(ui::kIdOk);
    EXPECT_EQ(storedMap(), Map({1, 5}));
}

TEST_F(ComNames, CancelWritesNothing) {
    setMap(Map({1, 5}));
    open();
    view.type(IDC_CA_NUMBER, "7");
    rig.registry.log.clear();
    view.click(ui::kIdCancel);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.endResult, 1);
    EXPECT_TRUE(rig.registry.log.empty());
}
