// Identification line of an adapter, as read from its COM port.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "modetool/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    varnok::mode::AdapterRecord record;
    varnok::mode::IdResult r = varnok::mode::ParseIdentification(data, size, &record);
    if (record.adapterName.size() > varnok::mode::kMaxAdapterName) std::abort();
    if (r == varnok::mode::IdResult::Ok &&
        (record.portCount == 0 || record.portCount > varnok::mode::kMaxPorts))
        std::abort();
    return 0;
}
