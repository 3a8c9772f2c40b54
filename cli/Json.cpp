#include "cli/Json.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/ModeValues.h"
#include "cli/Values.h"
#include "common/platform/Parse.h"

namespace varnok::cli {

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

template <typename T>
ordered_json OrNull(const std::optional<T>& v) {
    return v ? ordered_json(*v) : ordered_json(nullptr);
}

ordered_json TextOrNull(const std::string& s) {
    return s.empty() ? ordered_json(nullptr) : ordered_json(s);
}

std::string Dump(const ordered_json& j) {
    // Texts from the registry may hold bytes that are not UTF-8.
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

ordered_json SettingsJson(const PortSettings& s) {
    ordered_json j = ordered_json::object();
    for (const auto& info : kSettings)
        j[info.jsonName] = info.number ? OrNull(s.*(info.number)) : OrNull(s.*(info.flag));
    return j;
}

ordered_json BufferedJson(const BufferedWrites& b) {
    return ordered_json{{"enabled", OrNull(b.enabled)},
                        {"size", OrNull(b.size)},
                        {"threshold", OrNull(b.threshold)},
                        {"latency", OrNull(b.latency)}};
}

// The whole ConfigData block as 128 hex digits, or null.
ordered_json ConfigDataJson(const std::optional<ConfigBytes>& bytes) {
    if (!bytes) return nullptr;
    const char kHex[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : *bytes) s += {kHex[b >> 4], kHex[b & 0x0F]};
    return s;
}

// One port of `list` and `show` (and on Windows of an export).
ordered_json PortEntryJson(const PortInfo& p, Platform platform) {
    ordered_json entry{
        {"port", TextOrNull(p.port)},
        {"serial", p.serial},
        {"description", p.description},
        {"deviceId", HexId(p.deviceId)},
        {"locationId", p.locationId ? ordered_json(HexId(*p.locationId)) : ordered_json(nullptr)},
        {"attached", p.attached},
    };
    if (platform == Platform::Linux) {
        entry["settings"] = {{"latencyTimer", OrNull(p.settings.latencyTimer)}};
        return entry;
    }
    entry["settings"] = SettingsJson(p.settings);
    entry["bufferedWrites"] = BufferedJson(p.bufferedWrites);
    ordered_json& aliases = entry["baudAliases"];  // null when they were not read
    if (p.baudAliases)
        for (std::size_t row = 0; row < kAliasRowRates.size(); ++row)
            aliases[std::to_string(kAliasRowRates[row])] = (*p.baudAliases)[row];
    return entry;
}

// ---- strict reading -----------------------------------------------------

[[noreturn]] void Bad(const std::string& path, const std::string& what) {
    throw CliError(ExitStatus::Refused,
                   "settings document: " + (path.empty() ? std::string("/") : path) + ": " + what);
}

// Builds the DOM with nlohmann's own parser, but refuses repeated keys and
// deep nesting, and keeps the syntax error instead of throwing it.
class StrictDomBuilder : public nlohmann::detail::json_sax_dom_parser<json> {
public:
    using Dom = nlohmann::detail::json_sax_dom_parser<json>;
    explicit StrictDomBuilder(json& root) : Dom(root, false) {}

    bool start_object(std::size_t n) { return Enter() && Dom::start_object(n); }
    bool key(json::string_t& k) {
        if (!keys_.back().insert(k).second) {
            error_ = "the key \"" + k + "\" appears twice in one object";
            return false;
        }
        return Dom::key(k);
    }
    bool end_object() {
        keys_.pop_back();
        return Dom::end_object();
    }
    bool start_array(std::size_t n) { return Enter() && Dom::start_array(n); }
    bool end_array() {
        keys_.pop_back();
        return Dom::end_array();
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 5: ..."
        std::string what = e.what();
        const auto close = what.find("] ");
        error_ = close == std::string::npos ? what : what.substr(close + 2);
        return false;
    }
    const std::string& error() const { return error_; }

private:
    bool Enter() {
        if (keys_.size() == kMaxDepth) {
            error_ = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
            return false;
        }
        keys_.emplace_back();
        return true;
    }
    static constexpr std::size_t kMaxDepth = 16;
    // The keys so far of each object and array still open (an array's stay
    // empty): one set per level of nesting.
    std::vector<std::set<std::string>> keys_;
    std::string error_;
};

// Refuses a key of `obj` that is not `allowed`; the message lists them after `unknown`.
void OnlyKeys(const json& obj, const std::string& path, const std::vector<std::string>& allowed,
              const char* unknown = "unknown key (known here: ") {
    for (const auto& item : obj.items())
        if (std::find(allowed.begin(), allowed.end(), item.key()) == allowed.end())
            Bad(path + "/" + item.key(), unknown + Join(allowed, ", ") + ")");
}

const json& Object(const json& j, const std::string& path) {
    if (!j.is_object()) Bad(path, std::string("expected an object, found ") + j.type_name());
    return j;
}

std::optional<uint32_t> OptNumber(const json& obj, const char* key, const std::string& path,
                                  uint32_t min, uint32_t max) {
    const auto it = obj.find(key);
    if (it == obj.end() || it->is_null()) return std::nullopt;
    const std::string at = path + "/" + key;
    if (it->is_number_float()) Bad(at, it->dump() + " is not a whole number");
    if (!it->is_number()) Bad(at, std::string("expected a number or null, found ") + it->type_name());
    const bool negative = !it->is_number_unsigned();  // also "-0"
    const uint64_t v = negative ? 0 : it->get<uint64_t>();
    if (negative || v < min || v > max)
        Bad(at, it->dump() + " is out of range (" + std::to_string(min) + " to " +
                    std::to_string(max) + ")");
    return static_cast<uint32_t>(v);
}

std::optional<bool> OptBool(const json& obj, const char* key, const std::string& path) {
    const auto it = obj.find(key);
    if (it == obj.end() || it->is_null()) return std::nullopt;
    if (!it->is_boolean())
        Bad(path + "/" + key, std::string("expected true, false or null, found ") + it->type_name());
    return it->get<bool>();
}

uint32_t ParseHexId(const json& j, const std::string& path) {
    const std::string what = "expected a device id such as \"0x04036001\"";
    if (!j.is_string()) Bad(path, what + ", found " + j.type_name());
    const auto& s = j.get_ref<const std::string&>();
    const bool prefixed =
        s.size() >= 3 && s.size() <= 10 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::optional<uint32_t> v = prefixed ? parse::FixedHex(s, 2, s.size() - 2) : std::nullopt;
    if (!v) Bad(path, what + ", found \"" + s + "\"");
    return *v;
}

ConfigBytes ParseConfigBytes(const json& j, const std::string& path) {
    if (!j.is_string() || j.get_ref<const std::string&>().size() != 128)
        Bad(path, "expected the 64 ConfigData bytes as 128 hex digits");
    const auto& s = j.get_ref<const std::string&>();
    ConfigBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int hi = parse::HexDigit(s[2 * i]), lo = parse::HexDigit(s[2 * i + 1]);
        if (hi < 0 || lo < 0)
            Bad(path, "\"" + s.substr(2 * i, 2) + "\" at byte " + std::to_string(i) +
                          " is not a hex byte");
        bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return bytes;
}

DocumentPort ReadPort(const json& j, const std::string& path) {
    Object(j, path);
    OnlyKeys(j, path, {"match", "serial", "deviceId", "port", "configData", "settings",
                       "bufferedWrites", "description", "locationId", "attached", "baudAliases"});
    // What an export shows as `list` does: information, not applied (the
    // aliases are in configData).
    const std::pair<const char*, bool (json::*)() const noexcept> shown[] = {
        {"description", &json::is_string},
        {"locationId", &json::is_string},
        {"attached", &json::is_boolean},
        {"baudAliases", &json::is_object}};
    for (const auto& [key, isType] : shown)
        if (j.contains(key) && !j[key].is_null() && !(j[key].*isType)())
            Bad(path + "/" + key, std::string("unexpected ") + j[key].type_name());
    DocumentPort port;
    const bool hasSerial = j.contains("serial"), hasId = j.contains("deviceId");
    if (j.contains("match")) {
        if (j["match"] != "*") Bad(path + "/match", "only \"*\" (every port) is known");
        if (hasSerial || hasId) Bad(path, "\"match\": \"*\" goes without serial and deviceId");
        port.match = DocumentPort::Match::Any;
    } else if (hasSerial) {
        if (!j["serial"].is_string()) Bad(path + "/serial", "expected the port's serial as a text");
        port.serial = j["serial"].get<std::string>();
        port.match = DocumentPort::Match::Serial;
    } else if (hasId) {
        port.match = DocumentPort::Match::DeviceId;
    } else {
        Bad(path, "a port needs \"serial\", \"deviceId\" or \"match\": \"*\"");
    }
    if (hasId) port.deviceId = ParseHexId(j["deviceId"], path + "/deviceId");
    if (j.contains("port") && !j["port"].is_null()) {
        if (!j["port"].is_string()) Bad(path + "/port", "expected a COM name or null");
        port.port = j["port"].get<std::string>();
    }
    if (j.contains("configData") && !j["configData"].is_null())
        port.configData = ParseConfigBytes(j["configData"], path + "/configData");
    if (j.contains("settings") && !j["settings"].is_null()) {
        const std::string at = path + "/settings";
        const auto& s = Object(j["settings"], at);
        std::vector<std::string> names;
        for (const auto& info : kSettings) names.push_back(info.jsonName);
        OnlyKeys(s, at, names, "unknown setting (known: ");
        for (const auto& info : kSettings) {
            if (info.number)
                port.settings.*(info.number) = OptNumber(s, info.jsonName, at, info.min, info.max);
            else
                port.settings.*(info.flag) = OptBool(s, info.jsonName, at);
        }
    }
    if (j.contains("bufferedWrites") && !j["bufferedWrites"].is_null()) {
        const std::string at = path + "/bufferedWrites";
        const auto& b = Object(j["bufferedWrites"], at);
        OnlyKeys(b, at, {"enabled", "size", "threshold", "latency"});
        port.bufferedWrites.enabled = OptBool(b, "enabled", at);
        port.bufferedWrites.size = OptNumber(b, "size", at, 1, 4096);
        port.bufferedWrites.threshold = OptNumber(b, "threshold", at, 1, 20);
        port.bufferedWrites.latency = OptNumber(b, "latency", at, 1, 16);
    }
    return port;
}

}  // namespace

std::string HexId(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(value));
    return buf;
}

