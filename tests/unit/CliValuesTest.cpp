#include <gtest/gtest.h>

#include "cli/ModeValues.h"
#include "cli/Values.h"

using namespace varnok::cli;

namespace {

// Runs `f`, returning the status it threw (Done when it did not throw).
template <typename F>
ExitStatus StatusOf(F&& f) {
    try {
        f();
    } catch (const CliError& e) {
        return e.status();
    }
    return ExitStatus::Done;
}

template <typename F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const CliError& e) {
        return e.what();
    }
    return "";
}

TEST(CliValues, PortNames) {
    struct Case {
        Platform platform;
        const char* text;
        ExitStatus status;
        PortRef::Kind kind;
        const char* name;
    };
    const auto W = Platform::Windows, L = Platform::Linux;
    const auto Com = PortRef::Kind::ComName, Ser = PortRef::Kind::Serial, Tty = PortRef::Kind::Tty;
    const auto Ok = ExitStatus::Done, Usage = ExitStatus::Usage;
    const Case cases[] = {
        {W, "COM5", Ok, Com, "COM5"},
        {W, "com12", Ok, Com, "COM12"},
        {W, "COM007", Ok, Com, "COM7"},
        {W, "serial:A1B2C3D4A", Ok, Ser, "A1B2C3D4A"},
        {W, "COM", Usage, Com, ""},
        {W, "COM0", Usage, Com, ""},
        {W, "COM5x", Usage, Com, ""},
        {W, "ttyUSB0", Usage, Com, ""},
        {W, "serial:", Usage, Com, ""},
        {W, "serial:A B", Usage, Com, ""},
        {L, "ttyUSB0", Ok, Tty, "ttyUSB0"},
        {L, "/dev/ttyUSB3", Ok, Tty, "ttyUSB3"},
        {L, "serial:FT1ABCDEb", Ok, Ser, "FT1ABCDEB"},
        {L, "serial:FT1ABCDEE", Usage, Com, ""},
        {L, "serial:A", Usage, Com, ""},
        {L, "COM5", Usage, Com, ""},
        {L, "/dev/../etc/passwd", Usage, Com, ""},
        {L, "/dev/tty/USB0", Usage, Com, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        PortRef ref;
        EXPECT_EQ(StatusOf([&] { ref = ParsePortRef(c.text, c.platform); }), c.status);
        if (c.status != Ok) continue;
        EXPECT_EQ(ref.kind, c.kind);
        EXPECT_EQ(ref.name, c.name);
        EXPECT_EQ(ref.text, c.text);
    }
    PortInfo port;
    port.port = "COM12";
    port.serial = "FT9A";
    EXPECT_TRUE(PortRefMatches(ParsePortRef("com12", Platform::Windows), port));
    EXPECT_TRUE(PortRefMatches(ParsePortRef("serial:FT9A", Platform::Windows), port));
    EXPECT_FALSE(PortRefMatches(ParsePortRef("serial:ft9a", Platform::Windows), port));
}

TEST(CliValues, SetAssignmentsFollowThePanelRanges) {
    struct Case {
        std::vector<std::string> items;
        ExitStatus status;
    };
    const auto Ok = ExitStatus::Done, Usage = ExitStatus::Usage, Refused = ExitStatus::Refused;
    const Case cases[] = {
        {{"min-read-timeout=0", "min-write-timeout=10000", "polling-period=255"}, Ok},
        {{"latency-timer=1"}, Ok},
        {{"latency-timer=255"}, Ok},
        {{"latency-timer=0"}, Refused},
        {{"latency-timer=256"}, Refused},
        {{"min-read-timeout=10001"}, Refused},
        {{"polling-period=99999999999999999999999"}, Refused},
        {{"latency-timer=18446744073709551617"}, Refused},  // 2^64 + 1 is not 1
        {{"latency-timer=-1"}, Usage},
        {{"latency-timer=1.5"}, Usage},
        {{"latency-timer="}, Usage},
        {{"latency-timer"}, Usage},
        {{"latency=4"}, Usage},
        {{"serial-printer=yes"}, Usage},
        {{"preset=fast"}, Usage},
        {{"latency-timer=4", "latency-timer=5"}, Usage},
        {{}, Usage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.items.empty() ? "(none)" : c.items[0]);
        EXPECT_EQ(StatusOf([&] { ParseSetAssignments(c.items, "COM5", Platform::Windows); }),
                  c.status);
    }
    EXPECT_EQ(MessageOf([] { ParseSetAssignments({"latency-timer=300"}, "COM5", Platform::Windows); }),
              "COM5: latency-timer=300 is out of range (1 to 255)");

    const auto all = ParseSetAssignments(
        {"serial-enumerator=off", "preset=brivane", "latency-timer=1", "set-rts-on-close=on"},
        "--all", Platform::Windows);
    EXPECT_EQ(all.preset, Preset::Brivane);
    EXPECT_EQ(all.values.latencyTimer, 1u);
    EXPECT_EQ(all.values.serialEnumerator, false);
    EXPECT_EQ(all.values.setRtsOnClose, true);
    EXPECT_FALSE(all.values.minReadTimeout);
    EXPECT_FALSE(all.values.serialPrinter);

    // Linux: the latency timer only.
    EXPECT_EQ(ParseSetAssignments({"latency-timer=1"}, "ttyUSB0", Platform::Linux)
                  .values.latencyTimer,
              1u);
    EXPECT_EQ(StatusOf([] { ParseSetAssignments({"preset=varnok"}, "ttyUSB0", Platform::Linux); }),
              ExitStatus::Usage);
    // A name near either spelling of the latency timer is pointed at the one
    // Linux takes: "latecyTmr" is near "latencyTimer" only.
    for (const std::string typo : {"latency-timr", "latecyTmr"})
        EXPECT_EQ(MessageOf([&] { ParseSetAssignments({typo + "=1"}, "ttyUSB0", Platform::Linux); }),
                  "ttyUSB0: unknown setting " + typo + " (did you mean latency-timer?)");
}

TEST(CliValues, BufferedAliasAndRename) {
    const auto on = ParseBuffered("on", {"size=2048", "threshold=10", "latency=4"}, "COM5");
    EXPECT_TRUE(on.enable);
    EXPECT_EQ(on.size, 2048u);
    EXPECT_EQ(on.threshold, 10u);
    EXPECT_EQ(on.latency, 4u);
    EXPECT_FALSE(ParseBuffered("off", {}, "COM5").enable);
    struct Case {
        const char* state;
        std::vector<std::string> params;
        ExitStatus status;
    };
    const Case buffered[] = {
        {"on", {"size=4096", "threshold=20", "latency=16"}, ExitStatus::Done},
        {"on", {"size=40960"}, ExitStatus::Refused},  // the whole number counts
        {"on", {"size=0"}, ExitStatus::Refused},
        {"on", {"threshold=21"}, ExitStatus::Refused},
        {"on", {"latency=17"}, ExitStatus::Refused},
        {"on", {"size=1", "size=2"}, ExitStatus::Usage},
        {"on", {"depth=2"}, ExitStatus::Usage},
        {"off", {"size=2048"}, ExitStatus::Usage},
        {"maybe", {}, ExitStatus::Usage},
    };
    for (const auto& c : buffered) {
        SCOPED_TRACE(c.params.empty() ? c.state : c.params[0]);
        EXPECT_EQ(StatusOf([&] { ParseBuffered(c.state, c.params, "COM5"); }), c.status);
    }

    const auto rows = ParseAliasAssignments({"921600=2000000", "300=9600", "14400=3000000"}, "COM5");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].row, 12);
    EXPECT_EQ(rows[0].target, 2000000u);
    EXPECT_EQ(rows[1].row, 0);
    EXPECT_EQ(rows[2].row, 13);
    struct AliasCase {
        const char* item;
        ExitStatus status;
    };
    const AliasCase aliases[] = {
        {"115200=184", ExitStatus::Done},      {"115200=1500000", ExitStatus::Done},
        {"115200=183", ExitStatus::Refused},   {"115200=1500001", ExitStatus::Refused},
        {"115200=2500000", ExitStatus::Refused}, {"115200=0", ExitStatus::Refused},
        {"500=9600", ExitStatus::Usage},       {"115200=fast", ExitStatus::Usage},
        {"115200", ExitStatus::Usage},
    };
    for (const auto& c : aliases) {
        SCOPED_TRACE(c.item);
        EXPECT_EQ(StatusOf([&] { ParseAliasAssignments({c.item}, "COM5"); }), c.status);
    }
    EXPECT_EQ(StatusOf([] { ParseAliasAssignments({"300=9600", "300=600"}, "COM5"); }),
              ExitStatus::Usage);

    EXPECT_EQ(ParseComNumber("COM7", "COM5"), 7);
    EXPECT_EQ(ParseComNumber("com256", "COM5"), 256);
    EXPECT_EQ(StatusOf([] { ParseComNumber("COM257", "COM5"); }), ExitStatus::Refused);
    EXPECT_EQ(StatusOf([] { ParseComNumber("COM0", "COM5"); }), ExitStatus::Refused);
    EXPECT_EQ(StatusOf([] { ParseComNumber("7", "COM5"); }), ExitStatus::Usage);
}

