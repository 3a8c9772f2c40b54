#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <tuple>

#include "configurator/app/MainDialog.h"
#include "configurator/settings/ConfigFiles.h"
#include "resources/ConfiguratorIds.h"
#include "tests/unit/PortOpsRig.h"
#include "tests/unit/MessageBoxes.h"

#if defined(__linux__)
#include <csignal>
#include <sys/resource.h>
#endif

using namespace varnok;
using namespace varnok::cfg;
namespace fs = std::filesystem;

namespace {

struct ConfigFiles : ::testing::Test {
    test::PortOpsRig rig;
    fs::path dir;

    void SetUp() override {
        std::random_device rd;
        dir = fs::temp_directory_path() / ("varnok_cfgfile_" + std::to_string(rd()));
        fs::create_directories(dir);
        // A second port to load into.
        PortEntry other;
        other.portName = "COM9";
        other.deviceId = 0x04036015;
        other.serialNumber = "XY99A";
        other.writeBufferSize = 2048;
        rig.app.table.entries.push_back(other);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string file(const char* name) { return (dir / name).string(); }
    static std::vector<uint8_t> bytesOf(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void writeBytes(const std::string& path, const std::vector<uint8_t>& b) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }
    void fillPort(PortEntry& e) {
        for (std::size_t i = 0; i < 64; ++i) e.configData[i] = static_cast<uint8_t>(0xC0 + i);
        e.minReadTimeout = 44;
        e.minWriteTimeout = 232;
        e.latencyTimer = 16;
        e.pollingPeriod = 255;
        e.upperFilters = kSerenumOn;
    }
    // The File menu's command on record `index`, as the main dialog runs it.
    void command(int index, int id) {
        rig.app.table.selectedIndex = index;
        MainDialog main(rig.app);
        main.onCommand(rig.mainView, id, ui::Event::Clicked);
    }
    void save(int index, const std::string& path) {
        rig.mainView.saveAnswers.push_back(path);
        command(index, IDM_SAVE_CONFIG);
    }
    void load(int index, const std::string& path) {
        rig.mainView.openAnswers.push_back(path);
        command(index, IDM_LOAD_CONFIG);
    }
    std::vector<std::string> dirNames() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

TEST_F(ConfigFiles, DialogsGetTheirNamesFiltersAndFlags) {
    command(0, IDM_SAVE_CONFIG);  // cancelled
    command(0, IDM_LOAD_CONFIG);  // cancelled
    using Shown = std::tuple<std::string, std::string, std::string, std::string, bool, bool>;
    std::vector<Shown> shown;
    for (const ui::FileDialogOptions& d : rig.mainView.fileDialogs)
        shown.emplace_back(d.initialName, d.filterName, d.filterPattern, d.defaultExt,
                           d.confirmOverwrite, d.fileMustExist);
    EXPECT_EQ(shown, (std::vector<Shown>{{"Config_COM5", "DAT files", "*.dat", "dat", true, false},
                                         {"", "DAT files", "*.dat", "dat", false, true}}));
    EXPECT_TRUE(rig.mainView.boxes.empty());
    EXPECT_TRUE(dirNames().empty());
}

TEST_F(ConfigFiles, SavedFileHasTheEightyFourByteLayout) {
    fillPort(rig.port());
    rig.port().minReadTimeout = 300;
    rig.port().minWriteTimeout = 1000;
    // Values the one-byte fields cannot hold are named before the save;
    // Cancel saves nothing, OK saves their low 8 bits.
    rig.mainView.answers = {ui::Answer::Cancel};
    save(0, file("a.dat"));
    EXPECT_TRUE(dirNames().empty());
    EXPECT_EQ(rig.mainView.boxes,
              test::Boxes({std::string(kMsgValuesCutInFile) +
                           "\nminReadTimeout 300 (saved as 44)\nminWriteTimeout 1000 (saved as "
                           "232)\n\n" +
                           kMsgSaveAnyway},
                          "Warning", ui::Icon::Warning, ui::Buttons::OkCancel));
    rig.mainView.boxes.clear();
    save(0, file("a.dat"));
    ASSERT_EQ(rig.mainView.boxes.size(), 1u);
    rig.mainView.boxes.clear();
    const auto b = bytesOf(file("a.dat"));
    ASSERT_EQ(b.size(), 84u);
    for (std::size_t i = 0; i < 64; ++i) EXPECT_EQ(b[i], 0xC0 + i);
    std::vector<uint8_t> tail = {44, 232, 16};  // 300 and 1000 keep their low 8 bits
    tail.insert(tail.end(), kSerenumOn.begin(), kSerenumOn.end());
    tail.push_back(255);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 64, b.end()), tail);
    EXPECT_TRUE(rig.mainView.boxes.empty());
    EXPECT_EQ(dirNames(), std::vector<std::string>{"a.dat"});  // nothing left beside it
}

TEST_F(ConfigFiles, FileCarriesSettingsToAnotherPortButNotItsIdentity) {
    fillPort(rig.port());
    rig.port().writeBufferSize = 512;
    save(0, file("a.dat"));
    load(1, file("a.dat"));
    const PortEntry& to = rig.app.table.entries[1];
    EXPECT_EQ(to.configData, rig.port().configData);
    EXPECT_EQ(to.minReadTimeout, 44);
    EXPECT_EQ(to.minWriteTimeout, 232);
    EXPECT_EQ(to.latencyTimer, 16);
    EXPECT_EQ(to.pollingPeriod, 255);
    EXPECT_EQ(to.upperFilters, kSerenumOn);
    EXPECT_EQ(to.portName, "COM9");
    EXPECT_EQ(to.serialNumber, "XY99A");
    EXPECT_EQ(to.deviceId, 0x04036015u);
    EXPECT_EQ(to.writeBufferSize, 2048u);
    const uint32_t fileFields = kFieldConfigData | kFieldMinReadTimeout | kFieldMinWriteTimeout |
                                kFieldLatencyTimer | kFieldUpperFilters | kFieldPollingPeriod;
    EXPECT_EQ(to.knownFields & fileFields, fileFields);  // written back on the next Apply
    EXPECT_TRUE(rig.mainView.boxes.empty());
}

// The dialog hands over UTF-8; folder and file keep every character, the
// temporary file beside is gone, and saving over the file works too.
TEST_F(ConfigFiles, NamesOutsideLatin1ArriveAsTyped) {
    const std::string folder = file("Профили Zażółć €");
    const std::string name = "порт COM5 €.dat";
    fs::create_directories(fs::u8path(folder));
    fillPort(rig.port());
    save(0, folder + "/" + name);
    save(0, folder + "/" + name);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::u8path(folder)))
        names.push_back(e.path().filename().u8string());
    EXPECT_EQ(names, std::vector<std::string>{name});
    load(1, folder + "/" + name);
    EXPECT_EQ(rig.app.table.entries[1].configData, rig.port().configData);
    EXPECT_TRUE(rig.mainView.boxes.empty());
}

