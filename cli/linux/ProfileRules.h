// A site profile (the settings document of `import`) on Linux: which of its
// settings exist here (the latency timer only), and the udev rules that
// `import --persist` writes from its entries so that adapters plugged in
// later get the profile's value. All of a profile's rules live in one file,
// 74-varnokctl-profile.rules, replaced whole by the next import; the
// per-port files of `set --persist` (75-...) sort after it, so a port's own
// rule is applied last and wins. Within the file the entries keep the
// document's order: a later entry wins, as it does on Windows.
//
// Nothing of the profile's text becomes rule text: a serial is matched
// through UdevMatchPattern, ids are written as hexadecimal numbers, and the
// comments name entries by their position only.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/Json.h"

namespace varnok::linuxhost {

constexpr const char* kProfileRuleFileName = "74-varnokctl-profile.rules";

// How an entry is named in messages and in the "port" of a result:
// "*", "deviceId:0x04036001", or "serial:" and the entry's serial.
std::string ProfileTarget(const cli::DocumentPort& entry);

// One warning per setting of the document that does not exist on Linux
// (everything but the latency timer), naming the entry by its position.
std::vector<std::string> SkippedLinuxSettings(const cli::SettingsDocument& doc);

struct ProfileRule {
    std::size_t entry = 0;  // position in the document's ports, from 0
    std::string target;     // ProfileTarget of the entry
    uint32_t latencyTimer = 0;
    std::string lines;      // the rule, one or two lines
};

struct ProfileRulePlan {
    std::vector<ProfileRule> rules;     // in the document's order
    std::vector<std::string> warnings;  // entries that cannot become a rule
    std::string fileText;               // empty when there is no rule
};

// The rules of every entry with a latency timer: "match": "*" one line for
// every FTDI usb-serial port, a device id one line on idVendor/idProduct, a
// serial two lines (the USB device by its serial, then the interface named
// by the serial's last letter, A-H). A serial entry that names no interface
// letter or no USB serial cannot become a rule and is warned about.
ProfileRulePlan PlanProfileRules(const cli::SettingsDocument& doc);

}  // namespace varnok::linuxhost
