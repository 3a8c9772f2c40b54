#include "cli/ModeValues.h"

#include <algorithm>
#include <set>

#include "modetool/Modes.h"

namespace varnok::cli {

PortSelection ParsePortSelection(const std::string& text) {
    PortSelection sel;
    sel.text = text;
    if (text == "all") {
        sel.all = true;
        return sel;
    }
    const auto bad = [&](const std::string& why) -> PortSelection {
        Fail(ExitStatus::Usage, "ports \"" + text + "\": " + why +
                                    " (give 1, 1,3, 2-4 or all)");
    };
    const auto number = [&](const std::string& s) -> int {
        const auto n = ParseDigits(s);
        if (!n || *n == 0 || *n > 64) bad("\"" + s + "\" is not a port number 1 to 64");
        return static_cast<int>(*n);
    };
    std::set<int> ports;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos
                                                                                 : comma - start);
        const auto dash = part.find('-');
        if (dash == std::string::npos) {
            ports.insert(number(part));
        } else {
            const int from = number(part.substr(0, dash));
            const int to = number(part.substr(dash + 1));
            if (from > to) bad("the range " + part + " runs backwards");
            for (int p = from; p <= to; ++p) ports.insert(p);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    sel.ports.assign(ports.begin(), ports.end());
    return sel;
}

std::vector<int> ResolvePortSelection(const PortSelection& sel, const AdapterInfo& adapter) {
    const int count = static_cast<int>(adapter.ports.size());
    if (sel.all) {
        std::vector<int> all;
        for (int p = 1; p <= count; ++p) all.push_back(p);
        return all;
    }
    for (int p : sel.ports)
        if (p > count)
            Fail(ExitStatus::NotFound, "adapter \"" + adapter.line + "\" has " +
                                           std::to_string(count) + " ports: there is no port " +
                                           std::to_string(p));
    return sel.ports;
}

std::size_t ResolveAdapter(const std::string& text, const std::vector<AdapterInfo>& adapters) {
    const auto listing = [&] {
        if (adapters.empty()) return std::string("no adapter was found");
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < adapters.size(); ++i)
            lines.push_back(std::to_string(i + 1) + " \"" + adapters[i].line + "\" via " +
                            adapters[i].via);
        return "adapters: " + Join(lines, "; ");
    };
    if (const auto n = ParseDigits(text)) {
        if (*n >= 1 && *n <= adapters.size()) return static_cast<std::size_t>(*n - 1);
        Fail(ExitStatus::NotFound, "adapter " + text + " not found (" + listing() + ")");
    }
    const std::string bare = text.rfind("/dev/", 0) == 0 ? text.substr(5) : text;
    for (std::size_t i = 0; i < adapters.size(); ++i)
        if (!adapters[i].via.empty() && Lower(adapters[i].via) == Lower(bare)) return i;
    std::vector<std::size_t> hits;
    for (std::size_t i = 0; i < adapters.size(); ++i)
        if (adapters[i].line == text) hits.push_back(i);
    if (hits.size() == 1) return hits[0];
    if (hits.size() > 1)
        Fail(ExitStatus::Usage, "adapter \"" + text + "\" is listed " +
                                    std::to_string(hits.size()) +
                                    " times: name it by its number or its COM port (" + listing() +
                                    ")");
    Fail(ExitStatus::NotFound, "adapter \"" + text + "\" not found (" + listing() + ")");
}

namespace {

// The mode tool's tables are the one source of modes and bits.
uint16_t TypeCodeOf(AdapterModel model) {
    return model == AdapterModel::Reduced ? mode::kReducedTypeCode : mode::kStandardTypeCode;
}

std::vector<std::string> Names(const char* const* table) {
    std::vector<std::string> names;
    for (; **table != '\0'; ++table) names.emplace_back(*table);
    return names;
}

// Bit b has the value 1 << b; its name is its label in lower case.
std::vector<BitInfo> BitsOf(AdapterModel model) {
    std::vector<BitInfo> bits;
    for (const std::string& label : Names(mode::BitTable(TypeCodeOf(model))))
        bits.push_back({Lower(label), static_cast<uint8_t>(1u << bits.size())});
    return bits;
}

}  // namespace

const std::vector<std::string>& ModeNames(AdapterModel model) {
    static const std::vector<std::string> kStandard =
        Names(mode::ModeNames(mode::kStandardTypeCode));
    static const std::vector<std::string> kReduced = Names(mode::ModeNames(mode::kReducedTypeCode));
    return model == AdapterModel::Reduced ? kReduced : kStandard;
}

