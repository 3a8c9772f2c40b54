// Settings reply of an adapter. The first byte gives the port count the
// identification line declared; the rest is the reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "modetool/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    varnok::mode::AdapterRecord record;
    record.portCount = data[0];  // also counts above 64: must be refused, not overrun
    bool ok = varnok::mode::ParseSettingsReply(data + 1, size - 1, &record);
    if (ok && record.portCount > varnok::mode::kMaxPorts) std::abort();
    for (int i = record.portCount; i < varnok::mode::kMaxPorts; ++i)
        if (record.ports[i].modeCode != 0 || record.ports[i].controlBits != 0) std::abort();
    if (ok && record.portCount > 0) {
        // What was read can be written back and read again unchanged.
        std::string text = "\r\n\r\n" + varnok::mode::BuildSettingsText(record);
        varnok::mode::AdapterRecord again;
        again.portCount = record.portCount;
        if (!varnok::mode::ParseSettingsReply(reinterpret_cast<const uint8_t*>(text.data()),
                                              text.size(), &again))
            std::abort();
        for (int i = 0; i < record.portCount; ++i)
            if (again.ports[i].modeCode != record.ports[i].modeCode ||
                again.ports[i].controlBits != record.ports[i].controlBits)
                std::abort();
    }
    return 0;
}
