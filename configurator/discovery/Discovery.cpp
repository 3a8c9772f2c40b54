#include "configurator/discovery/Discovery.h"

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <stdexcept>

#include "common/platform/RegistryValues.h"
#include "configurator/discovery/InstanceKeyName.h"
#include "configurator/settings/RegistrySettings.h"

namespace varnok::cfg {

const char* const kMsgDriverNotInstalled = "Device or FTDI driver is not installed";
const char* const kMsgAllocationFailed = " Memory allocation not possible";
const char* const kMsgNoActiveDevices = "No active FTDI devices found";

namespace {

constexpr uint32_t kSinglePort232R = 0x04036001;
constexpr uint32_t kSinglePort230X = 0x04036015;
// Where single-port devices carry their port letter in the key's serial.
constexpr std::size_t kPortLetterAt = 8;

// Discards the table and makes `count` fresh records. On an allocation
// failure the table is left empty and the problem told.
bool AllocateTable(Configurator& app, uint64_t count, Problems& problems) {
    app.table.release();
    try {
        if (count > app.table.entries.max_size()) throw std::length_error("table");
        app.table.entries.resize(static_cast<std::size_t>(count));
        return true;
    } catch (const std::exception&) {  // std::bad_alloc or std::length_error
    }
    app.table.release();
    problems.push_back({kMsgAllocationFailed});
    return false;
}

// What the key matching needs of one instance key, read once.
struct KeyCandidate {
    bool matchable = false;  // ConfigFlags read and 0, PortName read and not empty
    std::string serial;
    std::string portName;
};

KeyCandidate ReadCandidate(Configurator& app, reg::RegistryKey& enumeratorKey, uint32_t index) {
    KeyCandidate c;
    std::string name;
    if (enumeratorKey.subKeyName(index, kSubKeyNameCapacity, &name) != reg::kSuccess) return c;
    InstanceKeyName split = SplitInstanceKeyName(name);
    if (!split.valid) return c;  // no key path is made from an odd name
    PortEntry probe;
    probe.deviceId = split.deviceId;
    probe.serialNumber = split.serial;

    auto instance = reg::OpenKey(app.registry, InstanceKeyPath(probe), reg::Access::Read);
    if (!instance) return c;
    const reg::DwordRead configFlags = reg::ReadDword(*instance, kValueConfigFlags);
    if (!configFlags.ok() || configFlags.value != 0)
        return c;  // such keys never match, their PortName is not needed
    instance.reset();

    auto params = reg::OpenKey(app.registry, DeviceParametersKeyPath(probe), reg::Access::Read);
    if (!params) return c;
    char portName[kMatchPortNameCapacity] = {};
    if (reg::QueryIntoField(*params, kValuePortName, portName, sizeof portName) != reg::kSuccess)
        return c;
    c.portName = d2xx::FieldText(portName, sizeof portName);
    c.serial = split.serial;
    c.matchable = !c.portName.empty();
    return c;
}

}  // namespace

bool NoActiveDevices(const PortTable& table) {
    return table.count() == 0 && !table.showDisconnected;
}

bool EnumerateD2xxDevices(Configurator& app, Problems& problems) {
    app.table.openPortCount = 0;
    if (!reg::OpenKey(app.registry, kEnumeratorKeyPath, reg::Access::Read)) {
        problems.push_back({kMsgDriverNotInstalled});
        return false;
    }

    uint32_t count = 0;
    if (app.d2xx.CreateDeviceInfoList(&count) != d2xx::kOk || count == 0) {
        // Nothing is attached now: no record of an earlier build (such as
        // the registry-only table of start-up) stays to be shown as present.
        app.table.release();
        app.attachedSerials.clear();
        app.tableFromLibrary = true;
        return true;
    }

    app.attachedSerials.clear();
    app.tableFromLibrary = false;
    if (!AllocateTable(app, count, problems)) return false;
    app.tableFromLibrary = true;

    for (uint32_t k = 0; k < count; ++k) {
        PortEntry& e = app.table.entries[k];
        char serial[16] = {};
        char description[64] = {};
        d2xx::Handle listHandle = nullptr;
        app.d2xx.GetDeviceInfoDetail(k, &e.flags, &e.deviceType, &e.deviceId, &e.locationId,
                                     serial, description, &listHandle);
        e.serialNumber = d2xx::FieldText(serial, sizeof serial);
        // The field holds at most 63 characters and its terminator.
        e.description = d2xx::FieldText(description, sizeof description - 1);

        bool comKnown = false;
        {
            d2xx::ScopedHandle handle(app.d2xx);
            int32_t port = -1;
            comKnown =
                app.d2xx.OpenEx(e.locationId, d2xx::kOpenByLocation, handle.out()) == d2xx::kOk &&
                app.d2xx.GetComPortNumber(handle.get(), &port) == d2xx::kOk;
            if (comKnown && port != -1) {
                e.portName = "COM" + std::to_string(port);
                e.connected = true;
            }
        }  // closed here

        if (e.flags == d2xx::kFlagOpened || !comKnown) {
            ++app.table.openPortCount;
        } else if (e.deviceId == kSinglePort232R || e.deviceId == kSinglePort230X) {
            // A serial shorter than the letter's place keeps its text: the
            // letter would land after the terminator.
            if (e.serialNumber.size() >= kPortLetterAt) {
                e.serialNumber.resize(kPortLetterAt);
                e.serialNumber.push_back('A');
            }
        }
        app.attachedSerials.push_back(e.serialNumber);
    }
    return true;
}

bool MatchInstanceKeys(Configurator& app, reg::RegistryKey& enumeratorKey) {
    uint32_t keyCount = 0;
    if (enumeratorKey.subKeyCount(&keyCount) != reg::kSuccess || keyCount == 0) return false;

    // For each record in order, the first key (lowest index) that matches
    // it; the first record without a match ends the matching. Keys are read
    // lazily, each once, and the first key seen for each COM name is kept.
    std::map<std::string, std::string> firstKeyByPortName;
    uint32_t nextKey = 0;
    for (std::size_t i = 0; i < app.table.entries.size(); ++i) {
        PortEntry& record = app.table.entries[i];
        if (record.portName.empty()) break;
        auto found = firstKeyByPortName.find(record.portName);
        while (found == firstKeyByPortName.end() && nextKey < keyCount) {
            KeyCandidate c = ReadCandidate(app, enumeratorKey, nextKey++);
            if (!c.matchable) continue;
            auto ins = firstKeyByPortName.emplace(c.portName, c.serial);
            if (ins.second && c.portName == record.portName) found = ins.first;
        }
        if (found == firstKeyByPortName.end()) break;
        record.serialNumber = found->second;
        if (app.tableFromLibrary && i < app.attachedSerials.size())
            app.attachedSerials[i] = found->second;
    }
    return true;
}

bool BuildTableFromRegistry(Configurator& app, reg::RegistryKey& enumeratorKey,
                            Problems& problems) {
    app.tableFromLibrary = false;
    uint32_t keyCount = 0;
    if (enumeratorKey.subKeyCount(&keyCount) != reg::kSuccess) keyCount = 0;
    if (!AllocateTable(app, keyCount, problems)) return false;
    if (keyCount == 0) return false;

    for (uint32_t j = 0; j < keyCount; ++j) {
        PortEntry& e = app.table.entries[j];
        std::string name;
        if (enumeratorKey.subKeyName(j, kSubKeyNameCapacity, &name) != reg::kSuccess) continue;
        InstanceKeyName split = SplitInstanceKeyName(name);
        if (!split.valid) continue;  // deviceId 0: skipped by every registry operation
        e.serialNumber = split.serial;
        e.deviceId = split.deviceId;
        const auto& attached = app.attachedSerials;
        e.connected = std::find(attached.begin(), attached.end(), e.serialNumber) != attached.end();
    }
    return true;
}

bool RebuildFromLibrary(Configurator& app, Problems& problems) {
    if (!EnumerateD2xxDevices(app, problems)) return false;
    auto key = reg::OpenKey(app.registry, kEnumeratorKeyPath, reg::Access::Read);
    if (key && MatchInstanceKeys(app, *key)) ReadPortSettings(app, problems);
    return true;
}

ListRebuild RebuildForList(Configurator& app, Problems& problems) {
    app.table.selectedIndex = -1;
    if (!app.table.showDisconnected)
        return RebuildFromLibrary(app, problems) ? ListRebuild::Listed : ListRebuild::NotBuilt;
    EnumerateD2xxDevices(app, problems);
    auto key = reg::OpenKey(app.registry, kEnumeratorKeyPath, reg::Access::Read);
    if (!key) return ListRebuild::NoKey;
    MatchInstanceKeys(app, *key);
    if (!BuildTableFromRegistry(app, *key, problems)) return ListRebuild::NotBuilt;
    ReadPortSettings(app, problems);
    return ListRebuild::Listed;
}

bool ListedAfterRefresh(const PortEntry& entry) {
    return !entry.portName.empty() && entry.portName[0] == 'C';
}

}  // namespace varnok::cfg
