#include <gtest/gtest.h>

#include "cli/CommandLine.h"

using namespace varnok::cli;

namespace {

ParseResult Parse(std::vector<std::string> args, Platform platform = Platform::Windows) {
    return ParseCommandLine(args, platform);
}

TEST(CliCommandLine, StatusOfEveryForm) {
    struct Case {
        Platform platform;
        std::vector<std::string> args;
        ExitStatus status;
    };
    const auto W = Platform::Windows, L = Platform::Linux;
    const auto Ok = ExitStatus::Done, Usage = ExitStatus::Usage, Refused = ExitStatus::Refused;
    const Case cases[] = {
        {W, {"list"}, Ok},
        {W, {"list", "--include-disconnected", "--json"}, Ok},
        {W, {"show", "COM5"}, Ok},
        {W, {"show"}, Usage},
        {W, {"set", "COM5", "latency-timer=1"}, Ok},
        {W, {"set", "--all", "--include-disconnected", "latency-timer=1"}, Ok},
        {W, {"set", "COM5", "--include-disconnected", "latency-timer=1"}, Usage},
        {W, {"set", "latency-timer=1"}, Usage},  // no PORT, no --all
        {W, {"set", "COM5", "--all", "latency-timer=1"}, Usage},
        {W, {"set", "COM5"}, Usage},
        {W, {"set", "COM5", "latency-timer=300"}, Refused},
        {W, {"set", "COM5", "latency-timer=1", "--persist"}, Usage},
        {W, {"buffered", "COM5", "on", "size=2048"}, Ok},
        {W, {"buffered", "COM5"}, Usage},
        {W, {"alias", "COM5", "921600=2000000"}, Ok},
        {W, {"alias", "COM5", "--table", "standard"}, Ok},
        {W, {"alias", "COM5"}, Usage},
        {W, {"alias", "COM5", "--table", "fast"}, Usage},
        {W, {"rename", "COM5", "COM7"}, Ok},
        {W, {"rename", "COM5", "COM300"}, Refused},
        {W, {"ignore-serial"}, Ok},
        {W, {"ignore-serial", "on"}, Ok},
        {W, {"ignore-serial", "yes"}, Usage},
        {W, {"save", "COM5", "a.dat"}, Ok},
        {W, {"load", "COM5"}, Usage},
        {W, {"export", "site.json", "--include-disconnected"}, Ok},
        {W, {"import", "site.json"}, Ok},
        {W, {"reload"}, Ok},
        {W, {"close-ports"}, Ok},
        {W, {"--no-reload", "--dry-run", "--verbose", "reload"}, Ok},
        {W, {"--json", "watch", "site.json"}, Ok},
        {W, {"watch"}, Usage},
        {W, {"service", "install", "site.json"}, Ok},
        {W, {"service", "install"}, Usage},
        {W, {"service", "uninstall"}, Ok},
        {W, {"service"}, Usage},
        {L, {"watch", "site.json"}, Usage},
        {L, {"service", "status"}, Usage},
        {W, {"modes", "list"}, Ok},
        {W, {"modes"}, Usage},
        {W, {"modes", "set", "1", "2-4", "rs485-auto-2w", "bias=on", "txterm=off"}, Ok},
        {W, {"modes", "set", "1", "2-4"}, Usage},
        {W, {"modes", "set", "1", "2-4", "9"}, Refused},
        {W, {}, Usage},
        {W, {"frobnicate"}, Usage},
        {W, {"list", "--colour"}, Usage},
        {L, {"list"}, Ok},
        {L, {"set", "/dev/ttyUSB0", "latency-timer=1", "--persist"}, Ok},
        {L, {"set", "--all", "latency-timer=2"}, Ok},
        {L, {"set", "ttyUSB0", "polling-period=2"}, Usage},
        {L, {"set", "COM5", "latency-timer=1"}, Usage},
        {L, {"modes", "set", "ttyUSB4", "all", "rs232"}, Ok},
        {L, {"show", "ttyUSB0"}, Usage},
        {L, {"export", "x.json"}, Usage},
        {L, {"import", "site.json", "--persist"}, Ok},
        {L, {"import"}, Usage},
        {W, {"import", "site.json", "--persist"}, Usage},
        {L, {"--no-reload", "list"}, Usage},
        // One command a run: a command's name later on is its argument.
        {L, {"set", "ttyUSB0", "list"}, Usage},
        {W, {"list", "reload"}, Usage},
        {W, {"modes", "list", "set"}, Usage},
        {W, {"service", "status", "uninstall"}, Usage},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const auto& a : c.args) trace += a + " ";
        SCOPED_TRACE(trace);
        const auto r = Parse(c.args, c.platform);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.command.has_value(), c.status == Ok);
        // Errors go to standard error, never standard output.
        if (c.status != Ok) {
            EXPECT_FALSE(r.err.empty());
            EXPECT_TRUE(r.out.empty());
        }
    }
}

