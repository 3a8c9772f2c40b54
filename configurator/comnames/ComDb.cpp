#include "configurator/comnames/ComDb.h"

#include <cstdio>
#include <memory>

#include "configurator/settings/LeadingDecimal.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

const char* const kComDbValueName = "ComDB";
const char* const kMsgCantOpenArbiterKey = "Can't open Key: COM Name Arbiter";
const char* const kMsgCantOpenComDb = "Can't open COMDB";
const char* const kMsgListBoxError = "ListBox Error";

namespace {

void ShowError(ui::DialogView& view, const char* text) {
    view.messageBox(text, "ERROR", ui::Icon::Error);
}

}  // namespace

bool ReadComDb(Configurator& app, ui::DialogView& view, PortEntry& entry) {
    std::unique_ptr<reg::RegistryKey> key;
    if (app.registry.openKey(kComNameArbiterKeyPath, reg::kKeyRead, &key) != reg::kSuccess) {
        ShowError(view, kMsgCantOpenArbiterKey);
        return false;
    }
    // Ask for the usual 32 bytes first and offer more while the value is
    // longer, so that a grown database is read whole, never cut.
    std::vector<uint8_t> data;
    uint32_t type = 0;
    reg::Status st = reg::kMoreData;
    for (std::size_t capacity = kComDbKnownBytes; capacity <= kComDbMaxBytes; capacity *= 2) {
        st = key->queryValue(kComDbValueName, capacity, &type, &data);
        if (st != reg::kMoreData) break;
    }
    if (st != reg::kSuccess) {
        ShowError(view, kMsgCantOpenComDb);
        return false;
    }
    if (data.size() < kComDbKnownBytes) data.resize(kComDbKnownBytes, 0);
    entry.comDbBitmap = std::move(data);
    return true;
}

void MarkComNumber(std::vector<uint8_t>& bitmap, int n, bool reserved) {
    if (n < kComNumberMin || n > kComNumberMax) return;
    if (bitmap.size() < kComDbKnownBytes) bitmap.resize(kComDbKnownBytes, 0);
    const auto byte = static_cast<std::size_t>(n - 1) / 8;
    const auto mask = static_cast<uint8_t>(1u << ((n - 1) % 8));
    if (reserved)
        bitmap[byte] = static_cast<uint8_t>(bitmap[byte] | mask);
    else
        bitmap[byte] = static_cast<uint8_t>(bitmap[byte] & ~mask);
}

bool IsComNumberReserved(const std::vector<uint8_t>& bitmap, int n) {
    if (n < kComNumberMin || n > kComNumberMax) return true;
    const auto byte = static_cast<std::size_t>(n - 1) / 8;
    if (byte >= bitmap.size()) return false;
    return (bitmap[byte] >> ((n - 1) % 8)) & 1u;
}

bool WriteComDb(Configurator& app, ui::DialogView& view, const PortEntry& entry) {
    std::unique_ptr<reg::RegistryKey> key;
    if (app.registry.openKey(kComNameArbiterKeyPath, reg::kKeyAllAccess, &key) != reg::kSuccess) {
        ShowError(view, kMsgCantOpenArbiterKey);
        return false;
    }
    std::vector<uint8_t> bytes = entry.comDbBitmap;
    if (bytes.size() < kComDbKnownBytes) bytes.resize(kComDbKnownBytes, 0);
    if (key->setValue(kComDbValueName, reg::kBinary, bytes.data(), bytes.size()) !=
        reg::kSuccess) {
        ShowError(view, kMsgCantOpenComDb);
        return false;
    }
    return true;
}

void ListFreeComNumbers(ui::DialogView& view, const std::vector<uint8_t>& bitmap,
                        std::vector<std::string>& freeNames) {
    freeNames.clear();
    if (bitmap.empty()) return;  // never read: no number is known to be free
    for (int n = kComNumberMin; n <= kComNumberMax; ++n) {
        if (IsComNumberReserved(bitmap, n)) continue;
        char name[16];
        std::snprintf(name, sizeof name, "COM%i", n);
        if (view.listAdd(IDC_CA_FREE_LIST, name) == ui::kNoRow) {
            ShowError(view, kMsgListBoxError);
            return;
        }
        freeNames.emplace_back(name);
    }
}

int ComNumberOfName(const std::string& name) {
    if (name.size() <= 3) return 0;
    return ReadLeadingDecimal(name.substr(3));
}

}  // namespace varnok::cfg
