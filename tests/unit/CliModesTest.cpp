// varnokctl's `modes list` and `modes set` in virtual time against simulated
// adapters: what is listed, that `set` puts on the wire exactly what the
// engine's commit of the same change sends, how adapters and ports are named,
// what bad input and failing adapters end with, and how an interrupted run
// ends.
#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/CommandLine.h"
#include "cli/ModesCommands.h"
#include "tests/unit/JsonSchemaCheck.h"
#include "modetool/Engine.h"
#include "sim/VirtualExecutor.h"
#include "tests/unit/ModeToolRig.h"

using namespace varnok;
using namespace varnok::cli;
using namespace varnok::test;
using nlohmann::json;

namespace {

// A "Varnok Plus" adapter with 4 ports on COM20 (ports on COM21..24, user
// area number 7) and an Apex adapter (reduced model, 2 ports) on its first
// data port COM30. The simulated firmware starts port k in mode k, bits k-1
// (Apex: mode k, bits (k-1) mod 2).
struct Rig : ModeRig {
    sim::VirtualExecutor executor{clock};

    explicit Rig(sim::Misbehaviour plusMisbehaves = sim::Misbehaviour::None) {
        sim::SimDevice config;
        config.locId = 0x15;
        config.description = "Varnok Plus - Config";
        config.comPort = 20;
        config.userArea = sim::SimD2xx::SwapPairs("id 1,7");
        d2xx.devices.push_back(config);
        for (int k = 0; k < 4; ++k) {
            sim::SimDevice port;
            port.locId = mode::PortLocation(0x15, k);
            port.description = "Varnok Plus 4 " + std::string(1, static_cast<char>('A' + k));
            port.comPort = 21 + k;
            d2xx.devices.push_back(port);
        }
        sim::SimDevice apex;
        apex.locId = 0x31;
        apex.description = "USB Serial Converter";
        apex.comPort = 30;
        d2xx.devices.push_back(apex);

        sim::SimAdapterOptions plus;
        plus.misbehaviour = plusMisbehaves;
        ports.attach("COM20", plus);
        sim::SimAdapterOptions reduced;
        reduced.accessKind = 1;
        reduced.typeCode = 0x1001;
        reduced.portCount = 2;
        reduced.name = "Apex 2";
        reduced.rearmAfterLeave = true;
        ports.attach("COM30", reduced);
    }

    std::string bytes(const char* port) { return Received(*ports.adapter(port)); }
};

struct Ran {
    ExitStatus status;
    std::string out;
    std::string err;
};

Ran RunCtl(Rig& rig, const std::vector<std::string>& args,
           const std::atomic<bool>* stop = nullptr, mode::Executor* executor = nullptr) {
    const ParseResult parsed = ParseCommandLine(args, Platform::Windows);
    if (!parsed.command) return {parsed.status, parsed.out, parsed.err};
    std::ostringstream out, err;
    const ExitStatus status = RunModesCommand(*parsed.command, rig.tool,
                                              executor ? *executor : rig.executor, out, err, stop);
    return {status, out.str(), err.str()};
}

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// Raises `stop` as soon as the adapter on `port` has received `bytes` last,
// the way Ctrl-C comes in the middle of an exchange.
void StopWhenReceived(Rig& rig, const char* port, std::string bytes, std::atomic<bool>& stop) {
    rig.clock.onAdvance([&rig, port, bytes, &stop](uint64_t) {
        if (EndsWith(rig.bytes(port), bytes)) stop = true;
    });
}

// Raises `stop` just before the second batch of exchanges (a set's commit).
struct StopBeforeSecondRun : mode::Executor {
    StopBeforeSecondRun(mode::Executor& inner, std::atomic<bool>& stop) : inner(inner), stop(stop) {}
    void forEach(std::size_t count, std::size_t bound, const std::function<bool()>& asked,
                 const std::function<void(std::size_t)>& lane) override {
        if (++runs == 2) stop = true;
        inner.forEach(count, bound, asked, lane);
    }
    mode::Executor& inner;
    std::atomic<bool>& stop;
    int runs = 0;
};

// What a search sends each adapter (the commit's bytes follow it).
struct SearchBytes {
    std::size_t plus;
    std::size_t apex;
};
SearchBytes MeasureSearch() {
    Rig rig;
    EXPECT_EQ(RunCtl(rig, {"modes", "list"}).status, ExitStatus::Done);
    return {rig.bytes("COM20").size(), rig.bytes("COM30").size()};
}

}  // namespace