TEST(CliCommandLine, HelpForEveryCommand) {
    const std::vector<std::vector<std::string>> windows = {
        {}, {"list"}, {"show"}, {"set"}, {"buffered"}, {"alias"}, {"rename"}, {"ignore-serial"},
        {"save"}, {"load"}, {"export"}, {"import"}, {"reload"}, {"close-ports"}, {"modes"},
        {"modes", "list"}, {"modes", "set"}, {"watch"}, {"service", "install"}};
    for (auto args : windows) {
        const std::string name = args.empty() ? "varnokctl" : args.back();
        SCOPED_TRACE(name);
        args.push_back("--help");
        const auto r = Parse(args);
        EXPECT_EQ(r.status, ExitStatus::Done);
        EXPECT_FALSE(r.command);
        EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
        EXPECT_TRUE(r.err.empty());
    }
    const auto root = Parse({"--help"}, Platform::Linux);
    EXPECT_NE(root.out.find("modes"), std::string::npos);
    EXPECT_EQ(root.out.find("ignore-serial"), std::string::npos);
    EXPECT_NE(Parse({"set", "--help"}, Platform::Linux).out.find("--persist"), std::string::npos);
}

TEST(CliCommandLine, FillsTheCommand) {
    // Global options before and after the command.
    auto r = Parse({"--json", "set", "--all", "latency-timer=1", "serial-enumerator=off",
                    "--dry-run"});
    ASSERT_TRUE(r.command);
    EXPECT_TRUE(r.command->options.json);
    EXPECT_TRUE(r.command->options.dryRun);
    EXPECT_FALSE(r.command->options.noReload);
    const auto& set = std::get<SetCommand>(r.command->action);
    EXPECT_TRUE(set.target.all);
    EXPECT_FALSE(set.target.includeDisconnected);
    EXPECT_EQ(set.change.values.latencyTimer, 1u);
    EXPECT_EQ(set.change.values.serialEnumerator, false);

    r = Parse({"alias", "serial:FT1A", "921600=2000000", "--table", "brivane"});
    ASSERT_TRUE(r.command);
    const auto& alias = std::get<AliasCommand>(r.command->action);
    EXPECT_EQ(alias.port.kind, PortRef::Kind::Serial);
    EXPECT_EQ(alias.table, AliasTable::Brivane);
    ASSERT_EQ(alias.rows.size(), 1u);
    EXPECT_EQ(alias.rows[0].row, 12);

    r = Parse({"modes", "set", "Varnok Plus 4 (7)", "1,3", "rs422", "rxterm=on", "--json"});
    ASSERT_TRUE(r.command);
    EXPECT_TRUE(r.command->options.json);
    const auto& modes = std::get<ModesSetCommand>(r.command->action);
    EXPECT_EQ(modes.adapter, "Varnok Plus 4 (7)");
    EXPECT_EQ(modes.ports.ports, (std::vector<int>{1, 3}));
    EXPECT_EQ(modes.mode.name, "rs422");
    ASSERT_EQ(modes.bits.size(), 1u);
    EXPECT_TRUE(modes.bits[0].on);

    r = Parse({"service", "install", "C:\\site.json"});
    ASSERT_TRUE(r.command);
    EXPECT_EQ(std::get<ServiceCommand>(r.command->action).verb, ServiceCommand::Verb::Install);
    EXPECT_EQ(std::get<ServiceCommand>(r.command->action).profile, "C:\\site.json");
    r = Parse({"watch", "site.json"});
    ASSERT_TRUE(r.command);
    EXPECT_EQ(std::get<WatchCommand>(r.command->action).profile, "site.json");

    r = Parse({"set", "ttyUSB1", "latency-timer=4", "--persist"}, Platform::Linux);
    ASSERT_TRUE(r.command);
    EXPECT_TRUE(std::get<SetCommand>(r.command->action).persist);
    EXPECT_EQ(std::get<SetCommand>(r.command->action).target.port.name, "ttyUSB1");
    for (const bool persist : {true, false}) {
        r = Parse(persist ? std::vector<std::string>{"import", "--persist", "p.json"}
                          : std::vector<std::string>{"import", "p.json"},
                  Platform::Linux);
        ASSERT_TRUE(r.command);
        EXPECT_EQ(std::get<ImportCommand>(r.command->action).persist, persist);
        EXPECT_EQ(std::get<ImportCommand>(r.command->action).file, "p.json");
    }

    // The message names the port and the value, on standard error.
    r = Parse({"set", "COM5", "latency-timer=300"});
    EXPECT_EQ(r.err, "varnokctl: COM5: latency-timer=300 is out of range (1 to 255)\n");
}