AdapterInfo Adapter(const char* line, const char* via, AdapterModel model, int ports) {
    AdapterInfo a;
    a.line = line;
    a.via = via;
    a.model = model;
    for (int i = 1; i <= ports; ++i) a.ports.push_back({i, "COM" + std::to_string(20 + i), 1, 0});
    return a;
}

TEST(CliValues, AdaptersAndPorts) {
    const std::vector<AdapterInfo> adapters = {
        Adapter("Varnok Plus 4 (7)", "COM9", AdapterModel::Standard, 8),
        Adapter("Varnok Plus 4 (7)", "COM10", AdapterModel::Standard, 8),
        Adapter("Apex 2", "COM11", AdapterModel::Reduced, 2),
    };
    EXPECT_EQ(ResolveAdapter("2", adapters), 1u);
    EXPECT_EQ(ResolveAdapter("com11", adapters), 2u);
    EXPECT_EQ(ResolveAdapter("Apex 2", adapters), 2u);
    EXPECT_EQ(StatusOf([&] { ResolveAdapter("Varnok Plus 4 (7)", adapters); }), ExitStatus::Usage);
    EXPECT_EQ(StatusOf([&] { ResolveAdapter("4", adapters); }), ExitStatus::NotFound);
    EXPECT_EQ(StatusOf([&] { ResolveAdapter("0", adapters); }), ExitStatus::NotFound);
    EXPECT_EQ(StatusOf([&] { ResolveAdapter("COM3", adapters); }), ExitStatus::NotFound);

    struct Case {
        const char* text;
        ExitStatus status;
        std::vector<int> ports;  // on an 8-port adapter
    };
    const Case cases[] = {
        {"1", ExitStatus::Done, {1}},
        {"3,1", ExitStatus::Done, {1, 3}},
        {"2-4", ExitStatus::Done, {2, 3, 4}},
        {"1,3-4,3", ExitStatus::Done, {1, 3, 4}},
        {"all", ExitStatus::Done, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"9", ExitStatus::NotFound, {}},
        {"4-2", ExitStatus::Usage, {}},
        {"0", ExitStatus::Usage, {}},
        {"1,,2", ExitStatus::Usage, {}},
        {"1-", ExitStatus::Usage, {}},
        {"", ExitStatus::Usage, {}},
        {"ALL", ExitStatus::Usage, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<int> got;
        EXPECT_EQ(StatusOf([&] { got = ResolvePortSelection(ParsePortSelection(c.text), adapters[0]); }),
                  c.status);
        EXPECT_EQ(got, c.ports);
    }
}

TEST(CliValues, ModesFollowTheAdapterModel) {
    struct Case {
        AdapterModel model;
        const char* mode;
        std::vector<std::string> bits;
        ExitStatus status;
        int code;
        uint8_t bitsAfter;  // port starts with bits 0b110
    };
    const auto S = AdapterModel::Standard, R = AdapterModel::Reduced;
    const auto Ok = ExitStatus::Done, Refused = ExitStatus::Refused, Usage = ExitStatus::Usage;
    const Case cases[] = {
        {S, "rs485-rts-4w", {}, Ok, 1, 6},
        {S, "rs485-auto-2w-echo", {"bias=on", "rxterm=off"}, Ok, 6, 3},
        {S, "7", {"txterm=off"}, Ok, 7, 4},
        {S, "rs232", {}, Ok, 8, 6},                   // bits kept, not shown
        {S, "8", {"bias=on"}, Refused, 0, 0},         // RS232: no bits
        {S, "rs485-4w", {}, Refused, 0, 0},           // a reduced-model name
        {S, "rs485-rts-4w", {"termination=on"}, Refused, 0, 0},
        {R, "rs485-2w", {"termination=on"}, Ok, 2, 7},
        {R, "4", {}, Ok, 4, 6},
        {R, "rs232", {"termination=off"}, Refused, 0, 0},
        {R, "5", {}, Refused, 0, 0},
        {R, "rs485-2w", {"bias=on"}, Refused, 0, 0},
        {S, "9", {}, Refused, 0, 0},
        {S, "rs485", {}, Usage, 0, 0},
        {S, "1", {"bias=1"}, Usage, 0, 0},
        {S, "1", {"bias=on", "bias=off"}, Usage, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        AdapterInfo a = Adapter("A", "COM9", c.model, 4);
        for (auto& p : a.ports) p.controlBits = 6;
        const ExitStatus status = StatusOf([&] {
            ApplyModeSet(a, {2, 4}, ParseModeSpec(c.mode), ParseBitAssignments(c.bits));
        });
        EXPECT_EQ(status, c.status);
        // Port 1 is never touched; nothing changes on a refusal.
        EXPECT_EQ(a.ports[0].modeCode, 1);
        EXPECT_EQ(a.ports[0].controlBits, 6);
        EXPECT_EQ(a.ports[1].modeCode, status == Ok ? c.code : 1);
        EXPECT_EQ(a.ports[3].controlBits, status == Ok ? c.bitsAfter : 6);
    }
    EXPECT_STREQ(ModeName(AdapterModel::Reduced, 3), "rs422-4w");
    EXPECT_EQ(ModeName(AdapterModel::Reduced, 5), nullptr);
    EXPECT_EQ(ModeName(AdapterModel::Standard, 0), nullptr);
}

}  // namespace
