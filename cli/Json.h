// varnokctl's JSON: the port list of `list`/`show`, the adapter list of
// `modes list`, and the settings document of `export`/`import` (writer and
// a strict reader).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/Data.h"
#include "cli/Errors.h"
#include "cli/Values.h"

namespace varnok::cli {

// "0x04036001": eight lower-case hex digits.
std::string HexId(uint32_t value);

// An array of ports (list, show) and of adapters (modes list), indented,
// ending in a newline. Values that could not be read are null; settings
// the platform does not have are left out (Linux: the latency timer alone,
// no buffered writes or baud aliases).
std::string PortsJson(const std::vector<PortInfo>& ports, Platform platform = Platform::Windows);
std::string AdaptersJson(const std::vector<AdapterInfo>& adapters);

// What `export FILE` and `save PORT FILE` wrote (or, not `written`, would
// write): {"file", "ports": [COM names], "written"}.
std::string FileWrittenJson(const std::string& file, const std::vector<std::string>& ports,
                            bool written);

constexpr const char* kDocumentFormat = "varnokplus-settings";
constexpr int kDocumentVersion = 1;

// One entry of a settings document. An export names every port by serial
// and device id; a site profile may name ports by device id alone (every
// port of that id) or by "match": "*" (every port).
struct DocumentPort {
    enum class Match { Serial, DeviceId, Any };
    Match match = Match::Serial;
    std::optional<uint32_t> deviceId;  // with Match::Serial optional
    std::string serial;                // Match::Serial only
    std::string port;                  // COM name when exported; not used to match
    // What to apply, in this order: the whole ConfigData block, then the
    // named settings and buffered-write values. Empty ones stay as they are.
    std::optional<ConfigBytes> configData;
    PortSettings settings;
    BufferedWrites bufferedWrites;
    // An exported port as `list --json` shows it: the document then carries
    // the list's keys (description, locationId, attached, baudAliases too),
    // which a reader takes as information only.
    std::optional<PortInfo> listed;
};

struct SettingsDocument {
    std::optional<bool> ignoreSerial;  // empty: leave the flag alone
    std::vector<DocumentPort> ports;
};

// The document of an export: every port by serial and device id.
SettingsDocument ExportDocument(const std::vector<PortInfo>& ports,
                                std::optional<bool> ignoreSerial);
std::string WriteSettingsDocument(const SettingsDocument& doc);
// Reads and checks a whole document: format and version first, then every
// key, type and range; unknown and repeated keys are errors. Throws
// CliError (status 4) naming the line and column of a syntax error, or the
// JSON pointer of a bad value.
SettingsDocument ReadSettingsDocument(const std::string& text);

// Whether an entry applies to an installed port.
bool DocumentPortMatches(const DocumentPort& entry, const PortInfo& port);

}  // namespace varnok::cli