TEST(CliModes, ListsAdaptersAsTextAndJson) {
    Rig rig;
    const Ran text = RunCtl(rig, {"modes", "list"});
    EXPECT_EQ(text.status, ExitStatus::Done);
    EXPECT_EQ(text.err, "");
    EXPECT_EQ(text.out,
              "1  Varnok Plus 4 (7)  via COM20  (standard model)\n"
              "   port 1 (COM21): rs485-rts-4w, bias off, txterm off, rxterm off\n"
              "   port 2 (COM22): rs485-rts-2w, bias on, txterm off, rxterm off\n"
              "   port 3 (COM23): rs485-rts-2w-echo, bias off, txterm on, rxterm off\n"
              "   port 4 (COM24): rs485-auto-4w, bias on, txterm on, rxterm off\n"
              "2  Apex 2  via COM30  (reduced model)\n"
              "   port 1: rs485-4w, termination off\n"
              "   port 2: rs485-2w, termination on\n");
    // Listing sends no commit.
    EXPECT_EQ(rig.bytes("COM20").find("97\r"), std::string::npos);

    Rig rig2;
    const Ran js = RunCtl(rig2, {"--json", "modes", "list"});
    ASSERT_EQ(js.status, ExitStatus::Done);
    const json j = json::parse(js.out);
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["adapter"], "Varnok Plus 4 (7)");
    EXPECT_EQ(j[0]["via"], "COM20");
    EXPECT_EQ(j[0]["model"], "standard");
    EXPECT_EQ(j[0]["ports"][3], json::parse(R"({"number": 4, "port": "COM24", "mode": 4,
        "modeName": "rs485-auto-4w", "bias": true, "txterm": true, "rxterm": false})"));
    EXPECT_EQ(j[1]["model"], "reduced");
    EXPECT_EQ(j[1]["ports"][1], json::parse(R"({"number": 2, "port": null, "mode": 2,
        "modeName": "rs485-2w", "termination": true})"));
}

TEST(CliModes, ListOfNothingAndOfAnUnknownMode) {
    ModeRig empty;
    sim::VirtualExecutor exec(empty.clock);
    const ParseResult parsed = ParseCommandLine({"--json", "modes", "list"}, Platform::Windows);
    std::ostringstream out, err;
    EXPECT_EQ(RunModesCommand(*parsed.command, empty.tool, exec, out, err), ExitStatus::Done);
    EXPECT_EQ(json::parse(out.str()), json::array());

    AdapterInfo odd;
    odd.line = "Apex 2";
    odd.via = "COM30";
    odd.model = AdapterModel::Reduced;
    odd.ports = {{1, "", 6, 1}, {2, "", 4, 1}};
    EXPECT_EQ(AdaptersText({odd}),
              "1  Apex 2  via COM30  (reduced model)\n"
              "   port 1: mode 6 (unknown), termination on\n"
              "   port 2: rs232, termination on (bits not used in rs232)\n");
}

