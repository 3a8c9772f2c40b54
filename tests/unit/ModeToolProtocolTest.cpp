#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/platform/Parse.h"
#include "modetool/Protocol.h"
#include "tests/unit/ModeToolRig.h"

using namespace varnok;
using namespace varnok::mode;
using namespace varnok::test;
using sim::Misbehaviour;
using sim::SimAdapterOptions;

namespace {

IdResult ParseId(const std::string& line, AdapterRecord* r) {
    return ParseIdentification(reinterpret_cast<const uint8_t*>(line.data()), line.size(), r);
}

bool ParseSettings(const std::string& reply, AdapterRecord* r) {
    return ParseSettingsReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), r);
}

SimAdapterOptions Adapter(int accessKind, unsigned ports = 4,
                          Misbehaviour m = Misbehaviour::None) {
    SimAdapterOptions o;
    o.accessKind = accessKind;
    o.portCount = ports;
    o.misbehaviour = m;
    return o;
}

// Waits of a query's commands: each byte is followed by 10 ms.
const std::vector<uint32_t> kEnterReadWaits =
    Concat({{10, 100}, Repeat(10, 3), {400}});
const std::vector<uint32_t> kLeaveWaits = Repeat(10, 3);

Result<AdapterRecord> Query(ModeRig& rig, const std::string& com, int accessKind) {
    return QueryAdapter(rig.ports, rig.clock, com, accessKind);
}

// The failure a query ended with, and whether the user is told about it.
// The text of the "Error" box the mode dialog shows for a failure.
std::string ErrorText(ModeRig& rig, const Failure& f) {
    return ErrorMessageText(f.code, f.context, rig.ports.systemMessage(f.code));
}

void ExpectFailure(const Result<AdapterRecord>& r, uint32_t code, const std::string& name,
                   bool reported) {
    ASSERT_FALSE(r);
    EXPECT_EQ(r.failure().code, code);
    EXPECT_EQ(r.failure().context, name);
    EXPECT_EQ(QueryFailureIsReported(r.failure()), reported);
}

}  // namespace

TEST(ModeProtocolParse, IdentificationLineNeedsFourteenBytesAndCrBracket) {
    AdapterRecord r;
    EXPECT_EQ(ParseId("\r[4#0203] A:\r\n", &r), IdResult::Ok);  // 14 bytes
    EXPECT_EQ(ParseId("\r[4#0203] A:\r", &r), IdResult::NotIdLine);  // 13 bytes
    EXPECT_EQ(ParseId("[4#0203] Abc:1\r\n", &r), IdResult::NotIdLine);
    EXPECT_EQ(ParseId("\n[4#0203] Abc:1\r\n", &r), IdResult::NotIdLine);
    EXPECT_EQ(ParseId("\r[4 0203] Abcdefg\r\n", &r), IdResult::NoMarker);
    EXPECT_EQ(ParseId("\r[4#0203 Abcdefg\r\n", &r), IdResult::NoMarker);
}

TEST(ModeProtocolParse, IdentificationFieldsAndPortCountLimits) {
    AdapterRecord r;
    r.changed = 1;
    r.ports[5].modeCode = 3;
    ASSERT_EQ(ParseId("\r[1F#10A2] Apex 31:FW 1.0\r\n", &r), IdResult::Ok);
    EXPECT_EQ(r.portCount, 31);
    EXPECT_EQ(r.typeCode, 0x10A2);
    EXPECT_EQ(r.adapterName, "Apex 31");
    EXPECT_EQ(r.changed, 0) << "record is zero-filled on recognition";
    EXPECT_EQ(r.ports[5].modeCode, 0);

    EXPECT_EQ(ParseId("\r[0#0203] Zero ports:x\r\n", &r), IdResult::NoPorts);
    EXPECT_EQ(ParseId("\r[100#0203] cut to 0:x\r\n", &r), IdResult::NoPorts);
    EXPECT_EQ(ParseId("\r[40#0203] Sixty-four:x\r\n", &r), IdResult::Ok);
    EXPECT_EQ(r.portCount, 64);
    EXPECT_EQ(ParseId("\r[41#0203] Sixty-five:x\r\n", &r), IdResult::TooManyPorts);
    EXPECT_EQ(ParseId("\r[FF#0203] Too many:x\r\n", &r), IdResult::TooManyPorts);
}

