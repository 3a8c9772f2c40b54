// Parsers of varnokctl's arguments (ports, settings, aliases, adapters,
// modes) and the rules that check them. Pure functions: they throw CliError
// with the exit status the user gets (usage 2, not found 3, refused 4).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/Data.h"
#include "cli/Errors.h"
#include "configurator/settings/Panel.h"

namespace varnok::cli {

// Which command set and port names apply.
enum class Platform { Windows, Linux };
#ifdef _WIN32
constexpr Platform kHostPlatform = Platform::Windows;
#else
constexpr Platform kHostPlatform = Platform::Linux;
#endif

// ---- PORT -------------------------------------------------------------

struct PortRef {
    enum class Kind { ComName, Serial, Tty };
    Kind kind = Kind::ComName;
    // COM name normalised to "COMn"; the serial after "serial:" (on Linux
    // with its interface letter in upper case); the tty name without /dev/.
    std::string name;
    std::string text;  // as typed, for messages
};

// Windows: "COM5" (any case, leading zeros allowed: "com05"), "5", "\\.\COM5",
// "serial:A1B2C3D4A". Linux: "ttyUSB0",
// "/dev/ttyUSB0", "serial:<usb serial><interface letter A-D>".
PortRef ParsePortRef(const std::string& text, Platform platform);
// The forms of PORT that --help and a refused PORT name.
inline const char* PortForms(Platform platform) {
    return platform == Platform::Windows
               ? "COM5 or serial:<registry serial>"
               : "ttyUSB0, /dev/ttyUSB0 or serial:<usb serial><interface letter>";
}
// Whether `port` is the one `ref` names (COM names compare without case).
bool PortRefMatches(const PortRef& ref, const PortInfo& port);

// PORT or --all (every attached port; with includeDisconnected every
// installed one).
struct PortTarget {
    bool all = false;
    bool includeDisconnected = false;
    PortRef port;  // when !all
};

// ---- set NAME=VALUE ---------------------------------------------------

using Preset = cfg::Preset;  // the model's presets

// One settable name: the command-line name, the JSON name, and either a
// number range or an on/off switch.
struct SettingInfo {
    const char* cliName;   // "latency-timer"
    const char* jsonName;  // "latencyTimer"
    std::optional<uint32_t> PortSettings::*number;  // null for a switch
    std::optional<bool> PortSettings::*flag;        // null for a number
    uint32_t min;
    uint32_t max;
};
extern const SettingInfo kSettings[10];

// What one `set` call asks for: the preset first, then the named values.
struct SettingsChange {
    std::optional<Preset> preset;
    PortSettings values;  // only the names given are set
};
// `where` names the port (or "--all") in messages. NAME is the command-line
// name (latency-timer) or the JSON name (latencyTimer). On Linux only the
// latency timer may be set.
SettingsChange ParseSetAssignments(const std::vector<std::string>& items,
                                   const std::string& where, Platform platform);

// "on" / "off"; anything else is a usage error naming `what`.
bool ParseOnOff(const std::string& text, const std::string& what);

// ---- buffered on|off [size=N] [threshold=N] [latency=N] ---------------

struct BufferedChange {
    bool enable = false;
    std::optional<uint32_t> size;       // 1..4096
    std::optional<uint32_t> threshold;  // 1..20
    std::optional<uint32_t> latency;    // 1..16
};
BufferedChange ParseBuffered(const std::string& onOff, const std::vector<std::string>& params,
                             const std::string& where);

// ---- alias RATE=TARGET, --table ---------------------------------------

enum class AliasTable { Standard, Brivane };
AliasTable ParseAliasTable(const std::string& text);

struct AliasAssignment {
    int row = 0;          // 0..13, the dialog's row
    uint32_t target = 0;  // the rate the port shall generate
};
// RATE is a row label (kAliasRowRates); TARGET a rate the chip can make:
// 3000000, 2000000, or 184 to 1500000.
std::vector<AliasAssignment> ParseAliasAssignments(const std::vector<std::string>& items,
                                                   const std::string& where);

// The rate each alias row generates with this ConfigData (3,000,000 over the
// row's effective divisor, rounded to whole baud).
AliasRates AliasRatesOf(const cfg::ConfigBytes& data);

// ---- rename COMn ------------------------------------------------------

// "COM7" (any case) -> 7; COM1 to COM256.
int ParseComNumber(const std::string& text, const std::string& where);

// The name of `names` closest to `word` (edit distance, letters compared
// without case), when it is close enough to be a typing error of it; else
// empty. For "did you mean" in messages.
std::string ClosestName(const std::string& word, const std::vector<std::string>& names);
// " (did you mean NAME?)" or empty.
std::string DidYouMean(const std::string& word, const std::vector<std::string>& names);

// Throws CliError(status, message): how every command of varnokctl fails.
[[noreturn]] void Fail(ExitStatus status, const std::string& message);

// Shared by the parsers: lower case (ASCII); "NAME=VALUE" split (a usage
// error without '=' or with an empty side, naming `where` and the `form`);
// items joined with `sep`.
std::string Lower(std::string s);
std::pair<std::string, std::string> SplitAssignment(const std::string& item,
                                                    const std::string& where, const char* form);
std::string Join(const std::vector<std::string>& items, const char* sep);

// Digits only -> value (saturating at UINT64_MAX); nullopt for anything else.
std::optional<uint64_t> ParseDigits(const std::string& text);

}  // namespace varnok::cli