// `set` sends, per adapter, exactly what the engine's commit of the same
// change to the searched array sends; the adapter ends up storing it.
TEST(CliModes, SetSendsTheSameBytesAsTheEnginesCommit) {
    struct PortChange {
        int port;  // 1-based
        int mode;
        int bits;  // -1: as it was
    };
    struct Case {
        std::vector<std::string> args;
        std::size_t adapter;  // 0: Varnok Plus, 1: Apex
        std::vector<PortChange> expected;
        std::string out;
    };
    const Case cases[] = {
        {{"modes", "set", "Varnok Plus 4 (7)", "2", "rs422"}, 0, {{2, 7, -1}},
         "Varnok Plus 4 (7) port 2 mode rs485-rts-2w -> rs422\n"},
        // Bits not named stay as each port has them (port 4 keeps bias).
        {{"modes", "set", "com20", "1,4", "rs485-auto-2w", "txterm=off"}, 0,
         {{1, 5, 0}, {4, 5, 1}},
         "Varnok Plus 4 (7) port 1 mode rs485-rts-4w -> rs485-auto-2w\n"
         "Varnok Plus 4 (7) port 4 mode rs485-auto-4w -> rs485-auto-2w\n"
         "Varnok Plus 4 (7) port 4 txterm on -> off\n"},
        {{"modes", "set", "1", "2-3", "rs485-auto-2w-echo", "bias=on", "rxterm=on"}, 0,
         {{2, 6, 5}, {3, 6, 7}},
         "Varnok Plus 4 (7) port 2 mode rs485-rts-2w -> rs485-auto-2w-echo\n"
         "Varnok Plus 4 (7) port 2 rxterm off -> on\n"
         "Varnok Plus 4 (7) port 3 mode rs485-rts-2w-echo -> rs485-auto-2w-echo\n"
         "Varnok Plus 4 (7) port 3 bias off -> on\n"
         "Varnok Plus 4 (7) port 3 rxterm off -> on\n"},
        {{"modes", "set", "1", "all", "8"}, 0, {{1, 8, -1}, {2, 8, -1}, {3, 8, -1}, {4, 8, -1}},
         "Varnok Plus 4 (7) port 1 mode rs485-rts-4w -> rs232\n"
         "Varnok Plus 4 (7) port 2 mode rs485-rts-2w -> rs232\n"
         "Varnok Plus 4 (7) port 3 mode rs485-rts-2w-echo -> rs232\n"
         "Varnok Plus 4 (7) port 4 mode rs485-auto-4w -> rs232\n"},
        {{"modes", "set", "2", "1-2", "rs422-4w", "termination=on"}, 1, {{1, 3, 1}, {2, 3, 1}},
         "Apex 2 port 1 mode rs485-4w -> rs422-4w\n"
         "Apex 2 port 1 termination off -> on\n"
         "Apex 2 port 2 mode rs485-2w -> rs422-4w\n"},
    };
    const SearchBytes searched = MeasureSearch();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[2] + " " + c.args[3] + " " + c.args[4]);
        Rig cli;
        const Ran run = RunCtl(cli, c.args);
        EXPECT_EQ(run.status, ExitStatus::Done) << run.err;
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, "");

        // The reference: the engine commits the searched array after the
        // same change, made to the records by hand.
        Rig ref;
        mode::Engine engine(ref.tool, ref.executor);
        mode::SearchOutcome found = engine.search();
        ASSERT_EQ(found.result.adapters.size(), 2u);
        mode::AdapterRecord& record = found.result.adapters[c.adapter];
        record.changed = 1;
        for (const PortChange& p : c.expected) {
            record.ports[p.port - 1].modeCode = static_cast<uint8_t>(p.mode);
            if (p.bits >= 0) record.ports[p.port - 1].controlBits = static_cast<uint8_t>(p.bits);
        }
        (void)engine.commit(found.result.adapters);

        for (const char* port : {"COM20", "COM30"}) {
            SCOPED_TRACE(port);
            const std::size_t skip = std::string(port) == "COM20" ? searched.plus : searched.apex;
            const std::string sent = cli.bytes(port).substr(skip);
            EXPECT_EQ(sent, ref.bytes(port).substr(skip));
            const bool target = (c.adapter == 0) == (std::string(port) == "COM20");
            EXPECT_EQ(sent.find("\r97\r") != std::string::npos, target) << "only the named adapter";
            EXPECT_EQ(cli.ports.adapter(port)->storedTexts, ref.ports.adapter(port)->storedTexts);
        }
    }
}

TEST(CliModes, DryRunPrintsTheChangesAndSendsNothingBeyondTheSearch) {
    const SearchBytes searched = MeasureSearch();
    Rig rig;
    const Ran run =
        RunCtl(rig, {"--dry-run", "modes", "set", "1", "2", "rs485-auto-2w", "rxterm=on"});
    EXPECT_EQ(run.status, ExitStatus::Done);
    EXPECT_EQ(run.out,
              "Varnok Plus 4 (7) port 2 mode rs485-rts-2w -> rs485-auto-2w\n"
              "Varnok Plus 4 (7) port 2 rxterm off -> on\n");
    EXPECT_EQ(rig.bytes("COM20").size(), searched.plus);
    EXPECT_EQ(rig.bytes("COM30").size(), searched.apex);

    // A change to what the port already holds: nothing to send.
    Rig same;
    const Ran none = RunCtl(same, {"modes", "set", "1", "1", "1", "bias=off"});
    EXPECT_EQ(none.status, ExitStatus::Done);
    EXPECT_EQ(none.out, "Varnok Plus 4 (7): nothing to change\n");
    EXPECT_EQ(same.bytes("COM20").size(), searched.plus);
}

