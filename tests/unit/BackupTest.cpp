// Backups before registry writes: the .reg text of each kind of value, one
// file per run that grows with later writes, the newest-20 rule, and every
// writer asking before it writes without a backup.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "FtdiFixture.h"
#include "MessageBoxes.h"
#include "configurator/backup/BackupJournal.h"
#include "configurator/backup/RegFile.h"
#include "sim/MemFileStore.h"

using namespace varnok;
using namespace varnok::cfg;
using namespace varnok::cfg::backup;
using sim::FakeDialogView;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(RegFile, EachKindOfValueAsRegeditReadsIt) {
    struct Case {
        SavedValue value;
        const char* line;
    };
    const Case cases[] = {
        {{"LatencyTimer", true, reg::kDword, {0x10, 0, 0, 0}}, "\"LatencyTimer\"=dword:00000010"},
        {{"MinReadTimeout", true, reg::kDword, {0xd2, 0x04, 0, 0x80}},
         "\"MinReadTimeout\"=dword:800004d2"},
        {{"Odd", true, reg::kDword, {1, 2, 3}}, "\"Odd\"=hex(4):01,02,03"},
        {{"IgnoreHWSerNum04036001", true, reg::kBinary, {0x01}},
         "\"IgnoreHWSerNum04036001\"=hex:01"},
        {{"Empty", true, reg::kBinary, {}}, "\"Empty\"=hex:"},
        {{"UpperFilters", true, reg::kMultiSz, Bytes(std::string("serenum\0\0", 9))},
         "\"UpperFilters\"=hex(7):73,65,72,65,6e,75,6d,00,00"},
        {{"PortName", true, reg::kSz, Bytes(std::string("COM5\0", 5))}, "\"PortName\"=\"COM5\""},
        {{"Quote\"d", true, reg::kSz, Bytes(std::string("a\"b\\c\0", 6))},
         "\"Quote\\\"d\"=\"a\\\"b\\\\c\""},
        // Strings the quoted form cannot carry go as bytes.
        {{"Lines", true, reg::kSz, Bytes(std::string("a\nb\0", 4))}, "\"Lines\"=hex(1):61,0a,62,00"},
        {{"Unended", true, reg::kSz, Bytes("ab")}, "\"Unended\"=hex(1):61,62"},
        {{"Expand", true, 2, Bytes(std::string("%A%\0", 4))}, "\"Expand\"=hex(2):25,41,25,00"},
        {{"", true, reg::kSz, Bytes(std::string("x\0", 2))}, "@=\"x\""},
        // A value that did not exist is deleted again.
        {{"WriteLatency", false, reg::kNone, {}}, "\"WriteLatency\"=-"},
    };
    for (const Case& c : cases) EXPECT_EQ(RenderValue(c.value), c.line) << c.value.name;
}

TEST(RegFile, LongDataIsWrappedAndKeysWithoutValuesAreLeftOut) {
    std::vector<uint8_t> config(64);
    std::string bytes;
    for (std::size_t i = 0; i < config.size(); ++i) {
        config[i] = static_cast<uint8_t>(i * 5);
        char b[4];
        std::snprintf(b, sizeof b, "%02x", config[i]);
        bytes += std::string(i ? "," : "") + b;
    }
    std::string text = RenderRegFile(
        {"first", "second"},
        {{"SYSTEM\\A", {{"ConfigData", true, reg::kBinary, config}}}, {"SYSTEM\\Empty", {}}});
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        EXPECT_LE(end - at, 80u) << text.substr(at, end - at);
    // Continued lines end in ",\" and go on after two blanks.
    for (std::size_t at; (at = text.find(",\\\r\n  ")) != std::string::npos;) text.erase(at + 1, 5);
    EXPECT_EQ(text, "REGEDIT4\r\n\r\n; first\r\n; second\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\A]\r\n"
                    "\"ConfigData\"=hex:" + bytes + "\r\n");
}

struct Journal : ::testing::Test {
    sim::MemRegistry registry;
    sim::MemFileStore store;
    sim::FixedLocalTime time;
    BackupJournal journal{registry, store, time};
    const std::string a = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A\\0000";
    const std::string b = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+B\\0000";
    std::string problem;

    std::string file() { return store.files.count(journal.fileName()) ? store.files[journal.fileName()] : ""; }
};

