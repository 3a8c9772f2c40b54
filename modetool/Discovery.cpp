#include "modetool/Discovery.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

namespace varnok::mode {

const char kConfigInterfaceMark[] = "Varnok Plus - Config";
const char kFamilyMark[] = "Varnok Plus";
const char kNoDeviceCaption[] = "No device found";
const char kNoDeviceText[] =
    "Only for \"Apex\" series:\r\nPlease activate the configuration mode of the desired "
    "devices.\r\nTherefore you must press the config button for two seconds until the "
    "button will light.";
const char kEnumFailedFormat[] = "EnumVarnokDevices failed (%d)";

namespace {

constexpr uint32_t kUserAreaMax = 127;

std::string ComName(int32_t number) { return "COM" + std::to_string(number); }

// COM number of an open device; false when the call fails or the device has
// no COM port.
bool ComNumber(d2xx::D2xx& lib, d2xx::Handle h, int32_t* number) {
    int32_t n = -1;
    if (lib.GetComPortNumber(h, &n) != d2xx::kOk || n < 1) return false;
    *number = n;
    return true;
}

int32_t ReadUserAreaNumber(d2xx::D2xx& lib, d2xx::Handle h) {
    uint32_t size = 0;
    if (lib.EE_UASize(h, &size) != d2xx::kOk) return 0;
    size = std::min(size, kUserAreaMax);
    uint8_t buffer[kUserAreaMax + 1] = {};
    uint32_t got = 0;
    if (lib.EE_UARead(h, buffer, size, &got) != d2xx::kOk) return 0;
    got = std::min(got, size);
    return ParseUserAreaNumber(buffer, got);
}

}  // namespace

int32_t ParseUserAreaNumber(const uint8_t* data, std::size_t size) {
    if (data == nullptr) return 0;
    size = std::min<std::size_t>(size, kUserAreaMax);
    std::string text;
    for (std::size_t i = 0; i < size && data[i] != 0; ++i) text.push_back(static_cast<char>(data[i]));
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
    std::size_t at = text.find("1,");
    if (at == std::string::npos) return 0;
    int64_t v = 0;
    for (std::size_t i = at + 2; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > INT32_MAX) v = INT32_MAX;  // a number beyond the field is held at its top
    }
    return static_cast<int32_t>(v);
}

uint32_t PortLocation(uint32_t configLocation, int k) {
    uint32_t base = (configLocation & ~0xFu) << 4;
    uint32_t kk = static_cast<uint32_t>(k);
    return base + 0x21u + 16u * (kk / 4u) + (kk % 4u);
}

std::string DeviceLine(const AdapterRecord& record) {
    if (record.accessKind == kAccessConfigInterface)
        return record.adapterName + " (" + std::to_string(record.userAreaNumber) + ")";
    return record.adapterName;
}

std::string PortLine(const AdapterRecord& record, int portIndex) {
    std::string line = "Port " + std::to_string(portIndex + 1);
    if (record.accessKind == kAccessConfigInterface && portIndex >= 0 && portIndex < kMaxPorts)
        line += "   (" + record.ports[portIndex].comName + ")";
    return line;
}

int EnumVarnokDevices(ModeTool& tool, AdapterArray* array) {
    array->clear();
    array->shrink_to_fit();
    d2xx::D2xx& lib = tool.d2xx;

    uint32_t count = 0;
    if (!tool.d2xxAvailable || lib.CreateDeviceInfoList(&count) != d2xx::kOk) return kEnumListFailed;
    if (count == 0) return 0;

    std::vector<d2xx::DeviceListInfoNode> nodes;
    try {
        nodes.resize(count);
    } catch (const std::exception&) {
        return kEnumNoMemory;
    }
    uint32_t listed = count;
    if (lib.GetDeviceInfoList(nodes.data(), &listed) != d2xx::kOk) return kEnumGetListFailed;
    listed = std::min(listed, count);

    AdapterArray found;
    for (uint32_t j = 0; j < listed; ++j) {
        const d2xx::DeviceListInfoNode& node = nodes[j];
        const std::string description = d2xx::FieldText(node.Description, sizeof node.Description);
        AdapterRecord record;
        int32_t com = 0;

        if (description.find(kConfigInterfaceMark) != std::string::npos) {
            int32_t userArea = 0;
            {
                d2xx::ScopedHandle h(lib);
                if (lib.Open(static_cast<int>(j), h.out()) != d2xx::kOk) continue;
                if (!ComNumber(lib, h.get(), &com)) continue;
                userArea = ReadUserAreaNumber(lib, h.get());
            }
            if (QueryAdapter(tool, &record, ComName(com), kAccessConfigInterface) != 0) continue;
            record.userAreaNumber = userArea;
            for (int k = 0; k < record.portCount && k < kMaxPorts; ++k) {
                d2xx::ScopedHandle h(lib);
                int32_t portCom = 0;
                if (lib.OpenEx(PortLocation(node.LocId, k), d2xx::kOpenByLocation, h.out()) !=
                    d2xx::kOk)
                    continue;
                if (ComNumber(lib, h.get(), &portCom)) record.ports[k].comName = ComName(portCom);
            }
            record.accessKind = kAccessConfigInterface;
        } else if (description.find(kFamilyMark) != std::string::npos) {
            continue;  // a serial interface of a "Varnok Plus" adapter
        } else if ((node.LocId & 0xFu) != 1u) {
            continue;
        } else {
            {
                d2xx::ScopedHandle h(lib);
                if (lib.Open(static_cast<int>(j), h.out()) != d2xx::kOk) continue;
                if (!ComNumber(lib, h.get(), &com)) continue;
            }
            if (QueryAdapter(tool, &record, ComName(com), kAccessFirstDataPort) != 0) continue;
            record.accessKind = kAccessFirstDataPort;
        }

        try {
            found.push_back(record);
        } catch (const std::exception&) {
            // Left out: the array stays as it was.
        }
    }

    for (auto& r : found) r.adapterCount = static_cast<int32_t>(found.size());
    array->swap(found);
    return static_cast<int>(array->size());
}

}  // namespace varnok::mode