std::string PortsJson(const std::vector<PortInfo>& ports, Platform platform) {
    ordered_json list = ordered_json::array();
    for (const auto& p : ports) list.push_back(PortEntryJson(p, platform));
    return Dump(list);
}

std::string AdaptersJson(const std::vector<AdapterInfo>& adapters) {
    ordered_json list = ordered_json::array();
    for (const auto& a : adapters) {
        ordered_json ports = ordered_json::array();
        for (const auto& p : a.ports) {
            const char* name = ModeName(a.model, p.modeCode);
            ordered_json port{{"number", p.number},
                              {"port", TextOrNull(p.com)},
                              {"mode", p.modeCode},
                              {"modeName", name ? ordered_json(name) : ordered_json(nullptr)}};
            for (const auto& bit : ModelBits(a.model))
                port[bit.name] = (p.controlBits & bit.value) != 0;
            ports.push_back(std::move(port));
        }
        list.push_back(ordered_json{{"adapter", a.line},
                                    {"via", TextOrNull(a.via)},
                                    {"model", ModelName(a.model)},
                                    {"ports", std::move(ports)}});
    }
    return Dump(list);
}

std::string FileWrittenJson(const std::string& file, const std::vector<std::string>& ports,
                            bool written) {
    ordered_json names = ordered_json::array();
    for (const auto& p : ports) names.push_back(TextOrNull(p));
    return Dump(ordered_json{{"file", file}, {"ports", std::move(names)}, {"written", written}});
}