// Any 84 bytes load and save again byte for byte, except the 16 filter
// bytes: they only say whether the Serial Enumerator is on, and come back
// in the program's own form (never a list of other drivers from the file).
TEST_F(ConfigFiles, LoadingAnyEightyFourBytesRoundTripsAndTheFiltersAsAState) {
    const std::string on("serenum\0\0\0\0\0\0\0\0\0", 16);
    const struct {
        std::string filters;
        std::string saved;
    } cases[] = {
        {std::string("serenum\0evil\0\0\0\0", 16), on},
        {on, on},
        {std::string("evil\0serenum\0\0\0\0\0", 16), std::string(16, '\0')},
        {std::string("SERENUM\0\0\0\0\0\0\0\0\0", 16), std::string(16, '\0')},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> b(84);
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 37 + 11);
        std::copy(c.filters.begin(), c.filters.end(), b.begin() + 67);
        writeBytes(file("x.dat"), b);
        load(0, file("x.dat"));
        EXPECT_TRUE(rig.port().writesBack(kFieldUpperFilters));
        save(0, file("y.dat"));
        std::copy(c.saved.begin(), c.saved.end(), b.begin() + 67);
        EXPECT_EQ(bytesOf(file("y.dat")), b);
    }
}

TEST_F(ConfigFiles, FileOfAnyOtherSizeChangesNothingAndSaysSo) {
    fillPort(rig.port());
    const PortEntry before = rig.port();
    for (std::size_t size : {0u, 1u, 83u, 85u, 4096u}) {
        writeBytes(file("bad.dat"), std::vector<uint8_t>(size, 0x11));
        load(0, file("bad.dat"));
        EXPECT_EQ(rig.mainView.boxes, test::Boxes({kMsgWrongFileSize}, "ERROR", ui::Icon::Error))
            << size;
        rig.mainView.boxes.clear();
        EXPECT_EQ(rig.port().configData, before.configData);
        EXPECT_EQ(rig.port().minReadTimeout, before.minReadTimeout);
        EXPECT_EQ(rig.port().upperFilters, before.upperFilters);
        EXPECT_EQ(rig.port().knownFields, before.knownFields);
    }
}

