#include "cli/Values.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <limits>
#include <set>

#include "common/platform/Parse.h"
#include "configurator/baud/ConfigDataRecord.h"
#include "configurator/baud/DivisorMath.h"
#include "modetool/Modes.h"

namespace varnok::cli {

// The alias rows and the two built-in tables are the model's.
static_assert(kAliasRowCount == cfg::kBaudRowCount);

AliasRates AliasRatesOf(const cfg::ConfigBytes& data) {
    AliasRates rates{};
    for (int row = 0; row < kAliasRowCount; ++row) {
        const double divisor = cfg::DecodeDivisor(cfg::ReadSlotCode(data, cfg::SlotOfRow(row)));
        rates[static_cast<std::size_t>(row)] =
            static_cast<uint32_t>(std::llround(cfg::kBaseRate / divisor));
    }
    return rates;
}

const std::array<uint32_t, kAliasRowCount> kAliasRowRates = [] {
    std::array<uint32_t, kAliasRowCount> rates{};
    for (int row = 0; row < kAliasRowCount; ++row)
        rates[static_cast<std::size_t>(row)] = parse::LeadingUnsigned(cfg::RowLabel(row));
    return rates;
}();
const std::array<uint32_t, kAliasRowCount> kStandardAliasRates =
    AliasRatesOf(cfg::kStandardDivisorTable);
const std::array<uint32_t, kAliasRowCount> kBrivaneAliasRates =
    AliasRatesOf(cfg::kBrivaneDivisorTable);

const SettingInfo kSettings[10] = {
    {"min-read-timeout", "minReadTimeout", &PortSettings::minReadTimeout, nullptr, 0, 10000},
    {"min-write-timeout", "minWriteTimeout", &PortSettings::minWriteTimeout, nullptr, 0, 10000},
    {"polling-period", "pollingPeriod", &PortSettings::pollingPeriod, nullptr, 0, 255},
    {"latency-timer", "latencyTimer", &PortSettings::latencyTimer, nullptr, 1, 255},
    {"serial-enumerator", "serialEnumerator", nullptr, &PortSettings::serialEnumerator, 0, 1},
    {"serial-printer", "serialPrinter", nullptr, &PortSettings::serialPrinter, 0, 1},
    {"cancel-if-power-off", "cancelIfPowerOff", nullptr, &PortSettings::cancelIfPowerOff, 0, 1},
    {"event-on-surprise-removal", "eventOnSurpriseRemoval", nullptr,
     &PortSettings::eventOnSurpriseRemoval, 0, 1},
    {"set-rts-on-close", "setRtsOnClose", nullptr, &PortSettings::setRtsOnClose, 0, 1},
    {"disable-modem-ctrl-at-startup", "disableModemCtrlAtStartup", nullptr,
     &PortSettings::disableModemCtrlAtStartup, 0, 1},
};

void Fail(ExitStatus status, const std::string& message) { throw CliError(status, message); }

namespace {

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    const std::string p(prefix);
    return s.size() >= p.size() && Lower(s.substr(0, p.size())) == Lower(p);
}

// A number for `name`: digits only (usage error otherwise), inside
// [min, max] (refused otherwise).
uint32_t RangedNumber(const std::string& where, const std::string& name, const std::string& value,
                      uint32_t min, uint32_t max) {
    const auto n = ParseDigits(value);
    if (!n)
        Fail(ExitStatus::Usage, where + ": " + name + "=" + value + ": not a whole number");
    if (*n < min || *n > max)
        Fail(ExitStatus::Refused, where + ": " + name + "=" + value + " is out of range (" +
                                      std::to_string(min) + " to " + std::to_string(max) + ")");
    return static_cast<uint32_t>(*n);
}

}  // namespace

std::string Join(const std::vector<std::string>& items, const char* sep) {
    std::string out;
    for (const auto& s : items) out += (out.empty() ? "" : sep) + s;
    return out;
}

// Splits "NAME=VALUE"; a usage error without '=' or with an empty side.
std::pair<std::string, std::string> SplitAssignment(const std::string& item,
                                                    const std::string& where,
                                                    const char* form) {
    const auto eq = item.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == item.size())
        Fail(ExitStatus::Usage, where + ": \"" + item + "\" is not of the form " + form);
    return {item.substr(0, eq), item.substr(eq + 1)};
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::optional<uint64_t> ParseDigits(const std::string& text) {
    if (text.empty()) return std::nullopt;
    uint64_t v = 0;
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const uint64_t d = static_cast<uint64_t>(c - '0');
        v = (v > (kMax - d) / 10) ? kMax : v * 10 + d;
    }
    return v;
}

// ---- PORT -------------------------------------------------------------

