#include "configurator/settings/BufferedWrites.h"

#include "common/platform/Parse.h"
#include "common/platform/RegistryValues.h"
#include "configurator/settings/RegistrySettings.h"

namespace varnok::cfg {

const char* const kWriteBufferSizeValue = "WriteBufferSize";
const char* const kWriteBufferThresholdValue = "WriteBufferThreshold";
const char* const kWriteLatencyValue = "WriteLatency";

namespace {

// Only this many characters of a box count.
constexpr std::size_t kBoxCharacters = 4;

// Takes `text` into `field` when its number lies in 1..max; false otherwise.
bool TakeBox(const std::string& text, uint32_t max, uint32_t& field) {
    const int v = parse::LeadingDecimal(std::string_view(text).substr(0, kBoxCharacters));
    if (v < 1 || static_cast<uint32_t>(v) > max) return false;
    field = static_cast<uint32_t>(v);
    return true;
}

// A value that cannot be read keeps its default.
void ReadInto(reg::RegistryKey& key, const char* name, uint32_t& field) {
    const reg::DwordRead r = reg::ReadDword(key, name);
    if (r.ok()) field = r.value;
}

}  // namespace

bool BufferedWritesOn(const PortEntry& e) {
    return (e.configData[kBufferedWritesByte] & kBufferedWritesBit) != 0;
}

void LoadBufferedWriteValues(Configurator& app, PortEntry& e) {
    e.writeBufferSize = kDefaultWriteBufferSize;
    e.writeBufferThreshold = kDefaultWriteBufferThreshold;
    e.writeLatency = kDefaultWriteLatency;
    if (!BufferedWritesOn(e)) return;
    auto key = reg::OpenKey(app.registry, DeviceParametersKeyPath(e), reg::Access::Read);
    if (!key) return;
    ReadInto(*key, kWriteBufferSizeValue, e.writeBufferSize);
    ReadInto(*key, kWriteLatencyValue, e.writeLatency);
    ReadInto(*key, kWriteBufferThresholdValue, e.writeBufferThreshold);
}

BufferedWriteRefusals WriteBufferedWriteSettings(Configurator& app, PortEntry& e,
                                                 const BufferedWriteTexts& typed) {
    BufferedWriteRefusals refused;
    // A ConfigData that was neither read nor changed is not written, and
    // without it the on/off state is unknown: the three values stay too.
    if (!e.writesBack(kFieldConfigData)) return refused;
    auto key = reg::OpenKey(app.registry, DeviceParametersKeyPath(e), reg::Access::Full);
    if (!key || PutConfigData(*key, e) != reg::kSuccess) return refused;
    if (BufferedWritesOn(e)) {
        refused.size = !TakeBox(typed.size, kMaxWriteBufferSize, e.writeBufferSize);
        refused.latency = !TakeBox(typed.latency, kMaxWriteLatency, e.writeLatency);
        refused.threshold =
            !TakeBox(typed.threshold, kMaxWriteBufferThreshold, e.writeBufferThreshold);
        reg::WriteDword(*key, kWriteBufferSizeValue, e.writeBufferSize);
        reg::WriteDword(*key, kWriteBufferThresholdValue, e.writeBufferThreshold);
        reg::WriteDword(*key, kWriteLatencyValue, e.writeLatency);
    } else {
        key->deleteValue(kWriteBufferSizeValue);
        key->deleteValue(kWriteBufferThresholdValue);
        key->deleteValue(kWriteLatencyValue);
    }
    return refused;
}

}  // namespace varnok::cfg