TEST_F(ConfigFiles, UnopenableFilesSayCannotOpen) {
    load(0, file("missing.dat"));
    EXPECT_EQ(rig.mainView.boxes, test::Boxes({"Cannot open file"}, "ERROR", ui::Icon::Error));

    save(0, (dir / "no-such-folder" / "a.dat").string());
    ASSERT_EQ(rig.mainView.boxes.size(), 2u);
    EXPECT_EQ(rig.mainView.boxes[1].text, "Cannot open file");
    EXPECT_TRUE(dirNames().empty());
}

TEST_F(ConfigFiles, SavingOverAFileReplacesItWhole) {
    writeBytes(file("a.dat"), std::vector<uint8_t>(200, 0xEE));
    writeBytes(file("a.dat.tmp"), {1, 2, 3});  // someone else's file beside it stays
    fillPort(rig.port());
    save(0, file("a.dat"));
    const auto b = bytesOf(file("a.dat"));
    ASSERT_EQ(b.size(), 84u);
    EXPECT_EQ(b[64], 44);
    EXPECT_EQ(bytesOf(file("a.dat.tmp")), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(dirNames(), (std::vector<std::string>{"a.dat", "a.dat.tmp"}));
    EXPECT_TRUE(rig.mainView.boxes.empty());
}

#if defined(__linux__)
TEST_F(ConfigFiles, WriteErrorIsReportedAndTheOldFileSurvives) {
    const std::vector<uint8_t> old(20, 0xEE);
    writeBytes(file("a.dat"), old);
    fillPort(rig.port());
    // Let no file grow past 50 bytes while saving: the write fails half-way.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 50;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    save(0, file("a.dat"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    ASSERT_EQ(rig.mainView.boxes.size(), 1u);
    EXPECT_EQ(rig.mainView.boxes[0].text, kMsgCannotWriteFile);
    EXPECT_NE(rig.mainView.boxes[0].text, "Cannot open file");
    EXPECT_EQ(rig.mainView.boxes[0].caption, "ERROR");
    EXPECT_EQ(bytesOf(file("a.dat")), old);
    EXPECT_EQ(dirNames(), std::vector<std::string>{"a.dat"});  // no half-written file left
}
#endif

TEST(ReplaceFile, WorksWhereRenameRefusesAnExistingTarget) {
    const fs::path dir = fs::temp_directory_path() / ("varnok_replace_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const std::string from = (dir / "new").string(), to = (dir / "old").string();
    auto put = [](const std::string& p, const char* s) { std::ofstream(p) << s; };
    auto get = [](const std::string& p) {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    // Like a Windows runtime whose rename fails on an existing target.
    int calls = 0;
    auto refusing = [&](const std::string& a, const std::string& b, std::error_code& ec) {
        ++calls;
        if (fs::exists(b)) {
            ec = std::make_error_code(std::errc::file_exists);
            return;
        }
        fs::rename(a, b, ec);
    };
    put(from, "fresh");
    put(to, "stale");
    EXPECT_TRUE(ReplaceFileWith(from, to, refusing));
    EXPECT_EQ(get(to), "fresh");
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // The final move fails: the old file is put back.
    put(from, "fresh2");
    auto failingLast = [&](const std::string& a, const std::string& b, std::error_code& ec) {
        if (a == from && !fs::exists(b)) {
            ec = std::make_error_code(std::errc::io_error);
            return;
        }
        refusing(a, b, ec);
    };
    EXPECT_FALSE(ReplaceFileWith(from, to, failingLast));
    EXPECT_EQ(get(to), "fresh");
    EXPECT_EQ(get(from), "fresh2");
    fs::remove_all(dir);
}