TEST_F(Journal, OneFilePerRunKeepsTheFirstStateAndGrowsWithLaterWrites) {
    registry.setDword(a, "LatencyTimer", 16);
    registry.setDword(b, "LatencyTimer", 3);
    ASSERT_TRUE(journal.save({{a, "LatencyTimer"}, {a, "WriteLatency"}}, &problem));
    EXPECT_EQ(journal.fileName(), "20261207-183005.reg");
    EXPECT_TRUE(Contains(file(), "[HKEY_LOCAL_MACHINE\\" + a + "]\r\n\"LatencyTimer\"=dword:00000010\r\n"
                                 "\"WriteLatency\"=-\r\n"));

    // The run writes; a later write touches the same values again and one
    // more port, a minute later.
    registry.setDword(a, "LatencyTimer", 4);
    registry.setDword(a, "WriteLatency", 9);
    time.now.minute = 31;
    const int writes = store.writes;
    ASSERT_TRUE(journal.save({{sim::MemRegistry::lower(a), "latencytimer"}, {b, "LatencyTimer"}}, &problem));
    EXPECT_EQ(store.writes, writes + 1);
    ASSERT_EQ(store.files.size(), 1u);
    EXPECT_TRUE(Contains(file(), "\"LatencyTimer\"=dword:00000010\r\n\"WriteLatency\"=-\r\n"));
    EXPECT_FALSE(Contains(file(), "dword:00000004"));
    EXPECT_TRUE(Contains(file(), "[HKEY_LOCAL_MACHINE\\" + b + "]\r\n\"LatencyTimer\"=dword:00000003\r\n"));

    // Nothing new: the file is not written again.
    ASSERT_TRUE(journal.save({{b, "LatencyTimer"}}, &problem));
    EXPECT_EQ(store.writes, writes + 1);
    // A key that does not exist is nothing to restore.
    ASSERT_TRUE(journal.save({{"SYSTEM\\Missing", "X"}}, &problem));
    EXPECT_FALSE(Contains(file(), "Missing"));
}

TEST_F(Journal, KeepsTheNewestTwentyAndNeverAClashingName) {
    // 25 older backups, one of this very second, and files that are not ours.
    for (int day = 1; day <= 25; ++day) {
        char name[32];
        std::snprintf(name, sizeof name, "202611%02d-120000.reg", day);
        store.files[name] = "old";
    }
    store.files["20261207-183005.reg"] = "same second";
    for (const char* foreign : {"notes.txt", "keep-this.reg", "20261101-120000_01.reg",
                                "20261101-120000.reg.part", "2026111-120000.reg"})
        store.files[foreign] = "not ours";
    registry.setDword(a, "LatencyTimer", 16);
    ASSERT_TRUE(journal.save({{a, "LatencyTimer"}}, &problem));
    EXPECT_EQ(journal.fileName(), "20261207-183005_02.reg");

    std::vector<std::string> ours;
    for (const auto& f : store.files)
        if (IsBackupFileName(f.first)) ours.push_back(f.first);
    ASSERT_EQ(ours.size(), kKeepFiles);
    EXPECT_EQ(ours.front(), "20261108-120000.reg");  // the oldest seven are gone
    EXPECT_EQ(ours.back(), "20261207-183005_02.reg");
    EXPECT_EQ(store.files["20261207-183005.reg"], "same second");
    EXPECT_EQ(store.files.size(), kKeepFiles + 5) << "files not named like ours stay";

    // A clock set back does not cost this run its own file.
    sim::MemFileStore later;
    for (const auto& f : store.files) later.files[f.first] = f.second;
    sim::FixedLocalTime past;
    past.now.year = 2001;
    BackupJournal again(registry, later, past);
    ASSERT_TRUE(again.save({{a, "LatencyTimer"}}, &problem));
    EXPECT_TRUE(later.files.count(again.fileName())) << again.fileName();
    EXPECT_FALSE(later.files.count("20261108-120000.reg"));
}

// Two runs in the same second (the configurator and varnokctl, or two
// scripts): the other run makes its file between this run's look at the
// folder and its first write. Each keeps a file of its own.
struct RacingStore : sim::MemFileStore {
    std::string otherRunsFile;
    std::vector<std::string> fileNames() override {
        std::vector<std::string> names = MemFileStore::fileNames();
        if (!otherRunsFile.empty()) files[otherRunsFile] = "the other run's backup";
        return names;
    }
};