TEST(CliModes, BadInputEndsWithItsStatusAndSendsNoCommit) {
    struct Case {
        std::vector<std::string> args;
        ExitStatus status;
        std::string errHas;
    };
    const Case cases[] = {
        {{"modes", "set", "3", "1", "rs422"}, ExitStatus::NotFound, "adapter 3 not found"},
        {{"modes", "set", "COM99", "1", "rs422"}, ExitStatus::NotFound, "\"COM99\" not found"},
        {{"modes", "set", "Varnok Plus 4", "1", "rs422"}, ExitStatus::NotFound, "not found"},
        {{"modes", "set", "1", "5", "rs422"}, ExitStatus::NotFound, "there is no port 5"},
        {{"modes", "set", "1", "2", "rs232", "bias=on"}, ExitStatus::Refused, "RS232"},
        {{"modes", "set", "2", "1", "rs232", "termination=off"}, ExitStatus::Refused, "RS232"},
        {{"modes", "set", "2", "1", "rs485-auto-2w"}, ExitStatus::Refused, "has no mode"},
        {{"modes", "set", "2", "1", "6"}, ExitStatus::Refused, "has no mode 6"},
        {{"modes", "set", "1", "1", "rs422", "termination=on"}, ExitStatus::Refused,
         "has no bit termination"},
        {{"modes", "set", "1", "1", "rs9"}, ExitStatus::Usage, "unknown mode"},
        {{"modes", "set", "1", "0", "rs422"}, ExitStatus::Usage, "ports \"0\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[2] + " " + c.args[3] + " " + c.args[4]);
        Rig rig;
        const Ran run = RunCtl(rig, c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.errHas), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        for (const char* port : {"COM20", "COM30"})
            EXPECT_EQ(rig.bytes(port).find("97\r"), std::string::npos) << port;
    }
}

TEST(CliModes, FailuresEndWithStatusOneAndNameTheAdapter) {
    {  // No ftd2xx.dll: nothing is tried.
        Rig rig;
        rig.tool.d2xxAvailable = false;
        rig.tool.d2xxLoadError = "looked for system32\\ftd2xx.dll only";
        const Ran run = RunCtl(rig, {"modes", "list"});
        EXPECT_EQ(run.status, ExitStatus::Failed);
        EXPECT_EQ(run.err,
                  "varnokctl: The FTDI D2XX library (ftd2xx.dll) could not be loaded "
                  "(looked for system32\\ftd2xx.dll only).\n");
        EXPECT_EQ(rig.ports.opens(), 0);
    }
    {  // The device list cannot be read.
        Rig rig;
        rig.d2xx.createListFails = true;
        const Ran run = RunCtl(rig, {"modes", "set", "1", "1", "rs422"});
        EXPECT_EQ(run.status, ExitStatus::Failed);
        EXPECT_NE(run.err.find("FT_CreateDeviceInfoList failed"), std::string::npos);
    }
    {  // Unplugged during the commit: the system's text, adapter and port.
        Rig rig(sim::Misbehaviour::UnplugInCommit);
        const Ran run = RunCtl(rig, {"modes", "set", "1", "1", "rs422"});
        EXPECT_EQ(run.status, ExitStatus::Failed);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err,
                  "varnokctl: adapter \"Varnok Plus 4 (7)\": Error(22) / \\\\.\\COM20: The device "
                  "does not recognize the command.\n");
    }
    {  // The adapter declines the write request.
        Rig rig(sim::Misbehaviour::NoOk);
        const Ran run = RunCtl(rig, {"modes", "set", "1", "1", "rs422"});
        EXPECT_EQ(run.status, ExitStatus::Failed);
        EXPECT_NE(run.err.find("did not accept the new settings"), std::string::npos) << run.err;
    }
    {  // An adapter that cannot be asked: the list is incomplete, and a set
       // that does not find its adapter fails rather than "not found".
        Rig rig;
        rig.ports.adapter("COM30")->unplugged = true;
        const Ran list = RunCtl(rig, {"modes", "list"});
        EXPECT_EQ(list.status, ExitStatus::Failed);
        EXPECT_EQ(list.err, "varnokctl: while searching: Error(2) / COM30: The system cannot "
                            "find the file specified.\n");
        EXPECT_EQ(list.out.rfind("1  Varnok Plus 4 (7)", 0), 0u) << list.out;
        const Ran set = RunCtl(rig, {"modes", "set", "2", "1", "rs422-4w"});
        EXPECT_EQ(set.status, ExitStatus::Failed);
        EXPECT_NE(set.err.find("adapter 2 not found"), std::string::npos) << set.err;
    }
}

