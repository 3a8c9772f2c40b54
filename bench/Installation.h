// The installation both registry benchmarks start from: `keys` installed
// single-port devices, `attached` of them plugged in and spread evenly over
// the key order, listed by the library in reverse, so that matching has to
// look far into the keys.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "tests/unit/FtdiFixture.h"

namespace varnok::bench {

// Also gives each attached port's Device Parameters path, in key order.
inline void SeedInstallation(test::FtdiFixture& f, int attached, int keys,
                             std::vector<std::string>* attachedParams = nullptr) {
    const int step = keys / attached;
    int unpluggedCom = 100;
    for (int k = 0; k < keys; ++k) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "K%07d", k);
        const std::string keySerial = std::string(serial) + "A";
        if (k % step == 0 && k / step < attached) {
            f.install(test::kId232R, keySerial, k / step + 1);
            if (attachedParams != nullptr)
                attachedParams->push_back(test::FtdiFixture::ParamsPath(test::kId232R, keySerial));
        } else {
            f.unplugged(test::kId232R, keySerial, unpluggedCom);
            unpluggedCom = unpluggedCom == 999 ? 100 : unpluggedCom + 1;
        }
    }
    for (int d = attached - 1; d >= 0; --d) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "K%07d", d * step);
        f.attach(test::kId232R, serial, d + 1, static_cast<uint32_t>(0x100 + d));
    }
    f.registry.logging = false;
}

}  // namespace varnok::bench