TEST_F(Journal, TwoRunsOfOneSecondNeverShareAFile) {
    registry.setDword(a, "LatencyTimer", 16);
    RacingStore racing;
    racing.otherRunsFile = "20261207-183005.reg";
    BackupJournal ours(registry, racing, time);
    ASSERT_TRUE(ours.save({{a, "LatencyTimer"}}, &problem)) << problem;
    EXPECT_EQ(racing.files["20261207-183005.reg"], "the other run's backup");
    EXPECT_EQ(ours.fileName(), "20261207-183005_02.reg");
    EXPECT_TRUE(Contains(racing.files[ours.fileName()], "reg import 20261207-183005_02.reg"));
    // Later writes of the run go to its own file.
    racing.otherRunsFile.clear();
    registry.setDword(b, "LatencyTimer", 3);
    ASSERT_TRUE(ours.save({{b, "LatencyTimer"}}, &problem)) << problem;
    EXPECT_EQ(racing.files["20261207-183005.reg"], "the other run's backup");
    EXPECT_TRUE(Contains(racing.files[ours.fileName()], b));
}

TEST_F(Journal, FailuresAreReportedAndWhatWasReadIsWrittenLater) {
    registry.setDword(a, "LatencyTimer", 16);
    store.failPrepare = true;
    EXPECT_FALSE(journal.save({{a, "LatencyTimer"}}, &problem));
    EXPECT_EQ(problem, "The backup folder could not be created:\n" + store.location());

    store.failPrepare = false;
    store.failWrite = true;
    registry.setDword(a, "LatencyTimer", 4);  // the user went on without a backup
    EXPECT_FALSE(journal.save({{a, "LatencyTimer"}}, &problem));
    EXPECT_EQ(problem, "The backup file could not be written:\n" + store.location() +
                           "\\20261207-183005.reg");

    store.failWrite = false;
    registry.setDword(b, "PortName", 1);
    registry.failQuery.insert(sim::MemRegistry::lower(b + "|PortName"));
    EXPECT_FALSE(journal.save({{b, "PortName"}}, &problem));
    EXPECT_EQ(problem, "The value \"PortName\" of HKEY_LOCAL_MACHINE\\" + b + " could not be read.");
    // The file holds the value as it was before the first attempt, and
    // nothing for the value that could not be read.
    EXPECT_TRUE(Contains(file(), "\"LatencyTimer\"=dword:00000010"));
    EXPECT_FALSE(Contains(file(), "PortName"));
    // The run wrote it since; readable again, it is still left out, or a
    // restore would bring back what this run wrote.
    registry.failQuery.clear();
    registry.setDword(b, "PortName", 2);
    journal.save({{b, "PortName"}}, &problem);
    EXPECT_FALSE(Contains(file(), "PortName"));
}

// The configurator with two attached ports, COM5 selected, backups kept in
// memory.
struct Writers : ::testing::Test {
    test::FtdiFixture f;
    sim::MemFileStore store;
    sim::FixedLocalTime time;
    BackupJournal journal{f.registry, store, time};

    void SetUp() override {
        f.singlePort("A1B2C3D4", 5, 0x21);
        f.singlePort("E5F6A7B8", 6, 0x22);
        f.registry.createKey(kUsbFlagsKeyPath);
        f.registry.setBinary(kComNameArbiterKeyPath, "ComDB", std::vector<uint8_t>(32, 0x10));
        f.app.backup = &journal;
        f.startDialog();
        f.view.selectRow(IDC_PORT_LIST, 0);
        ASSERT_EQ(f.app.table.selected()->portName, "COM5");
        f.view.boxes.clear();
        f.registry.counters = {};
    }
    // Runs sub-dialog `dialog` from main-dialog command `command` and presses
    // `button` in it, answering its message boxes with `answer`.
    void pressIn(int command, int dialog, int button, ui::Answer answer) {
        f.view.modalScripts[dialog] = [=](FakeDialogView& sub, ui::DialogLogic& logic) {
            // Each door makes a change first: only changes are written.
            if (dialog == IDD_COM_ASSIGNMENT) sub.selectRow(IDC_CA_FREE_LIST, 0);
            if (dialog == IDD_BUFFERED_WRITES) sub.setCheckState(IDC_BW_ACTIVE, ui::kChecked);
            if (dialog == IDD_BAUD_MAPPING) logic.onCommand(sub, IDC_BAUD_BRIVANE, ui::Event::Clicked);
            sub.answers = {answer};
            logic.onCommand(sub, button, ui::Event::Clicked);
            boxes = sub.boxes;
            subEnded = sub.ended;
        };
        f.view.click(command);
    }
    std::vector<FakeDialogView::MessageBoxCall> boxes;
    bool subEnded = false;
};

