// A device's serial (outside text) made into a udev rule, and rule files
// read back: the rule keeps its three lines and its quotes whatever the
// serial holds, and reading any file gives a value in range or nothing.
// The same text as the serial of a site profile's entry: its rule file
// keeps its lines and quotes too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/linux/LatencyTimer.h"
#include "cli/linux/ProfileRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace varnok::linuxhost;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto v = PersistedLatency(text); v && (*v < 1 || *v > 255)) std::abort();

    FtdiTty port;
    port.usbSerial = text;
    port.interfaceNumber = size > 0 ? data[0] % 8 : 0;
    const uint32_t value = 1 + static_cast<uint32_t>(size % 255);
    const std::string rule = LatencyRuleText(port, value);
    std::size_t lines = 0, quotes = 0;
    for (const char c : rule) {
        lines += c == '\n';
        quotes += c == '"';
        if (c == '\\' || (static_cast<unsigned char>(c) < 0x20 && c != '\n')) std::abort();
    }
    if (lines != 3 || quotes % 2 != 0 || PersistedLatency(rule) != value) std::abort();
    const std::string name = LatencyRuleFileName(port);
    if (name.find('/') != std::string::npos || name.size() > 80) std::abort();

    varnok::cli::SettingsDocument doc;
    doc.ports.resize(1);
    doc.ports[0].serial = text;
    doc.ports[0].settings.latencyTimer = value;
    const ProfileRulePlan plan = PlanProfileRules(doc);
    if (plan.rules.size() + plan.warnings.size() != 1) std::abort();
    lines = quotes = 0;
    for (const char c : plan.fileText) {
        lines += c == '\n';
        quotes += c == '"';
        if (c == '\\' || (static_cast<unsigned char>(c) < 0x20 && c != '\n')) std::abort();
    }
    // The header, the entry's comment and its two lines.
    if (!plan.rules.empty() && (lines != 6 || quotes % 2 != 0)) std::abort();
    return 0;
}
