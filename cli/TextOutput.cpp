#include "cli/TextOutput.h"

#include <algorithm>

#include "cli/Json.h"
#include "cli/Values.h"

namespace varnok::cli {

namespace {

std::string Num(const std::optional<uint32_t>& v) { return v ? std::to_string(*v) : "?"; }
std::string OnOff(const std::optional<bool>& v) { return v ? (*v ? "on" : "off") : "?"; }

template <typename T>
void AddChange(std::vector<Change>& out, const std::string& port, const std::string& name,
               const std::optional<T>& before, const std::optional<T>& after,
               std::string (*text)(const std::optional<T>&)) {
    if (!after || before == after) return;
    Change c{port, name, std::nullopt, text(after)};
    if (before) c.from = text(before);
    out.push_back(std::move(c));
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

}  // namespace

std::string FormatChange(const Change& change) {
    std::string line;
    if (!change.port.empty()) line = change.port + " ";
    return line + change.name + " " + change.from.value_or("(unread)") + " -> " + change.to;
}

std::vector<Change> PortChanges(const PortInfo& before, const PortInfo& after) {
    std::vector<Change> out;
    const std::string& port = after.port.empty() ? after.serial : after.port;
    for (const auto& info : kSettings) {
        if (info.number)
            AddChange<uint32_t>(out, port, info.jsonName, before.settings.*(info.number),
                                after.settings.*(info.number), Num);
        else
            AddChange<bool>(out, port, info.jsonName, before.settings.*(info.flag),
                            after.settings.*(info.flag), OnOff);
    }
    const auto& b0 = before.bufferedWrites;
    const auto& b1 = after.bufferedWrites;
    AddChange<bool>(out, port, "bufferedWrites.enabled", b0.enabled, b1.enabled, OnOff);
    AddChange<uint32_t>(out, port, "bufferedWrites.size", b0.size, b1.size, Num);
    AddChange<uint32_t>(out, port, "bufferedWrites.threshold", b0.threshold, b1.threshold, Num);
    AddChange<uint32_t>(out, port, "bufferedWrites.latency", b0.latency, b1.latency, Num);
    if (after.baudAliases) {
        for (std::size_t row = 0; row < kAliasRowRates.size(); ++row) {
            const std::optional<uint32_t> was =
                before.baudAliases ? std::optional<uint32_t>((*before.baudAliases)[row])
                                   : std::nullopt;
            AddChange<uint32_t>(out, port, "baudAliases." + std::to_string(kAliasRowRates[row]),
                                was, (*after.baudAliases)[row], Num);
        }
    }
    return out;
}

const char* AliasTableName(const AliasRates& rates) {
    if (rates == kStandardAliasRates) return "standard";
    if (rates == kBrivaneAliasRates) return "brivane";
    return "custom";
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
    // Numbers right-aligned, texts left-aligned; the last column unpadded.
    const std::vector<bool> right = {false, false, false, false, true,  true,
                                     true,  true,  false, false, false, false};
    std::vector<std::size_t> width(rows[0].size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(width[i] - row[i].size(), ' ');
            if (i + 1 == row.size()) line += row[i];
            else line += (right[i] ? pad + row[i] : row[i] + pad) + "  ";
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
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
    for (const auto& info : kSettings)
        line(info.jsonName, info.number ? Num(p.settings.*(info.number))
                                        : OnOff(p.settings.*(info.flag)));
    line("bufferedWrites.enabled", OnOff(p.bufferedWrites.enabled));
    line("bufferedWrites.size", Num(p.bufferedWrites.size));
    line("bufferedWrites.threshold", Num(p.bufferedWrites.threshold));
    line("bufferedWrites.latency", Num(p.bufferedWrites.latency));
    for (std::size_t row = 0; row < kAliasRowRates.size(); ++row)
        line("baudAliases." + std::to_string(kAliasRowRates[row]),
             p.baudAliases ? std::to_string((*p.baudAliases)[row]) : "?");
    return out;
}

}  // namespace varnok::cli