TEST(ModeProtocolParse, NameRunsToColonOrEndAndIsCutAt127) {
    AdapterRecord r;
    ASSERT_EQ(ParseId("\r[2#0203] No colon here\r\n", &r), IdResult::Ok);
    EXPECT_EQ(r.adapterName, "No colon here\r\n");
    ASSERT_EQ(ParseId("\r[2#0203]Xa:b:c\r\n", &r), IdResult::Ok);
    EXPECT_EQ(r.adapterName, "a");
    ASSERT_EQ(ParseId("\r[2#0203]", &r), IdResult::NotIdLine);
    ASSERT_EQ(ParseId(std::string("\r[2#0203] Nul\0here:x\r\n", 22), &r), IdResult::Ok);
    EXPECT_EQ(r.adapterName, "Nul");

    std::string longName(300, 'N');
    ASSERT_EQ(ParseId("\r[2#0203] " + longName + ":x\r\n", &r), IdResult::Ok);
    EXPECT_EQ(r.adapterName, std::string(127, 'N'));
}

TEST(ModeProtocolParse, SettingsReplyBlocksInSequence) {
    AdapterRecord r;
    r.portCount = 2;
    ASSERT_TRUE(ParseSettings("junk\r\n\r\n\r\n1\r\n8\r\n0\r\n\r\n2\r\n3\r\n5\r\n", &r));
    EXPECT_EQ(r.ports[0].modeCode, 8);
    EXPECT_EQ(r.ports[0].controlBits, 0);
    EXPECT_EQ(r.ports[1].modeCode, 3);
    EXPECT_EQ(r.ports[1].controlBits, 5);

    EXPECT_FALSE(ParseSettings("\r\n\r\n1\r\n8\r\n0\r\n\r\n2\r\n3\r\n5", &r)) << "no triple CR LF";
    EXPECT_FALSE(ParseSettings("\r\n\r\n\r\n1\r\n8\r\n0\r\n\r\n3\r\n3\r\n5", &r)) << "out of sequence";
    EXPECT_FALSE(ParseSettings("\r\n\r\n\r\n1\r\n8\r\n0", &r)) << "second block missing";
    EXPECT_FALSE(ParseSettings("\r\n\r\n\r\n1\r\n8", &r)) << "bits missing";
    r.portCount = 1;
    ASSERT_TRUE(ParseSettings("\r\n\r\n\r\n1\r\n264\r\n7", &r));
    EXPECT_EQ(r.ports[0].modeCode, 264 - 256) << "truncated to 8 bits";
    EXPECT_EQ(r.ports[0].controlBits, 7);
}

TEST(ModeProtocolParse, SettingsTextAndErrorMessage) {
    AdapterRecord r;
    r.portCount = 2;
    r.ports[0] = {8, 0, ""};
    r.ports[1] = {1, 7, ""};
    EXPECT_EQ(BuildSettingsText(r), "\r\n1\r\n8\r\n0\r\n\r\n2\r\n1\r\n7\r\n");

    EXPECT_EQ(ErrorMessageText(5, "COM5", "Access is denied.\r\n"),
              "Error(5) / COM5: Access is denied.\r\n");
    EXPECT_EQ(ErrorMessageText(1234, "", ""),
              std::string("Error(1234) / none: ") + kNoSystemText);
    std::string longPath(400, 'p'), longText(2000, 't');
    EXPECT_EQ(ErrorMessageText(31, longPath, longText).size(),
              std::string("Error(31) / : ").size() + 400 + 2000)
        << "nothing cut, nothing overrun";
}

TEST(ModeProtocolParse, NumberReadersTakeOnlyLeadingDigits) {
    const std::optional<uint32_t> none;
    struct Case {
        const char* text;
        std::optional<uint32_t> dec, hex;
    } const cases[] = {
        {"", none, none},
        {"12\r\n", 12u, 0x12u},
        {"1F#", 1u, 0x1Fu},
        {"fa]", none, 0xFAu},
        {"0x1F", 0u, 0u},  // no prefix: reading stops at the x
        {"-5", none, none},
        {"+5", none, none},
        {" 5", none, none},
        {"4294967296", 0xFFFFFFFFu, 0x94967296u},  // decimal held at the top
        {"99999999999999999999", 0xFFFFFFFFu, 0x99999999u},
        {"123456789ABCDEF", 123456789u, 0x89ABCDEFu},  // hexadecimal: low 32 bits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse::LeadingDigits(c.text), c.dec) << c.text;
        EXPECT_EQ(parse::LeadingHexLow32(c.text), c.hex) << c.text;
    }
}

