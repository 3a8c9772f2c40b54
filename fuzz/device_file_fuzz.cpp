// Fuzz target: the device file of the test ftd2xx.dll, then every call of the
// simulated library on what it parsed.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/SimD2xx.h"

using namespace varnok;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    sim::SimD2xx lib;
    std::string error;
    if (!sim::ParseDeviceFile(text, &lib, &error)) {
        if (error.rfind("line ", 0) != 0) std::abort();  // every refusal names its line
        return 0;
    }
    uint32_t count = 0;
    if (lib.CreateDeviceInfoList(&count) != d2xx::kOk) return 0;
    std::vector<d2xx::DeviceListInfoNode> nodes(count + 1);
    uint32_t listed = 0;
    if (lib.GetDeviceInfoList(nodes.data(), &listed) == d2xx::kOk && listed != count) std::abort();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t flags, type, id, loc;
        char serial[16], desc[64];
        if (lib.GetDeviceInfoDetail(i, &flags, &type, &id, &loc, serial, desc, nullptr) != d2xx::kOk)
            std::abort();
        if (d2xx::FieldText(serial, sizeof serial).size() > 16) std::abort();
        d2xx::ScopedHandle h(lib);
        if (lib.OpenEx(loc, d2xx::kOpenByLocation, h.out()) != d2xx::kOk) continue;
        int32_t com = 0;
        lib.GetComPortNumber(h.get(), &com);
        uint32_t uaSize = 0;
        if (lib.EE_UASize(h.get(), &uaSize) == d2xx::kOk) {
            std::vector<uint8_t> buf(uaSize + 1);
            uint32_t got = 0;
            lib.EE_UARead(h.get(), buf.data(), uaSize, &got);
            if (lib.EE_UARead(h.get(), buf.data(), uaSize + 1, &got) == d2xx::kOk) std::abort();
        }
    }
    if (lib.openHandles() != 0) std::abort();
    return 0;
}
