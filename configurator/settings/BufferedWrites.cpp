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

// A value that cannot be read holds its default and counts as not read.
void ReadInto(reg::RegistryKey* key, const char* name, uint32_t fallback, PortField field,
              PortEntry& e, uint32_t PortEntry::*member) {
    const reg::DwordRead r = key ? reg::ReadDword(*key, name) : reg::DwordRead{};
    e.*member = r.ok() ? r.value : fallback;
    if (r.ok()) e.knownFields |= field;
    else e.knownFields &= ~field;
}

}  // namespace

bool BufferedWritesOn(const PortEntry& e) {
    return (e.configData[kBufferedWritesByte] & kBufferedWritesBit) != 0;
}

void ReadBufferedWriteValues(Configurator& app, PortEntry& e) {
    auto key = e.deviceId == 0
                   ? nullptr
                   : reg::OpenKey(app.registry, DeviceParametersKeyPath(e), reg::Access::Read);
    ReadInto(key.get(), kWriteBufferSizeValue, kDefaultWriteBufferSize, kFieldWriteBufferSize, e,
             &PortEntry::writeBufferSize);
    ReadInto(key.get(), kWriteLatencyValue, kDefaultWriteLatency, kFieldWriteLatency, e,
             &PortEntry::writeLatency);
    ReadInto(key.get(), kWriteBufferThresholdValue, kDefaultWriteBufferThreshold,
             kFieldWriteBufferThreshold, e, &PortEntry::writeBufferThreshold);
    RememberAsRead(e, kBufferedWriteFields);
}

void LoadBufferedWriteValues(Configurator& app, PortEntry& e) {
    ReadBufferedWriteValues(app, e);
    if (BufferedWritesOn(e)) return;
    e.writeBufferSize = kDefaultWriteBufferSize;
    e.writeBufferThreshold = kDefaultWriteBufferThreshold;
    e.writeLatency = kDefaultWriteLatency;
}

void ReleaseBufferedWriteValues(PortEntry& e) { e.knownFields &= ~kBufferedWriteFields; }

BufferedWriteRefusals TakeBufferedWriteBoxes(PortEntry& e, const BufferedWriteTexts& typed) {
    BufferedWriteRefusals refused;
    if (!BufferedWritesOn(e)) {
        ReleaseBufferedWriteValues(e);
        return refused;
    }
    refused.size = !TakeBox(typed.size, kMaxWriteBufferSize, e.writeBufferSize);
    refused.latency = !TakeBox(typed.latency, kMaxWriteLatency, e.writeLatency);
    refused.threshold = !TakeBox(typed.threshold, kMaxWriteBufferThreshold, e.writeBufferThreshold);
    e.knownFields |= kBufferedWriteFields;
    return refused;
}

}  // namespace varnok::cfg