TEST(ModeProtocolQuery, ConfigInterfaceExactBytesWaitsAndRecord) {
    ModeRig rig;
    auto& a = rig.ports.attach("COM5", Adapter(2));
    auto queried = Query(rig, "COM5", 2);
    ASSERT_TRUE(queried);
    const AdapterRecord& r = queried.value();

    EXPECT_EQ(ModeRig::Received(a), std::string("0\r0\r0\r0\r") + "\r" + "\r" + "96\r" + "98\r");
    EXPECT_EQ(rig.clock.sleeps,
              Concat({Repeat(10, 8), {10}, kEnterReadWaits, kLeaveWaits}));
    EXPECT_EQ(rig.slept(), 660u);

    auto log = rig.ports.logTexts();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "open \\\\.\\COM5");
    EXPECT_EQ(log[1], "timeouts 30/0/90/0/0");
    EXPECT_EQ(log[2], "line 38400,n,8,1");
    EXPECT_EQ(log[3], "purge 0x0C");
    EXPECT_EQ(log[12], "purge 0x08") << "received data dropped after the four resyncs";
    EXPECT_EQ(log.back(), "close");
    EXPECT_EQ(rig.ports.openPorts(), 0);

    EXPECT_EQ(r.devicePath, "\\\\.\\COM5");
    EXPECT_EQ(r.adapterName, "Varnok Plus 4");
    EXPECT_EQ(r.portCount, 4);
    EXPECT_EQ(r.typeCode, 0x0203);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(r.ports[i].modeCode, a.ports[i].modeCode);
        EXPECT_EQ(r.ports[i].controlBits, a.ports[i].controlBits);
    }
    EXPECT_EQ(r.ports[4].modeCode, 0);
}

TEST(ModeProtocolQuery, FirstDataPortOnlyListensBeforeItsIdentification) {
    ModeRig rig;
    auto o = Adapter(1, 31);
    o.name = "Apex 31";
    auto& a = rig.ports.attach("COM7", o);
    auto r = Query(rig, "COM7", 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(ModeRig::Received(a), "\r96\r98\r");
    auto log = rig.ports.logTexts();
    EXPECT_EQ(log[4].rfind("read ", 0), 0u) << "the first thing after set-up is a read";
    EXPECT_EQ(rig.clock.sleeps, Concat({kEnterReadWaits, kLeaveWaits}));
    EXPECT_EQ(rig.slept(), 570u);
    EXPECT_EQ(r->portCount, 31);
    EXPECT_EQ(r->ports[30].modeCode, a.ports[30].modeCode);
    EXPECT_FALSE(a.inConfigMode()) << "98 CR returns it to a data port";
}

TEST(ModeProtocolQuery, FirstDataPortCaughtMidLineListensASecondTime) {
    ModeRig rig;
    auto o = Adapter(1);
    o.announcePhaseMs = 0;  // a line is on the wire when the port opens
    rig.ports.attach("COM7", o);
    rig.clock.advance(1);
    ASSERT_TRUE(Query(rig, "COM7", 1));
    auto log = rig.ports.logTexts();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& s) { return s.rfind("read ", 0) == 0; }),
              3) << "tail of a line, a whole line, the settings";
}

