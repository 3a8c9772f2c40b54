#include "modetool/Discovery.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <vector>

#include "common/platform/Parse.h"

namespace varnok::mode {

const char kConfigInterfaceMark[] = "Varnok Plus - Config";
const char kFamilyMark[] = "Varnok Plus";

namespace {

constexpr uint32_t kUserAreaMax = 127;

// COM name of an open device; none when the call fails or the device has no
// COM port.
std::optional<std::string> ComName(const ModeTool& tool, d2xx::Handle h) {
    int32_t n = -1;
    if (tool.d2xx.GetComPortNumber(h, &n) != d2xx::kOk || n < tool.firstPortNumber)
        return std::nullopt;
    return tool.portPrefix + std::to_string(n);
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
    std::string text = d2xx::FieldText(reinterpret_cast<const char*>(data),
                                       std::min<std::size_t>(size, kUserAreaMax));
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
    std::size_t at = text.find("1,");
    if (at == std::string::npos) return 0;
    // A number beyond the field is held at its top.
    const uint32_t v = parse::LeadingDigits(std::string_view(text).substr(at + 2)).value_or(0);
    return static_cast<int32_t>(std::min<uint32_t>(v, INT32_MAX));
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

std::optional<Candidate> PrepareProbe(const ModeTool& tool, const d2xx::DeviceListInfoNode& node,
                                     uint32_t index) {
    d2xx::D2xx& lib = tool.d2xx;
    const std::string description = d2xx::FieldText(node.Description, sizeof node.Description);
    Candidate c;
    c.index = index;
    c.locId = node.LocId;
    c.configInterface = description.find(kConfigInterfaceMark) != std::string::npos;
    if (!c.configInterface) {
        // A serial interface of a "Varnok Plus" adapter is reached through its
        // configuration interface; other devices only at a first interface.
        if (description.find(kFamilyMark) != std::string::npos) return std::nullopt;
        if ((node.LocId & 0xFu) != 1u) return std::nullopt;
    }
    d2xx::ScopedHandle h(lib);
    if (lib.Open(static_cast<int>(index), h.out()) != d2xx::kOk) return std::nullopt;
    std::optional<std::string> com = ComName(tool, h.get());
    if (!com) return std::nullopt;
    if (c.configInterface) c.userArea = ReadUserAreaNumber(lib, h.get());
    c.comName = std::move(*com);
    return c;
}

Probe QueryCandidate(const ModeTool& tool, const Candidate& c) {
    const int accessKind = c.configInterface ? kAccessConfigInterface : kAccessFirstDataPort;
    Result<AdapterRecord> queried = QueryAdapter(tool.serial, tool.clock, c.comName, accessKind);
    if (!queried) return queried.failure();
    AdapterRecord& record = queried.value();
    record.accessKind = accessKind;
    if (c.configInterface) record.userAreaNumber = c.userArea;
    return Probe(std::move(record));
}

void FinishProbe(const ModeTool& tool, const Candidate& c, AdapterRecord& record,
                 AdapterArray& found) {
    d2xx::D2xx& lib = tool.d2xx;
    for (int k = 0; c.configInterface && k < record.portCount && k < kMaxPorts; ++k) {
        d2xx::ScopedHandle h(lib);
        if (lib.OpenEx(PortLocation(c.locId, k), d2xx::kOpenByLocation, h.out()) != d2xx::kOk)
            continue;
        if (std::optional<std::string> com = ComName(tool, h.get()))
            record.ports[k].comName = std::move(*com);
    }
    try {
        found.push_back(std::move(record));
    } catch (const std::exception&) {
        // Left out: the array stays as it was.
    }
}

Outcome ReadDeviceList(const ModeTool& tool, std::vector<d2xx::DeviceListInfoNode>* nodes,
                       SearchStatus* status) {
    d2xx::D2xx& lib = tool.d2xx;
    uint32_t count = 0;
    nodes->clear();
    *status = SearchStatus::NoneFound;
    if (!tool.d2xxAvailable || lib.CreateDeviceInfoList(&count) != d2xx::kOk) {
        *status = SearchStatus::ListFailed;
        return Outcome::Fail(0);
    }
    if (count == 0) return Outcome();
    try {
        nodes->resize(count);
    } catch (const std::exception&) {
        *status = SearchStatus::NoMemory;
        return Outcome::Fail(0);
    }
    uint32_t listed = count;
    if (lib.GetDeviceInfoList(nodes->data(), &listed) != d2xx::kOk) {
        nodes->clear();
        *status = SearchStatus::GetListFailed;
        return Outcome::Fail(0);
    }
    nodes->resize(std::min(listed, count));
    return Outcome();
}

SearchResult EnumVarnokDevices(const ModeTool& tool, const FailureReport& report) {
    std::vector<d2xx::DeviceListInfoNode> nodes;
    SearchResult result;
    if (!ReadDeviceList(tool, &nodes, &result.status)) return result;
    AdapterArray& found = result.adapters;
    // Each device whole, one after another.
    for (uint32_t j = 0; j < nodes.size(); ++j) {
        std::optional<Candidate> c = PrepareProbe(tool, nodes[j], j);
        if (!c) continue;
        Probe probed = QueryCandidate(tool, *c);
        if (!probed) {
            if (report && QueryFailureIsReported(probed.failure())) report(probed.failure());
            continue;
        }
        if (probed.value()) FinishProbe(tool, *c, *probed.value(), found);
    }

    for (auto& r : found) r.adapterCount = static_cast<int32_t>(found.size());
    result.status = found.empty() ? SearchStatus::NoneFound : SearchStatus::Found;
    return result;
}

}  // namespace varnok::mode
