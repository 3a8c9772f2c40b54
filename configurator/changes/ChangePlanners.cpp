#include "configurator/changes/ChangePlanners.h"

#include "common/platform/RegistryValues.h"
#include "configurator/comnames/ComDb.h"
#include "configurator/settings/BufferedWrites.h"
#include "configurator/settings/IgnoreSerial.h"
#include "configurator/settings/RegistrySettings.h"

namespace varnok::cfg {

namespace {

// The DWORD values of Device Parameters a port plan writes, in order.
struct DwordField {
    PortField field;
    const char* const* name;
    int32_t PortEntry::*number;    // or
    uint32_t PortEntry::*counter;  // for the buffered-write values
};
const DwordField kNumbers[] = {
    {kFieldMinReadTimeout, &kValueMinReadTimeout, &PortEntry::minReadTimeout, nullptr},
    {kFieldMinWriteTimeout, &kValueMinWriteTimeout, &PortEntry::minWriteTimeout, nullptr},
    {kFieldPollingPeriod, &kValuePollingPeriod, &PortEntry::pollingPeriod, nullptr},
    {kFieldLatencyTimer, &kValueLatencyTimer, &PortEntry::latencyTimer, nullptr},
};
const DwordField kBuffered[] = {
    {kFieldWriteBufferSize, &kWriteBufferSizeValue, nullptr, &PortEntry::writeBufferSize},
    {kFieldWriteBufferThreshold, &kWriteBufferThresholdValue, nullptr,
     &PortEntry::writeBufferThreshold},
    {kFieldWriteLatency, &kWriteLatencyValue, nullptr, &PortEntry::writeLatency},
};

uint32_t ValueOf(const PortEntry& e, const DwordField& f) {
    return f.number ? static_cast<uint32_t>(e.*f.number) : e.*f.counter;
}

std::vector<uint8_t> BytesOf(const ConfigBytes& b) { return {b.begin(), b.end()}; }

std::vector<uint8_t> StringBytes(const std::string& s) {
    std::vector<uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    return bytes;
}

// Which field a value of the port's keys holds; 0 for none.
PortField FieldOfValue(const std::string& name) {
    for (const auto& f : kNumbers)
        if (name == *f.name) return f.field;
    for (const auto& f : kBuffered)
        if (name == *f.name) return f.field;
    if (name == kValueConfigData) return kFieldConfigData;
    if (name == kValueUpperFilters) return kFieldUpperFilters;
    if (name == kValuePortName) return kFieldPortName;
    return PortField{};
}

}  // namespace

bool LatencyTimerWritable(int32_t latency) {
    const auto v = static_cast<uint32_t>(latency);
    return v >= kLatencyTimerMin && v <= kLatencyTimerMax;
}

std::string PortLabel(const PortEntry& e) {
    return e.portName.empty() ? "serial:" + e.serialNumber : e.portName;
}

ChangeSet PlanPortChanges(const PortEntry& e, Problems* problems, uint32_t fields) {
    ChangeSet changes;
    if (e.deviceId == 0) return changes;
    static const PortEntry kNothingRead;
    const PortEntry& read = e.asRead ? *e.asRead : kNothingRead;
    const std::string port = PortLabel(e);
    const std::string params = DeviceParametersKeyPath(e);
    auto wanted = [&](PortField f) { return (fields & f) != 0 && e.writesBack(f); };
    auto dword = [&](const DwordField& f) {
        if (!wanted(f.field)) return;
        const uint32_t v = ValueOf(e, f);
        const bool wasRead = read.writesBack(f.field);
        if (wasRead && ValueOf(read, f) == v) return;
        if (f.field == kFieldLatencyTimer && !LatencyTimerWritable(e.latencyTimer)) {
            if (problems)
                problems->push_back({port + ": a latency timer of " + std::to_string(v) +
                                         " ms is outside 1 to 255 and was not written",
                                     true});
            return;
        }
        changes.push_back(DwordChange(port, params, *f.name,
                                      wasRead ? std::optional<uint32_t>(ValueOf(read, f))
                                              : std::nullopt,
                                      v));
    };
    for (const auto& f : kNumbers) dword(f);
    if (wanted(kFieldConfigData) &&
        (!read.writesBack(kFieldConfigData) || read.configData != e.configData)) {
        ValueChange c{port, params, kValueConfigData, reg::kBinary, {}, BytesOf(e.configData)};
        if (read.writesBack(kFieldConfigData)) c.before = BytesOf(read.configData);
        changes.push_back(std::move(c));
    }
    // The buffered-write values while the option is on. With it off, a value
    // that was read and that the user let go (ReleaseBufferedWriteValues) is
    // removed.
    const bool bufferedKnown = e.writesBack(kFieldConfigData);
    if (bufferedKnown && BufferedWritesOn(e)) {
        for (const auto& f : kBuffered) dword(f);
    } else if (bufferedKnown) {
        for (const auto& f : kBuffered) {
            if ((fields & f.field) == 0 || !read.writesBack(f.field) || e.writesBack(f.field))
                continue;
            ValueChange c = DwordChange(port, params, *f.name, ValueOf(read, f), 0);
            c.after.reset();
            changes.push_back(std::move(c));
        }
    }
    // UpperFilters changes with the Serial Enumerator state, in the program's
    // own two forms: "serenum" alone, or no value.
    if (wanted(kFieldUpperFilters) &&
        (!read.writesBack(kFieldUpperFilters) ||
         read.serialEnumeratorOn() != e.serialEnumeratorOn())) {
        ValueChange c{port, InstanceKeyPath(e), kValueUpperFilters, reg::kMultiSz, {}, {}};
        const std::vector<uint8_t> serenum(kSerenumOn.begin(), kSerenumOn.end());
        if (read.writesBack(kFieldUpperFilters) && read.serialEnumeratorOn()) c.before = serenum;
        if (e.serialEnumeratorOn()) c.after = serenum;
        changes.push_back(std::move(c));
    }
    return changes;
}

ChangeSet PlanTableChanges(const PortTable& table, Problems* problems) {
    ChangeSet changes;
    for (const PortEntry& e : table.entries)
        for (auto& c : PlanPortChanges(e, problems)) changes.push_back(std::move(c));
    return changes;
}

ChangeSet PlanIgnoreSerial(Configurator& app, bool on) {
    ChangeSet changes;
    if (ReadIgnoreSerialFlag(app) == on) return changes;
    auto key = reg::OpenKey(app.registry, kUsbFlagsKeyPath, reg::Access::Read);
    for (const char* name : kIgnoreSerialValueNames) {
        ValueChange c{"", kUsbFlagsKeyPath, name, reg::kBinary, {}, {}};
        if (on) {
            c.after = std::vector<uint8_t>{0x01};
        } else if (!key || !reg::ValueReadable(*key, name, kFlagQueryCapacity)) {
            continue;
        }
        changes.push_back(std::move(c));
    }
    return changes;
}

ChangeSet PlanRename(PortEntry& entry, const std::string& newName) {
    ChangeSet changes;
    const std::string port = PortLabel(entry);
    for (auto& w : PlanComName(entry, newName)) {
        const bool text = w.bytes.empty();
        ValueChange c{port, std::move(w.keyPath), w.valueName, text ? reg::kSz : reg::kBinary, {},
                      text ? StringBytes(w.text) : std::move(w.bytes)};
        if (c.valueName == kValuePortName && entry.writesBack(kFieldPortName))
            c.before = StringBytes(entry.portName);
        changes.push_back(std::move(c));
    }
    return changes;
}

void TakeWrittenAsRead(PortEntry& e, const ChangeSet& changes, const ApplyReport& report) {
    const std::string params = DeviceParametersKeyPath(e);
    const std::string instance = InstanceKeyPath(e);
    uint32_t written = 0;
    for (std::size_t i = 0; i < changes.size() && i < report.results.size(); ++i) {
        const ValueChange& c = changes[i];
        if (report.results[i].ok() && (c.keyPath == params || c.keyPath == instance))
            written |= FieldOfValue(c.valueName);
    }
    if (written != 0) RememberAsRead(e, written);
}

}  // namespace varnok::cfg