const char* ModeName(AdapterModel model, int code) {
    const auto& names = ModeNames(model);
    if (code < 1 || code > static_cast<int>(names.size())) return nullptr;
    return names[static_cast<std::size_t>(code - 1)].c_str();
}

bool IsRs232(AdapterModel model, int code) {
    return mode::HasMode(TypeCodeOf(model), code) && mode::BitsDisabled(code, TypeCodeOf(model));
}

const std::vector<BitInfo>& ModelBits(AdapterModel model) {
    static const std::vector<BitInfo> kBits[] = {BitsOf(AdapterModel::Standard),
                                                 BitsOf(AdapterModel::Reduced)};
    return kBits[model == AdapterModel::Reduced ? 1 : 0];
}

const char* ModelName(AdapterModel model) {
    return model == AdapterModel::Reduced ? "reduced" : "standard";
}

ModeSpec ParseModeSpec(const std::string& text) {
    ModeSpec spec;
    spec.text = text;
    if (const auto n = ParseDigits(text)) {
        if (*n < 1 || *n > 8)
            Fail(ExitStatus::Refused, "mode " + text + " is out of range (1 to 8)");
        spec.code = static_cast<int>(*n);
        return spec;
    }
    for (auto model : {AdapterModel::Standard, AdapterModel::Reduced})
        for (const auto& name : ModeNames(model))
            if (name == text) {
                spec.name = text;
                return spec;
            }
    Fail(ExitStatus::Usage, "unknown mode \"" + text + "\": give 1 to 8, " +
                                Join(ModeNames(AdapterModel::Standard), ", ") + ", or on a "
                                "reduced adapter " + Join(ModeNames(AdapterModel::Reduced), ", "));
}

std::vector<BitAssignment> ParseBitAssignments(const std::vector<std::string>& items) {
    std::vector<BitAssignment> out;
    for (const auto& item : items) {
        const auto [name, value] = SplitAssignment(item, "bits", "NAME=on|off");
        if (name != "bias" && name != "termination" && name != "txterm" && name != "rxterm")
            Fail(ExitStatus::Usage,
                 "unknown bit " + name + " (bias, termination, txterm, rxterm)");
        for (const auto& b : out)
            if (b.name == name) Fail(ExitStatus::Usage, "bit " + name + " is given twice");
        out.push_back({name, ParseOnOff(value, name)});
    }
    return out;
}

void ApplyModeSet(AdapterInfo& adapter, const std::vector<int>& ports, const ModeSpec& mode,
                  const std::vector<BitAssignment>& bits) {
    const std::string which = "adapter \"" + adapter.line + "\" (" + ModelName(adapter.model) +
                              " model)";
    // The mode's code on this model: a number must be one of its codes, a
    // name one of its names.
    const auto& modes = ModeNames(adapter.model);
    int code = mode.code;
    if (code > static_cast<int>(modes.size()))
        Fail(ExitStatus::Refused, which + " has no mode " + mode.text + " (modes 1 to " +
                                      std::to_string(modes.size()) + ")");
    if (code == 0) {
        const auto named = std::find(modes.begin(), modes.end(), mode.name);
        if (named == modes.end())
            Fail(ExitStatus::Refused,
                 which + " has no mode " + mode.name + " (its modes: " + Join(modes, ", ") + ")");
        code = static_cast<int>(named - modes.begin()) + 1;
    }
    uint8_t mask = 0, value = 0;
    for (const auto& b : bits) {
        const BitInfo* info = nullptr;
        for (const auto& known : ModelBits(adapter.model))
            if (b.name == known.name) info = &known;
        if (!info) {
            std::vector<std::string> names;
            for (const auto& known : ModelBits(adapter.model)) names.emplace_back(known.name);
            Fail(ExitStatus::Refused,
                 which + " has no bit " + b.name + " (its bits: " + Join(names, ", ") + ")");
        }
        mask |= info->value;
        if (b.on) value |= info->value;
    }
    if (mask != 0 && IsRs232(adapter.model, code))
        Fail(ExitStatus::Refused, which + ": a port in RS232 mode has no bias or termination "
                                          "bits; set the mode alone");
    for (int p : ports) {
        if (p < 1 || p > static_cast<int>(adapter.ports.size())) continue;
        auto& port = adapter.ports[static_cast<std::size_t>(p - 1)];
        port.modeCode = code;
        port.controlBits = static_cast<uint8_t>((port.controlBits & ~mask) | value);
    }
}

}  // namespace varnok::cli
