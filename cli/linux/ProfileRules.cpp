#include "cli/linux/ProfileRules.h"

#include <cstdio>

#include "cli/Values.h"
#include "cli/linux/LatencyTimer.h"

namespace varnok::linuxhost {

namespace {

constexpr char kFileHeader[] =
    "# Written by varnokctl import --persist: the latency timer of FTDI ports from a site\n"
    "# profile. The next import --persist replaces this file whole. Later entries win, and\n"
    "# a port's own rule of set --persist (75-varnokctl-latency-*) comes after this file.\n";

std::string Hex4(uint32_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(v & 0xFFFF));
    return buf;
}

std::string EntryName(std::size_t index, const cli::DocumentPort& entry) {
    return "entry " + std::to_string(index + 1) + " (" + ProfileTarget(entry) + ")";
}

constexpr char kAnyPort[] = "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ";

}  // namespace

std::string ProfileTarget(const cli::DocumentPort& entry) {
    switch (entry.match) {
    case cli::DocumentPort::Match::Any: return "*";
    case cli::DocumentPort::Match::DeviceId: return "deviceId:" + cli::HexId(*entry.deviceId);
    case cli::DocumentPort::Match::Serial: return "serial:" + entry.serial;
    }
    return "";
}

std::vector<std::string> SkippedLinuxSettings(const cli::SettingsDocument& doc) {
    std::vector<std::string> warnings;
    const auto skip = [&](const std::string& who, const std::string& name) {
        warnings.push_back(who + name + " does not exist on Linux; skipped");
    };
    if (doc.ignoreSerial) skip("", "ignoreSerial");
    for (std::size_t i = 0; i < doc.ports.size(); ++i) {
        const cli::DocumentPort& entry = doc.ports[i];
        const std::string who = EntryName(i, entry) + ": ";
        if (entry.configData) skip(who, "configData");
        for (const cli::SettingInfo& info : cli::kSettings) {
            if (info.number == &cli::PortSettings::latencyTimer) continue;
            const bool given = info.number ? (entry.settings.*(info.number)).has_value()
                                           : (entry.settings.*(info.flag)).has_value();
            if (given) skip(who, info.jsonName);
        }
        const cli::BufferedWrites& b = entry.bufferedWrites;
        if (b.enabled) skip(who, "bufferedWrites.enabled");
        if (b.size) skip(who, "bufferedWrites.size");
        if (b.threshold) skip(who, "bufferedWrites.threshold");
        if (b.latency) skip(who, "bufferedWrites.latency");
    }
    return warnings;
}

ProfileRulePlan PlanProfileRules(const cli::SettingsDocument& doc) {
    ProfileRulePlan plan;
    for (std::size_t i = 0; i < doc.ports.size(); ++i) {
        const cli::DocumentPort& entry = doc.ports[i];
        if (!entry.settings.latencyTimer) continue;
        ProfileRule rule{i, ProfileTarget(entry), *entry.settings.latencyTimer, ""};
        const std::string value = std::to_string(rule.latencyTimer);
        const std::string assign = "ATTR{latency_timer}=\"" + value + "\"\n";
        const std::string number = std::to_string(i + 1);
        std::string comment = "# entry " + number + ": latency timer " + value + " ms for ";
        // The USB device's keys of a device id or a serial entry.
        const uint32_t id = entry.deviceId.value_or(0x04030000u);
        const std::string deviceKeys =
            kAnyPort + std::string("ATTRS{idVendor}==\"") + Hex4(id >> 16) + "\", " +
            (entry.deviceId ? "ATTRS{idProduct}==\"" + Hex4(id) + "\", " : "");
        switch (entry.match) {
        case cli::DocumentPort::Match::Any:
            comment += "every FTDI port";
            rule.lines = kAnyPort + std::string("ATTRS{idVendor}==\"0403\", ") + assign;
            break;
        case cli::DocumentPort::Match::DeviceId:
            comment += "every port of device id " + cli::HexId(id);
            rule.lines = deviceKeys + assign;
            break;
        case cli::DocumentPort::Match::Serial: {
            // The port's serial is the USB serial and the interface letter.
            const std::string& serial = entry.serial;
            const char letter = serial.empty() ? '\0' : serial.back();
            if (serial.size() < 2 || letter < 'A' || letter > 'H') {
                plan.warnings.push_back(EntryName(i, entry) +
                                        ": the serial does not end in an interface letter "
                                        "after a USB serial number, so no udev rule can name "
                                        "its port; no rule written");
                continue;
            }
            const std::string usbSerial = serial.substr(0, serial.size() - 1);
            const std::string pattern = UdevMatchPattern(usbSerial);
            if (pattern.find_first_not_of("?*") == std::string::npos) {
                plan.warnings.push_back(EntryName(i, entry) +
                                        ": the serial holds no plain letter or digit to match, "
                                        "so a udev rule would take other devices as well; no "
                                        "rule written");
                continue;
            }
            char interfaceNumber[4];
            std::snprintf(interfaceNumber, sizeof interfaceNumber, "%02x", letter - 'A');
            const std::string flag = "VARNOKCTL_PROFILE_" + number;
            comment += "interface " + std::string(1, letter) +
                       " of the device whose serial number is matched below";
            // udev matches all ATTRS keys of one line on one parent device:
            // the USB device on the first line, its interface on the second.
            rule.lines = deviceKeys + "ATTRS{serial}==\"" + pattern + "\", ENV{" + flag +
                         "}=\"1\"\n" +
                         "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", ENV{" + flag +
                         "}==\"1\", ATTRS{bInterfaceNumber}==\"" + interfaceNumber + "\", " +
                         assign;
            break;
        }
        }
        rule.lines = comment + ".\n" + rule.lines;
        plan.rules.push_back(std::move(rule));
    }
    if (!plan.rules.empty()) {
        plan.fileText = kFileHeader;
        for (const ProfileRule& rule : plan.rules) plan.fileText += rule.lines;
    }
    return plan;
}

}  // namespace varnok::linuxhost