TEST(CliCommandLine, NothingCarriesOverToTheNextParse) {
    // Every option and argument of a full command line, then lines that
    // leave them out: each reads as if it were the first.
    auto r = Parse({"--json", "--dry-run", "--no-reload", "--verbose", "set", "--all",
                    "--include-disconnected", "latency-timer=1", "serial-printer=on"});
    ASSERT_TRUE(r.command);
    r = Parse({"set", "COM5", "latency-timer=2"});
    ASSERT_TRUE(r.command) << r.err;
    EXPECT_FALSE(r.command->options.json);
    EXPECT_FALSE(r.command->options.dryRun);
    EXPECT_FALSE(r.command->options.noReload);
    EXPECT_FALSE(r.command->options.verbose);
    const auto& set = std::get<SetCommand>(r.command->action);
    EXPECT_FALSE(set.target.all);
    EXPECT_FALSE(set.target.includeDisconnected);
    EXPECT_EQ(set.target.port.text, "COM5");
    EXPECT_EQ(set.change.values.latencyTimer, 2u);
    EXPECT_FALSE(set.change.values.serialPrinter.has_value());

    // A port of the last line is not this line's port, nor --all its --all.
    EXPECT_EQ(Parse({"set", "latency-timer=1"}).err,
              "varnokctl: \"latency-timer=1\" is not a port: give COM5 or "
              "serial:<registry serial>\n");
    EXPECT_EQ(Parse({"rename", "COM5"}).status, ExitStatus::Usage);

    ASSERT_TRUE(Parse({"alias", "COM5", "--table", "brivane", "921600=2000000"}).command);
    r = Parse({"alias", "COM6", "115200=1500000"});
    ASSERT_TRUE(r.command) << r.err;
    const auto& alias = std::get<AliasCommand>(r.command->action);
    EXPECT_FALSE(alias.table.has_value());
    ASSERT_EQ(alias.rows.size(), 1u);

    ASSERT_TRUE(Parse({"ignore-serial", "on"}).command);
    r = Parse({"ignore-serial"});
    ASSERT_TRUE(r.command);
    EXPECT_FALSE(std::get<IgnoreSerialCommand>(r.command->action).value.has_value());

    // The subcommand chosen last time is not chosen this time.
    ASSERT_TRUE(Parse({"modes", "set", "1", "all", "rs232"}).command);
    EXPECT_EQ(Parse({"modes"}).err, "varnokctl: modes: give list or set\n");
    ASSERT_TRUE(Parse({"list", "--include-disconnected"}).command);
    r = Parse({"list"});
    ASSERT_TRUE(r.command);
    EXPECT_FALSE(std::get<ListCommand>(r.command->action).includeDisconnected);
    EXPECT_EQ(Parse({}).status, ExitStatus::Usage);

    // Help after a subcommand is the whole program's help again.
    const std::string rootHelp = Parse({"--help"}).out;
    ASSERT_FALSE(Parse({"buffered", "--help"}).out.empty());
    EXPECT_EQ(Parse({"--help"}).out, rootHelp);
}

TEST(CliCommandLine, SameAnswersOverManyParses) {
    // Far more parses than a program makes: help, errors and commands of
    // both platforms read the same every time.
    const auto help = Parse({"set", "--help"});
    const auto unknown = Parse({"frobnicate"});
    const auto refused = Parse({"set", "COM5", "latency-timer=300"});
    const auto linuxHelp = Parse({"--help"}, Platform::Linux);
    ASSERT_FALSE(help.out.empty());
    ASSERT_FALSE(unknown.err.empty());
    for (int i = 0; i < 10000; ++i) {
        SCOPED_TRACE(i);
        const auto h = Parse({"set", "--help"});
        ASSERT_EQ(h.out, help.out);
        const auto u = Parse({"frobnicate"});
        ASSERT_EQ(u.err, unknown.err);
        ASSERT_EQ(u.status, ExitStatus::Usage);
        ASSERT_EQ(Parse({"set", "COM5", "latency-timer=300"}).err, refused.err);
        const auto c = Parse({"--json", "list", "--include-disconnected"});
        ASSERT_TRUE(c.command);
        ASSERT_TRUE(c.command->options.json);
        ASSERT_TRUE(std::get<ListCommand>(c.command->action).includeDisconnected);
        if (i % 100 == 0) {
            ASSERT_EQ(Parse({"--help"}, Platform::Linux).out, linuxHelp.out);
        }
    }
}

}  // namespace