TEST(CliModes, ListWithASilentConfigurationPortIsIncompleteAndNamesIt) {
    {  // The configuration interface keeps silent: its adapter is missing.
        Rig rig(sim::Misbehaviour::Silent);
        const Ran list = RunCtl(rig, {"modes", "list"});
        EXPECT_EQ(list.status, ExitStatus::Failed);
        EXPECT_EQ(list.err, "varnokctl: COM20: the adapter's configuration port did not answer; "
                            "the list is incomplete\n");
        EXPECT_EQ(list.out.rfind("1  Apex 2  via COM30", 0), 0u) << list.out;

        // A set that does not find its adapter fails with that reason.
        const Ran set = RunCtl(rig, {"modes", "set", "COM20", "1", "rs422"});
        EXPECT_EQ(set.status, ExitStatus::Failed);
        EXPECT_EQ(set.err.rfind("varnokctl: COM20: the adapter's configuration port did not "
                                "answer\nvarnokctl: adapter \"COM20\" not found",
                                0),
                  0u)
            << set.err;
    }
    {  // Held by another program.
        Rig rig;
        rig.ports.adapter("COM20")->heldByOtherProgram = true;
        const Ran list = RunCtl(rig, {"--json", "modes", "list"});
        EXPECT_EQ(list.status, ExitStatus::Failed);
        EXPECT_EQ(list.err, "varnokctl: COM20: the adapter's configuration port is in use by "
                            "another program; the list is incomplete\n");
        EXPECT_EQ(json::parse(list.out).size(), 1u);
    }
    {  // A first data port that does not speak is no missing adapter: an
       // Apex not in configuration mode, or another maker's device.
        Rig rig;
        sim::SimAdapterOptions idle = rig.ports.adapter("COM30")->options();
        idle.configButtonHeld = false;
        rig.ports.attach("COM30", idle);
        const Ran list = RunCtl(rig, {"modes", "list"});
        EXPECT_EQ(list.status, ExitStatus::Done);
        EXPECT_EQ(list.err, "");
    }
}

// Ctrl-C during a set: the exchange under way ends as usual (leaving
// configuration mode), none begins after it, and the message says whether
// the adapter stored its new settings.
TEST(CliModes, AnInterruptedSetFinishesTheExchangeUnderWay) {
    const std::vector<std::string> args = {"modes", "set", "1", "2", "rs422"};
    const std::string changed = "Varnok Plus 4 (7) port 2 mode rs485-rts-2w -> rs422\n";
    const std::string notSent = "varnokctl: interrupted before the new settings were sent: ";
    {  // Right after the adapter was asked to take new settings.
        Rig rig;
        std::atomic<bool> stop{false};
        StopWhenReceived(rig, "COM20", "97\r", stop);
        const Ran run = RunCtl(rig, args, &stop);
        const std::string bytes = rig.bytes("COM20");
        ASSERT_NE(bytes.find("\r97\r"), std::string::npos);
        EXPECT_TRUE(EndsWith(bytes, "\r99\r98\r")) << "left configuration mode";
        EXPECT_EQ(rig.ports.adapter("COM20")->storedTexts.size(), 1u);
        EXPECT_EQ(rig.ports.adapter("COM20")->events.back(), "leave");
        EXPECT_EQ(run.status, ExitStatus::Interrupted);
        EXPECT_EQ(run.out, changed);
        EXPECT_EQ(run.err, "varnokctl: interrupted, but adapter \"Varnok Plus 4 (7)\" via COM20 "
                           "had already stored the new settings\n");
    }
    {  // While the search read the settings: it ends, the commit never begins.
        Rig rig;
        std::atomic<bool> stop{false};
        StopWhenReceived(rig, "COM20", "96\r", stop);
        const Ran run = RunCtl(rig, args, &stop);
        EXPECT_TRUE(EndsWith(rig.bytes("COM20"), "\r96\r98\r"));
        EXPECT_EQ(rig.bytes("COM20").find("97\r"), std::string::npos);
        EXPECT_EQ(run.status, ExitStatus::Interrupted);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, notSent + "no adapter was changed\n");
    }
    {  // Between the search and the commit.
        Rig rig;
        std::atomic<bool> stop{false};
        StopBeforeSecondRun executor(rig.executor, stop);
        const Ran run = RunCtl(rig, args, &stop, &executor);
        EXPECT_EQ(executor.runs, 2);
        EXPECT_TRUE(EndsWith(rig.bytes("COM20"), "\r96\r98\r"));
        EXPECT_EQ(rig.bytes("COM20").find("97\r"), std::string::npos);
        EXPECT_EQ(run.status, ExitStatus::Interrupted);
        EXPECT_EQ(run.err, notSent + "adapter \"Varnok Plus 4 (7)\" via COM20 is unchanged\n");
    }
    {  // Before anything: no port is opened.
        Rig rig;
        std::atomic<bool> stop{true};
        const Ran run = RunCtl(rig, args, &stop);
        EXPECT_EQ(rig.ports.opens(), 0);
        EXPECT_EQ(run.status, ExitStatus::Interrupted);
        EXPECT_EQ(run.err, notSent + "no adapter was changed\n");
    }
    {  // The adapter declines while the stop comes: both are told.
        Rig rig(sim::Misbehaviour::NoOk);
        std::atomic<bool> stop{false};
        StopWhenReceived(rig, "COM20", "97\r", stop);
        const Ran run = RunCtl(rig, args, &stop);
        EXPECT_TRUE(EndsWith(rig.bytes("COM20"), "\r97\r98\r"));
        EXPECT_EQ(run.status, ExitStatus::Interrupted);
        EXPECT_NE(run.err.find("did not accept the new settings"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("varnokctl: interrupted while adapter"), std::string::npos);
    }
}