TEST_F(Writers, ApplySavesExactlyTheValuesItChangesAsTheyWereBefore) {
    f.view.setText(IDC_LATENCY, "4");
    f.view.click(IDC_APPLY);
    const std::string com5 = test::FtdiFixture::ParamsPath(test::kId232R, "A1B2C3D4A");
    ASSERT_EQ(f.registry.dword(com5, "LatencyTimer"), 4u);
    ASSERT_EQ(store.files.size(), 1u);
    const std::string text = store.files.begin()->second;
    EXPECT_TRUE(Contains(text, "[HKEY_LOCAL_MACHINE\\" + com5 + "]\r\n\"LatencyTimer\"=dword:00000010"));
    // Nothing else changed, so nothing else is in the backup.
    EXPECT_FALSE(Contains(text, "MinReadTimeout"));
    EXPECT_FALSE(Contains(text, test::FtdiFixture::ParamsPath(test::kId232R, "E5F6A7B8A")));
    EXPECT_FALSE(Contains(text, kUsbFlagsKeyPath));
    EXPECT_TRUE(f.view.boxes.empty());
}

// Every writer asks when its backup fails; No writes nothing and leaves its
// dialog open, Yes writes without the backup.
TEST_F(Writers, EveryWriterAsksWhenTheBackupFailsAndNoWritesNothing) {
    struct Door {
        const char* name;
        std::function<void(Writers&, ui::Answer answer)> press;
        bool mainBox;  // asked on the main dialog, else on the sub-dialog
    };
    const Door doors[] = {
        {"Apply",
         [](Writers& w, ui::Answer a) {
             w.f.view.setText(IDC_LATENCY, "4");
             w.f.view.answers = {a};
             w.f.view.click(IDC_APPLY);
         },
         true},
        {"Buffered Writes OK",
         [](Writers& w, ui::Answer a) { w.pressIn(IDC_BUFFERED_WRITES, IDD_BUFFERED_WRITES, ui::kIdOk, a); },
         false},
        {"Baud Rate Mapping OK",
         [](Writers& w, ui::Answer a) { w.pressIn(IDC_BAUD_MAPPINGS, IDD_BAUD_MAPPING, IDC_BAUD_OK, a); },
         false},
        {"COM rename",
         [](Writers& w, ui::Answer a) { w.pressIn(IDC_RENAME_COM_PORT, IDD_COM_ASSIGNMENT, ui::kIdOk, a); },
         false},
        // Last: OK ends the dialog and releases the table.
        {"OK",
         [](Writers& w, ui::Answer a) {
             w.f.view.setText(IDC_LATENCY, "7");
             w.f.view.answers = {a};
             w.f.view.click(ui::kIdOk);
         },
         true},
    };
    store.failWrite = true;
    for (const Door& door : doors) {
        SCOPED_TRACE(door.name);
        for (ui::Answer answer : {ui::Answer::No, ui::Answer::Yes}) {
            f.view.boxes.clear();
            boxes.clear();
            f.view.ended = subEnded = false;
            f.registry.counters = {};
            f.d2xx.changes.clear();
            f.view.selectRow(IDC_PORT_LIST, 0);  // a rename refreshes the list
            door.press(*this, answer);
            const auto& asked = door.mainBox ? f.view.boxes : boxes;
            ASSERT_FALSE(asked.empty());
            EXPECT_EQ(asked[0], (test::Box{std::string(kMsgBackupFailed) +
                                               "\nThe backup file could not be written:\n" +
                                               store.location() + "\\20261207-183005.reg\n\n" +
                                               kMsgBackupContinue,
                                           "Warning", ui::Icon::Warning, ui::Buttons::YesNo}));
            const uint64_t changes = f.registry.counters.sets + f.registry.counters.deletes;
            if (answer == ui::Answer::No) {
                EXPECT_EQ(changes, 0u);
                EXPECT_TRUE(f.d2xx.changes.empty()) << "no reload either";
                EXPECT_FALSE(door.mainBox ? f.view.ended : subEnded);
            } else {
                EXPECT_GT(changes, 0u);
            }
        }
    }
    EXPECT_TRUE(store.files.empty());
}

}  // namespace
