#include "configurator/settings/RegistrySettings.h"

#include <memory>
#include <vector>

namespace varnok::cfg {

const char* const kValueConfigData = "ConfigData";
const char* const kValuePortName = "PortName";
const char* const kValueMinReadTimeout = "MinReadTimeout";
const char* const kValueMinWriteTimeout = "MinWriteTimeout";
const char* const kValuePollingPeriod = "PollingPeriod";
const char* const kValueLatencyTimer = "LatencyTimer";
const char* const kValueUpperFilters = "UpperFilters";
const char* const kValueConfigFlags = "ConfigFlags";

const char* const kMsgConfigNotFound = "Config not found";
const char* const kMsgPortNameNotFound = "Port Name not found";
const char* const kMsgMinReadNotFound = "MinReadTime not found";
const char* const kMsgMinWriteNotFound = "MinWriteTime not found";
const char* const kMsgPollingNotFound = "PollingPEriod not found";
const char* const kMsgLatencyNotFound = "No Latency found";

std::string ConfigDataFromStandardText(const PortEntry& entry) {
    const std::string port = entry.portName.empty() ? std::string("This port") : entry.portName;
    return port +
           " had no readable baud-rate table (its stored ConfigData value is missing or "
           "damaged).\nIt now gets the standard baud-rate table and standard driver options, "
           "with your change on top.";
}

namespace {

void ReadFailed(Configurator& app, const char* message) {
    PlacedMessage(app, message, "ERROR", ui::Icon::None);
}

// UpperFilters of the instance key. Known (so written back) only in the two
// forms this program writes itself: "serenum" first, or nothing (absent or
// all NUL). Any other list is left for its owner unless the user changes the
// port's Serial Enumerator setting.
void ReadUpperFilters(Configurator& app, PortEntry& e) {
    std::unique_ptr<reg::RegistryKey> instance;
    if (app.registry.openKey(InstanceKeyPath(e), reg::kKeyRead, &instance) != reg::kSuccess)
        return;
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

void ReadDword(Configurator& app, reg::RegistryKey& key, PortEntry& e, const char* name,
               int32_t* field, uint32_t bit, const char* message) {
    if (reg::QueryIntoField(key, name, field, sizeof *field) == reg::kSuccess)
        e.knownFields |= bit;
    else
        ReadFailed(app, message);
}

void ReadDeviceParameters(Configurator& app, reg::RegistryKey& key, PortEntry& e) {
    // ConfigData: only a whole 64-byte block counts. A shorter one would
    // leave alias slots of zero (every rate 3,000,000 baud) if written back.
    {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (key.queryValue(kValueConfigData, kConfigDataSize, &type, &data) == reg::kSuccess &&
            data.size() == kConfigDataSize) {
            std::copy(data.begin(), data.end(), e.configData.begin());
            e.knownFields |= kFieldConfigData;
        } else {
            // Neither zeros nor a cut or padded copy: the standard image stands
            // in, and is written only when the user changes part of it.
            if (!e.writesBack(kFieldConfigData)) e.configData = kStandardDivisorTable;
            ReadFailed(app, kMsgConfigNotFound);
        }
    }
    // PortName: at most 15 characters and the terminator.
    {
        char name[kPortNameCapacity] = {};
        std::string text;
        bool ok = reg::QueryIntoField(key, kValuePortName, name, sizeof name) == reg::kSuccess;
        if (ok) {
            text = d2xx::FieldText(name, sizeof name);
            ok = text.size() < kPortNameCapacity;
        }
        if (ok) {
            e.portName = text;
            e.knownFields |= kFieldPortName;
        } else {
            ReadFailed(app, kMsgPortNameNotFound);
        }
    }
    ReadDword(app, key, e, kValueMinReadTimeout, &e.minReadTimeout, kFieldMinReadTimeout,
              kMsgMinReadNotFound);
    ReadDword(app, key, e, kValueMinWriteTimeout, &e.minWriteTimeout, kFieldMinWriteTimeout,
              kMsgMinWriteNotFound);
    ReadDword(app, key, e, kValuePollingPeriod, &e.pollingPeriod, kFieldPollingPeriod,
              kMsgPollingNotFound);
    ReadDword(app, key, e, kValueLatencyTimer, &e.latencyTimer, kFieldLatencyTimer,
              kMsgLatencyNotFound);
}

reg::Status SetDword(reg::RegistryKey& key, const char* name, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    return key.setValue(name, reg::kDword, bytes, sizeof bytes);
}

bool LatencyWritable(int32_t latency) {
    const uint32_t v = static_cast<uint32_t>(latency);
    return v >= 2 && v <= 255;
}

// The device parameters values of one record; false at the first failure.
bool WriteDeviceParameters(reg::RegistryKey& key, const PortEntry& e) {
    if (e.writesBack(kFieldMinReadTimeout) &&
        SetDword(key, kValueMinReadTimeout, e.minReadTimeout) != reg::kSuccess)
        return false;
    if (e.writesBack(kFieldMinWriteTimeout) &&
        SetDword(key, kValueMinWriteTimeout, e.minWriteTimeout) != reg::kSuccess)
        return false;
    if (e.writesBack(kFieldPollingPeriod) &&
        SetDword(key, kValuePollingPeriod, e.pollingPeriod) != reg::kSuccess)
        return false;
    if (e.writesBack(kFieldLatencyTimer) && LatencyWritable(e.latencyTimer) &&
        SetDword(key, kValueLatencyTimer, e.latencyTimer) != reg::kSuccess)
        return false;
    if (e.writesBack(kFieldConfigData) &&
        key.setValue(kValueConfigData, reg::kBinary, e.configData.data(), e.configData.size()) !=
            reg::kSuccess)
        return false;
    return true;
}

}  // namespace

int ReadPortSettings(Configurator& app) {
    for (PortEntry& e : app.table.entries) {
        if (e.deviceId == 0) continue;
        ReadUpperFilters(app, e);
        std::unique_ptr<reg::RegistryKey> params;
        if (app.registry.openKey(DeviceParametersKeyPath(e), reg::kKeyRead, &params) !=
            reg::kSuccess)
            return 0;
        ReadDeviceParameters(app, *params, e);
    }
    SortByPortName(app.table);
    return 1;
}

int WritePortSettings(Configurator& app) {
    for (const PortEntry& e : app.table.entries) {
        if (e.deviceId == 0) continue;
        {
            std::unique_ptr<reg::RegistryKey> params;
            if (app.registry.openKey(DeviceParametersKeyPath(e), reg::kKeyAllAccess, &params) !=
                reg::kSuccess)
                return 0;
            if (!WriteDeviceParameters(*params, e)) return 0;
        }
        // The instance key is opened only when there is something to put
        // there, so a port whose filter list is left alone cannot stop the
        // pass.
        if (!e.writesBack(kFieldUpperFilters)) continue;
        std::unique_ptr<reg::RegistryKey> instance;
        if (app.registry.openKey(InstanceKeyPath(e), reg::kKeyAllAccess, &instance) !=
            reg::kSuccess)
            return 0;
        if (e.serialEnumeratorOn())
            instance->setValue(kValueUpperFilters, reg::kMultiSz, e.upperFilters.data(),
                               e.upperFilters.size());
        else
            instance->deleteValue(kValueUpperFilters);
    }
    return 1;
}

}  // namespace varnok::cfg
