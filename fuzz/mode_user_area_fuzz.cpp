// Text of the EEPROM user area (stored with each pair of bytes exchanged).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "modetool/Discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t n = varnok::mode::ParseUserAreaNumber(data, size);
    if (n < 0) std::abort();
    return 0;
}
