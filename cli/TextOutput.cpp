#include "cli/TextOutput.h"

#include <algorithm>

#include "cli/Json.h"
#include "cli/Values.h"

namespace varnok::cli {

namespace {

using Shown = std::optional<std::string>;  // empty: not read

Shown Text(const std::optional<uint32_t>& v) { return v ? Shown(std::to_string(*v)) : std::nullopt; }
Shown Text(const std::optional<bool>& v) { return v ? Shown(*v ? "on" : "off") : std::nullopt; }
std::string Num(const std::optional<uint32_t>& v) { return Text(v).value_or("?"); }

// A port's settings, buffered writes and baud aliases by row, named as in
// the JSON output. `show` lists them and the change lines compare them, so
// both name the same values.
std::vector<std::pair<std::string, Shown>> NamedValues(const PortInfo& p) {
    std::vector<std::pair<std::string, Shown>> out;
    for (const auto& info : kSettings)
        out.emplace_back(info.jsonName, info.number ? Text(p.settings.*(info.number))
                                                    : Text(p.settings.*(info.flag)));
    const BufferedWrites& b = p.bufferedWrites;
    out.emplace_back("bufferedWrites.enabled", Text(b.enabled));
    out.emplace_back("bufferedWrites.size", Text(b.size));
    out.emplace_back("bufferedWrites.threshold", Text(b.threshold));
    out.emplace_back("bufferedWrites.latency", Text(b.latency));
    for (std::size_t row = 0; row < kAliasRowRates.size(); ++row)
        out.emplace_back("baudAliases." + std::to_string(kAliasRowRates[row]),
                         p.baudAliases ? Shown(std::to_string((*p.baudAliases)[row]))
                                       : std::nullopt);
    return out;
}

std::string Buffered(const BufferedWrites& b) {
    if (!b.enabled) return "?";
    if (!*b.enabled) return "off";
    return Num(b.size) + "/" + Num(b.threshold) + "/" + Num(b.latency);
}

// The option names (as `set` spells them) of the switches that are on;
// "-" when none, "?" marks one that could not be read.
std::string Options(const PortSettings& s) {
    std::string out;
    for (const auto& info : kSettings) {
        if (!info.flag) continue;
        const auto& v = s.*(info.flag);
        if (v && !*v) continue;
        out += (out.empty() ? "" : ",") + std::string(info.cliName) + (v ? "" : "?");
    }
    return out.empty() ? "-" : out;
}

// "standard", "brivane" or "custom": which built-in table the aliases are.
const char* AliasTableName(const AliasRates& rates) {
    if (rates == kStandardAliasRates) return "standard";
    if (rates == kBrivaneAliasRates) return "brivane";
    return "custom";
}

}  // namespace

std::string FormatChange(const Change& change) {
    return (change.port.empty() ? "" : change.port + " ") + change.name + " " +
           change.from.value_or("(unread)") + " -> " + change.to;
}

std::vector<Change> PortChanges(const PortInfo& before, const PortInfo& after) {
    std::vector<Change> out;
    const std::string& port = after.port.empty() ? after.serial : after.port;
    const auto was = NamedValues(before), now = NamedValues(after);
    for (std::size_t i = 0; i < now.size(); ++i)
        if (now[i].second && now[i].second != was[i].second)
            out.push_back({port, now[i].first, was[i].second, *now[i].second});
    return out;
}

std::string ListTable(const std::vector<PortInfo>& ports) {
    std::vector<std::vector<std::string>> rows = {{"PORT", "ATTACHED", "SERIAL", "DEVICE",
                                                   "READ-TO", "WRITE-TO", "POLLING", "LATENCY",
                                                   "BUFFERED", "ALIASES", "DESCRIPTION",
                                                   "OPTIONS"}};
    bool unread = false;
    for (const auto& p : ports) {
        std::vector<std::string> row = {
            p.port.empty() ? "?" : p.port,
            p.attached ? "yes" : "no",
            p.serial,
            HexId(p.deviceId),
            Num(p.settings.minReadTimeout),
            Num(p.settings.minWriteTimeout),
            Num(p.settings.pollingPeriod),
            Num(p.settings.latencyTimer),
            Buffered(p.bufferedWrites),
            p.baudAliases ? AliasTableName(*p.baudAliases) : "?",
            p.description,
            Options(p.settings)};
        for (std::size_t i = 0; i < row.size(); ++i)  // serial and description are free text
            if (i != 2 && i != 10) unread = unread || row[i].find('?') != std::string::npos;
        rows.push_back(std::move(row));
    }
    std::vector<std::size_t> width(rows[0].size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
    std::string out;
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) {
            // The numbers (READ-TO to LATENCY) right-aligned, texts left-aligned;
            // the last column unpadded.
            const std::string pad(width[i] - row[i].size(), ' ');
            if (i + 1 == row.size()) out += row[i] + "\n";
            else out += (i >= 4 && i <= 7 ? pad + row[i] : row[i] + pad) + "  ";
        }
    if (ports.empty()) out += "(no FTDI ports)\n";
    out += "BUFFERED: size/threshold/latency when on.";
    if (unread) out += " ?: could not be read.";
    return out + "\n";
}

std::string PortDetails(const PortInfo& p) {
    std::string out;
    const auto line = [&](const std::string& name, const std::string& value) {
        out += name + std::string(name.size() < 28 ? 28 - name.size() : 1, ' ') + value + "\n";
    };
    line("port", p.port.empty() ? "?" : p.port);
    line("attached", p.attached ? "yes" : "no");
    line("serial", p.serial);
    line("description", p.description);
    line("deviceId", HexId(p.deviceId));
    line("locationId", p.locationId ? HexId(*p.locationId) : "?");
    for (const auto& [name, value] : NamedValues(p)) line(name, value.value_or("?"));
    return out;
}

}  // namespace varnok::cli