SettingsDocument ExportDocument(const std::vector<PortInfo>& ports,
                                std::optional<bool> ignoreSerial) {
    SettingsDocument doc{ignoreSerial, {}};
    for (const auto& p : ports)
        doc.ports.push_back({DocumentPort::Match::Serial, p.deviceId, p.serial, p.port,
                             p.configData, p.settings, p.bufferedWrites, p});
    return doc;
}

std::string WriteSettingsDocument(const SettingsDocument& doc) {
    ordered_json ports = ordered_json::array();
    for (const auto& p : doc.ports) {
        if (p.listed) {
            // The keys of `list --json`, then the whole ConfigData block.
            ports.push_back(PortEntryJson(*p.listed, Platform::Windows));
            ports.back()["configData"] = ConfigDataJson(p.configData);
            continue;
        }
        ordered_json& entry = ports.emplace_back(ordered_json::object());
        if (p.match == DocumentPort::Match::Any) entry["match"] = "*";
        if (p.match == DocumentPort::Match::Serial) entry["serial"] = p.serial;
        if (p.deviceId) entry["deviceId"] = HexId(*p.deviceId);
        if (!p.port.empty()) entry["port"] = p.port;
        entry["configData"] = ConfigDataJson(p.configData);
        entry["settings"] = SettingsJson(p.settings);
        entry["bufferedWrites"] = BufferedJson(p.bufferedWrites);
    }
    const ordered_json j{{"format", kDocumentFormat},
                         {"version", kDocumentVersion},
                         {"ignoreSerial", OrNull(doc.ignoreSerial)},
                         {"ports", std::move(ports)}};
    return Dump(j);
}

