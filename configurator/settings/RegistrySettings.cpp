#include "configurator/settings/RegistrySettings.h"

#include <algorithm>
#include <cstring>

#include "common/platform/RegistryValues.h"

namespace varnok::cfg {

const char* const kValueConfigData = "ConfigData";
const char* const kValuePortName = "PortName";
const char* const kValueMinReadTimeout = "MinReadTimeout";
const char* const kValueMinWriteTimeout = "MinWriteTimeout";
const char* const kValuePollingPeriod = "PollingPeriod";
const char* const kValueLatencyTimer = "LatencyTimer";
const char* const kValueUpperFilters = "UpperFilters";
const char* const kValueConfigFlags = "ConfigFlags";

std::string ConfigDataFromStandardText(const PortEntry& entry) {
    const std::string port = entry.portName.empty() ? std::string("This port") : entry.portName;
    return port +
           " had no readable baud-rate table (its stored ConfigData value is missing or "
           "damaged).\nIt now gets the standard baud-rate table and standard driver options, "
           "with your change on top.";
}

namespace {

// UpperFilters of the instance key. Known (so written back) only in the two
// forms this program writes itself: "serenum" first, or nothing (absent or
// all NUL). Any other list is left for its owner unless the user changes the
// port's Serial Enumerator setting.
void ReadUpperFilters(Configurator& app, PortEntry& e) {
    auto instance = reg::OpenKey(app.registry, InstanceKeyPath(e), reg::Access::Read);
    if (!instance) return;
    e.knownFields &= ~kFieldUpperFilters;
    reg::Status st = reg::QueryIntoField(*instance, kValueUpperFilters, e.upperFilters.data(),
                                         e.upperFilters.size());
    if (st != reg::kSuccess) {
        e.upperFilters = kSerenumOff;
        if (st == reg::kFileNotFound) e.knownFields |= kFieldUpperFilters;
        return;
    }
    if (e.serialEnumeratorOn() || e.upperFilters == kSerenumOff)
        e.knownFields |= kFieldUpperFilters;
}

// The four DWORD values of Device Parameters, in the order they are read
// and written, with the problem of a value that cannot be read.
struct DwordValue {
    const char* name;
    int32_t PortEntry::*field;
    PortField known;
    const char* missing;
};
const DwordValue kDwordValues[] = {
    {kValueMinReadTimeout, &PortEntry::minReadTimeout, kFieldMinReadTimeout,
     "MinReadTime not found"},
    {kValueMinWriteTimeout, &PortEntry::minWriteTimeout, kFieldMinWriteTimeout,
     "MinWriteTime not found"},
    {kValuePollingPeriod, &PortEntry::pollingPeriod, kFieldPollingPeriod,
     "PollingPEriod not found"},
    {kValueLatencyTimer, &PortEntry::latencyTimer, kFieldLatencyTimer, "No Latency found"},
};

void ReadDeviceParameters(reg::RegistryKey& key, PortEntry& e, Problems& problems) {
    // ConfigData: only a whole 64-byte block counts. A shorter one would
    // leave alias slots of zero (every rate 3,000,000 baud) if written back.
    if (auto data = reg::ReadExactBinary(key, kValueConfigData, e.configData.size())) {
        std::copy(data->begin(), data->end(), e.configData.begin());
        e.knownFields |= kFieldConfigData;
    } else {
        // Neither zeros nor a cut or padded copy: the standard image stands
        // in, and is written only when the user changes part of it.
        if (!e.writesBack(kFieldConfigData)) e.configData = kStandardDivisorTable;
        problems.push_back({"Config not found"});
    }
    // PortName: at most 15 characters and the terminator.
    char name[16] = {};
    if (reg::QueryIntoField(key, kValuePortName, name, sizeof name) == reg::kSuccess &&
        std::memchr(name, 0, sizeof name) != nullptr) {
        e.portName = name;
        e.knownFields |= kFieldPortName;
    } else {
        problems.push_back({"Port Name not found"});
    }
    for (const DwordValue& v : kDwordValues) {
        const reg::DwordRead r = reg::ReadDword(key, v.name);
        if (!r.ok()) {
            problems.push_back({v.missing});
            continue;
        }
        e.*v.field = static_cast<int32_t>(r.value);
        e.knownFields |= v.known;
    }
}

}  // namespace

bool ReadPortSettings(Configurator& app, Problems& problems) {
    // A port whose parameters key does not open stays unread (nothing of it
    // is written back); the ports after it are read all the same.
    bool everyKeyOpened = true;
    for (PortEntry& e : app.table.entries) {
        if (e.deviceId == 0) continue;
        ReadUpperFilters(app, e);
        auto params = reg::OpenKey(app.registry, DeviceParametersKeyPath(e), reg::Access::Read);
        if (params)
            ReadDeviceParameters(*params, e, problems);
        else
            everyKeyOpened = false;
        RememberAsRead(e, kPortSettingFields);
    }
    SortByPortName(app.table);
    return everyKeyOpened;
}

}  // namespace varnok::cfg