// An adapter that does not answer as it should is passed over without a word
// to the user, the port closed.
TEST(ModeProtocolQuery, WrongAnswersFailSilently) {
    struct Case {
        const char* what;
        SimAdapterOptions adapter;
        std::string received;
        std::vector<std::string> logTail;  // the last entries of the port's log
        long reads;                        // -1: not counted
    };
    const Case cases[] = {
        // No 98: configuration mode never entered.
        {"silent: one empty read", Adapter(2, 4, Misbehaviour::Silent), "0\r0\r0\r0\r\r",
         {"read 0 bytes in 90 ms", "close"}, 1},
        {"garbled identification: the second listen sends nothing",
         Adapter(2, 4, Misbehaviour::GarbledId), "0\r0\r0\r0\r\r", {"close"}, 2},
        {"out-of-sequence port: configuration mode left before the close",
         Adapter(2, 3, Misbehaviour::WrongPortNumber), "0\r0\r0\r0\r\r\r96\r98\r",
         {"write 39", "write 38", "write 0D", "close"}, -1},
        {"more than 64 ports: refused before the settings request", Adapter(2, 65),
         "0\r0\r0\r0\r\r", {"close"}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModeRig rig;
        auto& a = rig.ports.attach("COM5", c.adapter);
        ExpectFailure(Query(rig, "COM5", 2), 0, "COM5", false);
        EXPECT_EQ(ModeRig::Received(a), c.received);
        EXPECT_EQ(rig.ports.openPorts(), 0);
        const auto log = rig.ports.logTexts();
        ASSERT_GE(log.size(), c.logTail.size());
        EXPECT_EQ(std::vector<std::string>(log.end() - c.logTail.size(), log.end()), c.logTail);
        const auto reads = std::count_if(log.begin(), log.end(), [](const std::string& s) {
            return s.rfind("read ", 0) == 0;
        });
        EXPECT_TRUE(c.reads < 0 || reads == c.reads) << reads;
    }
}

TEST(ModeProtocolQuery, SystemErrorsReportedExceptAccessDenied) {
    {
        ModeRig rig;  // held by another program: not found, silently
        rig.ports.attach("COM5", Adapter(2)).heldByOtherProgram = true;
        ExpectFailure(Query(rig, "COM5", 2), 5, "COM5", false);
    }
    {
        ModeRig rig;  // no such port
        auto r = Query(rig, "COM9", 2);
        ExpectFailure(r, 2, "COM9", true);
        EXPECT_EQ(ErrorText(rig, r.failure()),
                  "Error(2) / COM9: The system cannot find the file specified.\r\n");
    }
    {
        ModeRig rig;  // set-up of the line fails: port closed again
        rig.ports.attach("COM5", Adapter(2));
        rig.ports.failLine = true;
        ExpectFailure(Query(rig, "COM5", 2), 31, "COM5", true);
        EXPECT_EQ(rig.ports.openPorts(), 0);
    }
}

TEST(ModeProtocolQuery, UnplugDuringQueryReportsAndCloses) {
    ModeRig rig;
    auto& a = rig.ports.attach("COM5", Adapter(2));
    rig.clock.onAdvance([&](uint64_t now) {
        if (now >= 150) a.unplugged = true;
    });
    auto r = Query(rig, "COM5", 2);
    ExpectFailure(r, 22, "COM5", true);
    EXPECT_EQ(rig.ports.openPorts(), 0);
    EXPECT_EQ(ErrorText(rig, r.failure()),
              "Error(22) / COM5: The device does not recognize the command.\r\n");
}

namespace {

AdapterRecord Queried(ModeRig& rig, const std::string& com, const SimAdapterOptions& o) {
    rig.ports.attach(com, o);
    auto r = QueryAdapter(rig.ports, rig.clock, com, o.accessKind);
    EXPECT_TRUE(r);
    return r ? r.value() : AdapterRecord{};
}

// Commits the array and collects the failures the user is told about.
std::vector<Result<CommitStatus>> Commit(ModeRig& rig, const AdapterArray& array,
                                         std::vector<Failure>* reported = nullptr) {
    return CommitAdapters(rig.ports, rig.clock, array, [&](const Failure& f) {
        if (reported) reported->push_back(f);
    });
}

}  // namespace

TEST(ModeProtocolCommit, TwoPortsExactStreamWaitsAndStoredSettings) {
    ModeRig rig;
    AdapterArray array{Queried(rig, "COM5", Adapter(2, 2))};
    auto* a = rig.ports.adapter("COM5");
    a->received.clear();
    rig.clock.sleeps.clear();
    array[0].changed = 1;
    array[0].ports[0].modeCode = 7;
    array[0].ports[1].controlBits = 6;

    auto results = Commit(rig, array);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0]);
    EXPECT_EQ(results[0].value(), CommitStatus::Stored);
    const std::string text = "\r\n1\r\n7\r\n0\r\n\r\n2\r\n2\r\n6\r\n";
    EXPECT_EQ(ModeRig::Received(*a), "\r97\r" + text + "\r99\r" + "98\r");
    EXPECT_EQ(rig.clock.sleeps,
              Concat({{10, 100}, Repeat(10, 3), {200}, {100}, Repeat(10, 4), {200},
                      Repeat(10, 3)}));
    EXPECT_EQ(rig.slept(), 610u + 100u);
    ASSERT_EQ(a->storedTexts.size(), 1u);
    EXPECT_EQ(a->storedTexts[0], text);
    EXPECT_EQ(a->ports[0].modeCode, 7);
    EXPECT_EQ(a->ports[1].controlBits, 6);
    EXPECT_EQ(array[0].changed, 1) << "the commit leaves changed as it was";
    EXPECT_EQ(rig.ports.openPorts(), 0);
}