SettingsDocument ReadSettingsDocument(const std::string& text) {
    json root;
    StrictDomBuilder builder(root);
    if (!json::sax_parse(text, &builder) || root.is_discarded())
        throw CliError(ExitStatus::Refused, "settings document: " +
                                                (builder.error().empty() ? std::string("not JSON")
                                                                         : builder.error()));
    Object(root, "");
    // Format and version first: a foreign document is named as such rather
    // than picked apart.
    if (!root.contains("format") || root["format"] != kDocumentFormat)
        Bad("/format", std::string("not a \"") + kDocumentFormat + "\" document");
    const auto version = root.find("version");
    if (version == root.end() || !version->is_number_unsigned() || *version != kDocumentVersion)
        Bad("/version", (version == root.end() ? std::string("missing") : version->dump()) +
                            ": this program reads version " + std::to_string(kDocumentVersion));
    OnlyKeys(root, "", {"format", "version", "ignoreSerial", "ports"});
    SettingsDocument doc;
    doc.ignoreSerial = OptBool(root, "ignoreSerial", "");
    const auto ports = root.find("ports");
    if (ports == root.end() || !ports->is_array()) Bad("/ports", "expected an array of ports");
    for (std::size_t i = 0; i < ports->size(); ++i)
        doc.ports.push_back(ReadPort((*ports)[i], "/ports/" + std::to_string(i)));
    return doc;
}

bool DocumentPortMatches(const DocumentPort& entry, const PortInfo& port) {
    switch (entry.match) {
    case DocumentPort::Match::Any: return true;
    case DocumentPort::Match::DeviceId: return entry.deviceId == port.deviceId;
    case DocumentPort::Match::Serial:
        return entry.serial == port.serial && (!entry.deviceId || *entry.deviceId == port.deviceId);
    }
    return false;
}

}  // namespace varnok::cli