TEST(CliModes, AnInterruptedListSaysWhichDevicesWereNotAsked) {
    {  // Before the exchanges: none is asked.
        Rig rig;
        std::atomic<bool> stop{true};
        const Ran run = RunCtl(rig, {"modes", "list"}, &stop);
        EXPECT_EQ(rig.ports.opens(), 0);
        EXPECT_EQ(run.status, ExitStatus::Interrupted);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "varnokctl: interrupted: COM20, COM30 were not asked; the list is "
                           "incomplete\n");
    }
    {  // During them: each started one ends, and all had started.
        Rig rig;
        std::atomic<bool> stop{false};
        StopWhenReceived(rig, "COM20", "96\r", stop);
        const Ran run = RunCtl(rig, {"modes", "list"}, &stop);
        EXPECT_TRUE(EndsWith(rig.bytes("COM20"), "\r96\r98\r"));
        EXPECT_EQ(run.status, ExitStatus::Interrupted);
        EXPECT_EQ(run.out.rfind("1  Varnok Plus 4 (7)", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "varnokctl: interrupted after every device had been asked\n");
    }
}

// modes set with --json: one result object naming each port by its COM name;
// the dry run says a change would be made, the run makes it, and the same
// set again changes nothing.
TEST(CliModes, JsonResultSaysWhetherAnythingChanged) {
    Rig rig;
    const std::vector<std::string> set = {"--json", "modes", "set", "1", "2", "rs232"};
    std::vector<std::string> dry = set;
    dry.insert(dry.begin(), "--dry-run");
    const json expected = json::parse(R"({"changed": true,
        "changes": [{"port": "COM22", "setting": "mode", "from": "rs485-rts-2w", "to": "rs232"}],
        "skipped": [], "backup": null, "reloaded": false, "warnings": []})");
    const Ran wouldDo = RunCtl(rig, dry);
    ASSERT_EQ(wouldDo.status, ExitStatus::Done) << wouldDo.err;
    EXPECT_EQ(json::parse(wouldDo.out), expected);
    const Ran did = RunCtl(rig, set);
    ASSERT_EQ(did.status, ExitStatus::Done) << did.err;
    EXPECT_EQ(json::parse(did.out), expected);
    const Ran again = RunCtl(rig, set);
    ASSERT_EQ(again.status, ExitStatus::Done) << again.err;
    const json same = json::parse(again.out);
    EXPECT_EQ(same["changed"], false);
    EXPECT_TRUE(same["changes"].empty());
    // A commit the adapter refuses: nothing changed, the reason a warning.
    Rig refusing(sim::Misbehaviour::NoOk);
    const Ran refused = RunCtl(refusing, set);
    EXPECT_EQ(refused.status, ExitStatus::Failed);
    EXPECT_EQ(json::parse(refused.out)["changed"], false);
    const Ran missing = RunCtl(rig, {"--json", "modes", "set", "9", "1", "rs232"});
    EXPECT_EQ(missing.status, ExitStatus::NotFound);
    EXPECT_EQ(json::parse(missing.out)["changed"], false);
    EXPECT_EQ(json::parse(missing.out)["warnings"].size(), 1u) << missing.out;
    EXPECT_EQ(test::SchemaProblems({{"adapterList", RunCtl(rig, {"--json", "modes", "list"}).out},
                                    {"writeResult", wouldDo.out},
                                    {"writeResult", did.out},
                                    {"writeResult", again.out},
                                    {"writeResult", refused.out},
                                    {"writeResult", missing.out}}),
              "");
}
