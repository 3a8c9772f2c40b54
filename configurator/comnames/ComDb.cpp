#include "configurator/comnames/ComDb.h"

#include <memory>

#include "common/platform/Parse.h"
#include "common/platform/RegistryValues.h"
#include "configurator/settings/RegistrySettings.h"

namespace varnok::cfg {

const char* const kComDbValueName = "ComDB";
const char* const kMsgCantOpenArbiterKey = "Can't open Key: COM Name Arbiter";
const char* const kMsgCantOpenComDb = "Can't open COMDB";
const char* const kMsgListBoxError = "ListBox Error";

Outcome ReadComDb(Configurator& app, PortEntry& entry) {
    auto key = reg::OpenKey(app.registry, kComNameArbiterKeyPath, reg::Access::Read);
    if (!key) return Outcome::Fail(0, kMsgCantOpenArbiterKey);
    // Ask for the usual 32 bytes first and offer more while the value is
    // longer, so that a grown database is read whole, never cut.
    std::vector<uint8_t> data;
    uint32_t type = 0;
    reg::Status st = reg::kMoreData;
    for (std::size_t capacity = kComDbKnownBytes; capacity <= kComDbMaxBytes; capacity *= 2) {
        st = key->queryValue(kComDbValueName, capacity, &type, &data);
        if (st != reg::kMoreData) break;
    }
    if (st != reg::kSuccess) return Outcome::Fail(static_cast<uint32_t>(st), kMsgCantOpenComDb);
    if (data.size() < kComDbKnownBytes) data.resize(kComDbKnownBytes, 0);
    entry.comDbBitmap = std::move(data);
    return {};
}

void MarkComNumber(std::vector<uint8_t>& bitmap, int n, bool reserved) {
    if (n < kComNumberMin || n > kComNumberMax) return;
    if (bitmap.size() < kComDbKnownBytes) bitmap.resize(kComDbKnownBytes, 0);
    const auto byte = static_cast<std::size_t>(n - 1) / 8;
    const auto mask = static_cast<uint8_t>(1u << ((n - 1) % 8));
    bitmap[byte] = static_cast<uint8_t>(reserved ? (bitmap[byte] | mask) : (bitmap[byte] & ~mask));
}

bool IsComNumberReserved(const std::vector<uint8_t>& bitmap, int n) {
    if (n < kComNumberMin || n > kComNumberMax) return true;
    const auto byte = static_cast<std::size_t>(n - 1) / 8;
    if (byte >= bitmap.size()) return false;
    return (bitmap[byte] >> ((n - 1) % 8)) & 1u;
}

std::vector<int> FreeComNumbers(const std::vector<uint8_t>& bitmap) {
    std::vector<int> numbers;
    if (bitmap.empty()) return numbers;  // never read: no number is known to be free
    numbers.reserve(kComNumberMax);
    for (int n = kComNumberMin; n <= kComNumberMax; ++n)
        if (!IsComNumberReserved(bitmap, n)) numbers.push_back(n);
    return numbers;
}

int ComNumberOfName(const std::string& name) {
    if (name.size() <= 3) return 0;
    return parse::LeadingDecimal(std::string_view(name).substr(3));
}

std::vector<ComNameWrite> PlanComName(PortEntry& entry, const std::string& newName) {
    const int n = ComNumberOfName(newName);
    const int m = ComNumberOfName(entry.portName);
    MarkComNumber(entry.comDbBitmap, n, true);
    // A map that listed the port's own number as free must not lose the
    // reservation just made.
    if (m != n) MarkComNumber(entry.comDbBitmap, m, false);
    if (entry.comDbBitmap.size() < kComDbKnownBytes) entry.comDbBitmap.resize(kComDbKnownBytes, 0);
    return {{InstanceKeyPath(entry), "FriendlyName", "USB Serial Port (" + newName + ")", {}},
            {DeviceParametersKeyPath(entry), kValuePortName, newName, {}},
            {kComNameArbiterKeyPath, kComDbValueName, {}, entry.comDbBitmap}};
}

}  // namespace varnok::cfg