PortRef ParsePortRef(const std::string& text, Platform platform) {
    PortRef ref;
    ref.text = text;
    const auto bad = [&]() -> PortRef {
        Fail(ExitStatus::Usage, "\"" + text + "\" is not a port: give " + PortForms(platform));
    };
    if (text.rfind("serial:", 0) == 0) {
        ref.kind = PortRef::Kind::Serial;
        ref.name = text.substr(7);
        const auto printable = [](unsigned char c) { return c > 0x20 && c != 0x7F; };
        if (ref.name.empty() || ref.name.size() > 255 ||
            !std::all_of(ref.name.begin(), ref.name.end(), printable))
            return bad();
        if (platform == Platform::Linux) {
            char& letter = ref.name.back();
            const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
            if (ref.name.size() < 2 || up < 'A' || up > 'D')
                Fail(ExitStatus::Usage, "\"" + text +
                                            "\": the serial must end in the interface letter "
                                            "(A to D), as in serial:FT1ABCDEA");
            letter = up;
        }
        return ref;
    }
    if (platform == Platform::Windows) {
        // "COM5", "com05", "\\.\COM5" and "5" name the same port.
        std::string name = text.rfind("\\\\.\\", 0) == 0 ? text.substr(4) : text;
        if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0])) != 0)
            name = "COM" + name;
        if (!StartsWithNoCase(name, "COM")) return bad();
        const auto n = ParseDigits(name.substr(3));
        if (!n || name.size() > 9 || *n == 0 || *n > 256) return bad();
        ref.kind = PortRef::Kind::ComName;
        ref.name = "COM" + std::to_string(*n);
        return ref;
    }
    std::string name = text.rfind("/dev/", 0) == 0 ? text.substr(5) : text;
    if (name.size() < 4 || name.size() > 32 || name.rfind("tty", 0) != 0 ||
        !std::all_of(name.begin(), name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
        return bad();
    ref.kind = PortRef::Kind::Tty;
    ref.name = name;
    return ref;
}

bool PortRefMatches(const PortRef& ref, const PortInfo& port) {
    switch (ref.kind) {
    case PortRef::Kind::ComName: return Lower(port.port) == Lower(ref.name);
    case PortRef::Kind::Serial: return port.serial == ref.name;
    case PortRef::Kind::Tty: return port.port == ref.name;
    }
    return false;
}

// ---- set --------------------------------------------------------------

bool ParseOnOff(const std::string& text, const std::string& what) {
    if (text == "on") return true;
    if (text == "off") return false;
    Fail(ExitStatus::Usage, what + "=" + text + ": give on or off");
}

SettingsChange ParseSetAssignments(const std::vector<std::string>& items,
                                   const std::string& where, Platform platform) {
    if (items.empty())
        Fail(ExitStatus::Usage, where + ": set needs at least one NAME=VALUE");
    SettingsChange change;
    std::set<std::string> seen;
    for (const auto& item : items) {
        auto [name, value] = SplitAssignment(item, where, "NAME=VALUE");
        for (const auto& s : kSettings)
            if (name == s.jsonName) name = s.cliName;  // the JSON names are taken too
        if (!seen.insert(name).second)
            Fail(ExitStatus::Usage, where + ": " + name + " is given twice");
        if (platform == Platform::Linux && name != "latency-timer" &&
            ClosestName(name, {"latency-timer", "latencyTimer"}) != "")
            Fail(ExitStatus::Usage,
                 where + ": unknown setting " + name + " (did you mean latency-timer?)");
        if (platform == Platform::Linux && name != "latency-timer")
            Fail(ExitStatus::Usage,
                 where + ": " + name + " cannot be set here; on Linux only latency-timer");
        if (name == "preset") {
            if (value == "varnok") change.preset = Preset::Varnok;
            else if (value == "brivane") change.preset = Preset::Brivane;
            else if (value == "default") change.preset = Preset::Default;
            else Fail(ExitStatus::Usage, where + ": preset=" + value + ": give varnok, brivane or default");
            continue;
        }
        const SettingInfo* info = nullptr;
        for (const auto& s : kSettings)
            if (name == s.cliName) info = &s;
        if (!info) {
            std::vector<std::string> names{"preset"}, every{"preset"};
            for (const auto& s : kSettings) {
                names.emplace_back(s.cliName);
                every.emplace_back(s.cliName);
                every.emplace_back(s.jsonName);
            }
            const std::string near = ClosestName(name, every);
            Fail(ExitStatus::Usage, where + ": unknown setting " + name +
                                        (near.empty() ? " (names: " + Join(names, ", ") + ")"
                                                      : " (did you mean " + near + "?)"));
        }
        if (info->number)
            change.values.*(info->number) = RangedNumber(where, name, value, info->min, info->max);
        else
            change.values.*(info->flag) = ParseOnOff(value, where + ": " + name);
    }
    return change;
}

// ---- buffered ---------------------------------------------------------

BufferedChange ParseBuffered(const std::string& onOff, const std::vector<std::string>& params,
                             const std::string& where) {
    BufferedChange change;
    change.enable = ParseOnOff(onOff, where + ": buffered");
    if (!change.enable && !params.empty())
        Fail(ExitStatus::Usage, where + ": size=, threshold= and latency= go with on only");
    struct Param {
        const char* name;
        std::optional<uint32_t> BufferedChange::*field;
        uint32_t max;
    };
    static const Param kParams[] = {{"size", &BufferedChange::size, 4096},
                                    {"threshold", &BufferedChange::threshold, 20},
                                    {"latency", &BufferedChange::latency, 16}};
    for (const auto& item : params) {
        const auto [name, value] = SplitAssignment(item, where, "size=N, threshold=N or latency=N");
        const Param* p = nullptr;
        for (const auto& k : kParams)
            if (name == k.name) p = &k;
        if (!p)
            Fail(ExitStatus::Usage,
                 where + ": unknown parameter " + name + " (size, threshold, latency)");
        if (change.*(p->field))
            Fail(ExitStatus::Usage, where + ": " + name + " is given twice");
        change.*(p->field) = RangedNumber(where, name, value, 1, p->max);
    }
    return change;
}

// ---- alias ------------------------------------------------------------

AliasTable ParseAliasTable(const std::string& text) {
    if (text == "standard") return AliasTable::Standard;
    if (text == "brivane") return AliasTable::Brivane;
    Fail(ExitStatus::Usage, "--table " + text + ": give standard or brivane");
}

std::vector<AliasAssignment> ParseAliasAssignments(const std::vector<std::string>& items,
                                                   const std::string& where) {
    std::vector<AliasAssignment> out;
    for (const auto& item : items) {
        const auto [rate, target] = SplitAssignment(item, where, "RATE=TARGET (921600=2000000)");
        const auto r = ParseDigits(rate);
        int row = -1;
        for (int i = 0; r && i < kAliasRowCount; ++i)
            if (kAliasRowRates[static_cast<std::size_t>(i)] == *r) row = i;
        if (row < 0) {
            std::vector<std::string> rows;
            for (auto v : kAliasRowRates) rows.push_back(std::to_string(v));
            Fail(ExitStatus::Usage, where + ": " + rate + " is not a rate of the alias table (" +
                                        Join(rows, ", ") + ")");
        }
        for (const auto& a : out)
            if (a.row == row) Fail(ExitStatus::Usage, where + ": " + rate + " is given twice");
        const auto t = ParseDigits(target);
        if (!t) Fail(ExitStatus::Usage, where + ": " + item + ": the target is not a whole number");
        if (*t != 3000000 && *t != 2000000 && (*t < 184 || *t > 1500000))
            Fail(ExitStatus::Refused, where + ": " + item + ": the chip cannot generate " + target +
                                          " baud (184 to 1500000, 2000000 or 3000000)");
        out.push_back({row, static_cast<uint32_t>(*t)});
    }
    return out;
}

// ---- rename -----------------------------------------------------------

int ParseComNumber(const std::string& text, const std::string& where) {
    const auto n = StartsWithNoCase(text, "COM") ? ParseDigits(text.substr(3)) : std::nullopt;
    if (!n) Fail(ExitStatus::Usage, where + ": \"" + text + "\" is not a COM name (COM1 to COM256)");
    if (*n < 1 || *n > 256)
        Fail(ExitStatus::Refused, where + ": " + text + " is out of range (COM1 to COM256)");
    return static_cast<int>(*n);
}

std::string ClosestName(const std::string& word, const std::vector<std::string>& names) {
    // Edit distance counting a swap of two neighbours as one edit; a name
    // is close when at most a third of the word's letters (at least one, at
    // most three) are off.
    const std::string w = Lower(word);
    const std::size_t limit = std::min<std::size_t>(3, std::max<std::size_t>(1, w.size() / 3));
    std::string best;
    std::size_t bestDistance = limit + 1;
    // Three rows of the table (a swap looks two rows back), kept between
    // names: a long word costs no more than its length.
    std::vector<std::size_t> twoBack, back, row;
    for (const auto& candidate : names) {
        // The distance is at least the difference in length.
        const std::size_t gap = w.size() > candidate.size() ? w.size() - candidate.size()
                                                            : candidate.size() - w.size();
        if (gap >= bestDistance) continue;
        const std::string n = Lower(candidate);
        back.resize(n.size() + 1);
        for (std::size_t j = 0; j <= n.size(); ++j) back[j] = j;
        for (std::size_t i = 1; i <= w.size(); ++i) {
            row.assign(n.size() + 1, 0);
            row[0] = i;
            for (std::size_t j = 1; j <= n.size(); ++j) {
                row[j] = std::min({back[j] + 1, row[j - 1] + 1,
                                   back[j - 1] + (w[i - 1] == n[j - 1] ? 0 : 1)});
                if (i > 1 && j > 1 && w[i - 1] == n[j - 2] && w[i - 2] == n[j - 1])
                    row[j] = std::min(row[j], twoBack[j - 2] + 1);
            }
            std::swap(twoBack, back);
            std::swap(back, row);
        }
        if (back[n.size()] < bestDistance) {
            bestDistance = back[n.size()];
            best = candidate;
        }
    }
    return best;
}

std::string DidYouMean(const std::string& word, const std::vector<std::string>& names) {
    const std::string near = ClosestName(word, names);
    return near.empty() ? std::string() : " (did you mean " + near + "?)";
}

}  // namespace varnok::cli
