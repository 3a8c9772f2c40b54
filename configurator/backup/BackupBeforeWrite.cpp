#include "configurator/backup/BackupBeforeWrite.h"

#include "configurator/comnames/ComDb.h"
#include "configurator/settings/BufferedWrites.h"
#include "configurator/settings/IgnoreSerial.h"
#include "configurator/settings/RegistrySettings.h"

namespace varnok::cfg {

Outcome BackUpValues(Configurator& app, const std::vector<backup::ValueRef>& values) {
    if (app.backup == nullptr) return {};
    std::string problem;
    if (app.backup->save(values, &problem)) return {};
    return Outcome::Fail(0, problem);
}

std::vector<backup::ValueRef> ApplyValues(const PortTable& table, bool withPorts) {
    std::vector<backup::ValueRef> values;
    if (withPorts) {
        for (const PortEntry& e : table.entries) {
            if (e.deviceId == 0) continue;
            for (auto& v : PortSettingsValues(e)) values.push_back(std::move(v));
        }
    }
    for (auto& v : IgnoreSerialValues()) values.push_back(std::move(v));
    return values;
}

std::vector<backup::ValueRef> PortSettingsValues(const PortEntry& e) {
    const std::string params = DeviceParametersKeyPath(e);
    return {{params, kValueMinReadTimeout},  {params, kValueMinWriteTimeout},
            {params, kValuePollingPeriod},   {params, kValueLatencyTimer},
            {params, kValueConfigData},      {InstanceKeyPath(e), kValueUpperFilters}};
}

std::vector<backup::ValueRef> IgnoreSerialValues() {
    std::vector<backup::ValueRef> values;
    for (const char* name : kIgnoreSerialValueNames) values.push_back({kUsbFlagsKeyPath, name});
    return values;
}

std::vector<backup::ValueRef> BufferedWritesValues(const PortEntry& e) {
    const std::string params = DeviceParametersKeyPath(e);
    return {{params, kValueConfigData},
            {params, kWriteBufferSizeValue},
            {params, kWriteBufferThresholdValue},
            {params, kWriteLatencyValue}};
}

std::vector<backup::ValueRef> ConfigDataValues(const PortEntry& e) {
    return {{DeviceParametersKeyPath(e), kValueConfigData}};
}

std::vector<backup::ValueRef> ComRenameValues(const PortEntry& e) {
    return {{InstanceKeyPath(e), "FriendlyName"},
            {DeviceParametersKeyPath(e), kValuePortName},
            {kComNameArbiterKeyPath, kComDbValueName}};
}

}  // namespace varnok::cfg