TEST(ModeProtocolCommit, LongTextGoesInPiecesOfFifty) {
    ModeRig rig;
    AdapterArray array{Queried(rig, "COM5", Adapter(2, 10))};
    array[0].changed = 1;
    array[0].ports[9].modeCode = 100;  // 10 blocks: 9 * 11 + 14 = 113 bytes
    auto log0 = rig.ports.log.size();
    rig.clock.sleeps.clear();
    (void)Commit(rig, array);
    std::vector<std::size_t> pieces;
    for (std::size_t i = log0; i < rig.ports.log.size(); ++i) {
        const auto& w = rig.ports.log[i].what;
        if (w.rfind("write", 0) == 0 && w.size() > 9) pieces.push_back((w.size() - 5) / 3);
    }
    EXPECT_EQ(pieces, (std::vector<std::size_t>{50, 50, 13}));
    EXPECT_EQ(rig.slept(), 610u + 3 * 100u);
    EXPECT_EQ(rig.ports.adapter("COM5")->ports[9].modeCode, 100);
}

TEST(ModeProtocolCommit, UnchangedAdaptersAreNotContacted) {
    ModeRig rig;
    AdapterArray array{Queried(rig, "COM5", Adapter(2))};
    int opens = rig.ports.opens();
    auto results = Commit(rig, array);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].value(), CommitStatus::Unchanged);
    EXPECT_TRUE(Commit(rig, AdapterArray{}).empty());
    EXPECT_EQ(rig.ports.opens(), opens);
}

TEST(ModeProtocolCommit, NoOkLeavesAdapterUnchangedAndGoesOn) {
    ModeRig rig;
    AdapterArray array{Queried(rig, "COM5", Adapter(2, 2, Misbehaviour::NoOk)),
                       Queried(rig, "COM6", Adapter(2, 2))};
    for (auto& r : array) {
        r.changed = 1;
        r.ports[0].modeCode = 5;
    }
    auto* bad = rig.ports.adapter("COM5");
    bad->received.clear();
    std::vector<Failure> reported;
    auto results = Commit(rig, array, &reported);
    EXPECT_EQ(results[0].value(), CommitStatus::Declined);
    EXPECT_EQ(results[1].value(), CommitStatus::Stored);
    EXPECT_EQ(ModeRig::Received(*bad), "\r97\r98\r");
    EXPECT_TRUE(bad->storedTexts.empty());
    EXPECT_EQ(rig.ports.adapter("COM6")->ports[0].modeCode, 5);
    EXPECT_TRUE(reported.empty());
    EXPECT_EQ(rig.ports.openPorts(), 0);
}

TEST(ModeProtocolCommit, AccessDeniedIsReportedWithDevicePath) {
    ModeRig rig;
    AdapterArray array{Queried(rig, "COM5", Adapter(2))};
    array[0].changed = 1;
    rig.ports.adapter("COM5")->heldByOtherProgram = true;
    std::vector<Failure> reported;
    auto results = Commit(rig, array, &reported);
    ASSERT_FALSE(results[0]);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(ErrorText(rig, reported[0]), "Error(5) / \\\\.\\COM5: Access is denied.\r\n");
}

TEST(ModeProtocolCommit, UnplugMidCommitReportsAndNextAdapterIsStillCommitted) {
    ModeRig rig;
    AdapterArray array{Queried(rig, "COM5", Adapter(2, 2, Misbehaviour::UnplugInCommit)),
                       Queried(rig, "COM6", Adapter(2, 2))};
    for (auto& r : array) {
        r.changed = 1;
        r.ports[1].modeCode = 6;
    }
    std::vector<Failure> reported;
    auto results = Commit(rig, array, &reported);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(ErrorText(rig, reported[0]),
              "Error(22) / \\\\.\\COM5: The device does not recognize the command.\r\n");
    EXPECT_FALSE(results[0]);
    EXPECT_EQ(results[1].value(), CommitStatus::Stored);
    EXPECT_TRUE(rig.ports.adapter("COM5")->storedTexts.empty());
    EXPECT_EQ(rig.ports.adapter("COM6")->ports[1].modeCode, 6);
    EXPECT_EQ(rig.ports.openPorts(), 0);
    const std::string sent6 = ModeRig::Received(*rig.ports.adapter("COM6"));
    EXPECT_EQ(sent6.substr(sent6.size() - 3), "98\r");
}

TEST(ModeProtocolCommit, ErrorTextFallsBackWhenSystemHasNoText) {
    ModeRig rig;
    EXPECT_EQ(ErrorText(rig, Failure{4711, ""}), std::string("Error(4711) / none: ") + kNoSystemText);
}

// Configuration mode is left exactly once, before the close, on every path
// that began to enter it; here entering fails half-way (the purge after the
// CR), and the failure is the purge's.
TEST(ModeProtocolCommit, ConfigModeLeftWhenEnteringFailsHalfWay) {
    ModeRig rig;
    AdapterArray array{Queried(rig, "COM6", Adapter(2))};
    array[0].changed = 1;
    auto* a = rig.ports.adapter("COM6");
    a->received.clear();
    const uint64_t t0 = rig.clock.nowMs();
    rig.clock.onAdvance([&](uint64_t now) { rig.ports.failPurge = now > t0; });
    std::vector<Failure> reported;
    auto results = Commit(rig, array, &reported);
    EXPECT_EQ(ModeRig::Received(*a), "\r98\r");
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].code, 31u);
    EXPECT_EQ(reported[0].context, "\\\\.\\COM6");
    EXPECT_EQ(rig.ports.logTexts().back(), "close");
    EXPECT_EQ(rig.ports.openPorts(), 0);
}

TEST(ModeSimSerial, ReadEndsAtIntervalAfterBurstOrAtTotalTimeout) {
    ModeRig rig;
    rig.ports.attach("COM5", Adapter(2));
    auto port = rig.ports.open("\\\\.\\COM5");
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->setTimeouts({30, 0, 90, 0, 0}));
    auto sendCr = [&] {
        const uint8_t cr = '\r';
        uint32_t written = 0;
        ASSERT_TRUE(port->write(&cr, 1, &written));
        rig.clock.sleepMs(10);
    };
    uint8_t buf[4096];
    uint32_t n = 99;
    ASSERT_TRUE(port->read(buf, 4095, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(rig.clock.nowMs(), 90u) << "nothing: the total time-out";

    sendCr();  // identification 5 ms after the CR
    uint64_t start = rig.clock.nowMs();
    ASSERT_TRUE(port->read(buf, 4095, &n));
    const std::string line = rig.ports.adapter("COM5")->identificationLine();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), n), line);
    // The CR went out at 90 ms; the line starts 5 ms later and runs at 4
    // bytes per ms; the read ends 30 ms after its last byte.
    uint64_t lastByte = 90 + 5 + (line.size() - 1) / 4;
    EXPECT_EQ(rig.clock.nowMs(), lastByte + 30);
    EXPECT_GT(rig.clock.nowMs(), start);

    sendCr();
    rig.clock.sleepMs(100);
    ASSERT_TRUE(port->purge(0x08));
    start = rig.clock.nowMs();
    ASSERT_TRUE(port->read(buf, 4095, &n));
    EXPECT_EQ(n, 0u) << "a purge drops what has arrived";
    EXPECT_EQ(rig.clock.nowMs() - start, 90u);
}
