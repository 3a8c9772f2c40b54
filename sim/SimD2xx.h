// Simulated D2XX library: a list of FTDI device interfaces in memory. The unit
// tests use it directly; the test ftd2xx.dll (sim/ftd2xx_dll.cpp) wraps the
// same class and reads its devices from a text file.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/d2xx/D2xx.h"

namespace varnok::sim {

struct SimDevice {
    uint32_t flags = 0;
    uint32_t type = 5;  // FT_DEVICE_232R
    uint32_t id = 0x04036001;
    uint32_t locId = 0;
    std::string serial;       // may be up to 16 characters (then without NUL)
    std::string description;  // may be up to 64 characters (then without NUL)
    int32_t comPort = -1;     // -1: no COM port
    bool openable = true;     // false: open fails (held by another program)
    bool comQueryFails = false;
    std::vector<uint8_t> userArea;  // raw EEPROM user-area bytes
    bool userAreaFails = false;
};

class SimD2xx : public d2xx::D2xx {
public:
    std::vector<SimDevice> devices;
    bool createListFails = false;
    bool getListFails = false;
    d2xx::Status reloadStatus = d2xx::kOk;
    d2xx::Status cycleStatus = d2xx::kOk;

    // Calls that change something ("FT_Reload 0x0403 0x0000"), and a log of
    // every call for tests that check what was (not) touched.
    std::vector<std::string> changes;
    std::vector<std::string> calls;
    // Hears each change as it is logged (a test's way in mid-command).
    std::function<void(const std::string&)> onChange;
    int openHandles() const { return static_cast<int>(open_.size()); }

    d2xx::Status CreateDeviceInfoList(uint32_t* count) override;
    d2xx::Status GetDeviceInfoList(d2xx::DeviceListInfoNode* nodes, uint32_t* count) override;
    // Any of the detail's outputs may be null: that field is skipped.
    d2xx::Status GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type,
                                     uint32_t* id, uint32_t* locId, char* serial,
                                     char* description, d2xx::Handle* handle) override;
    d2xx::Status Open(int index, d2xx::Handle* handle) override;
    d2xx::Status OpenEx(uint32_t location, uint32_t flags, d2xx::Handle* handle) override;
    d2xx::Status Close(d2xx::Handle handle) override;
    d2xx::Status GetComPortNumber(d2xx::Handle handle, int32_t* port) override;
    d2xx::Status EE_UASize(d2xx::Handle handle, uint32_t* size) override;
    d2xx::Status EE_UARead(d2xx::Handle handle, uint8_t* buffer, uint32_t length,
                           uint32_t* bytesRead) override;
    d2xx::Status Reload(uint16_t vendorId, uint16_t productId) override;
    // Logged as a change: "FT_CyclePort loc=0x21 serial=A1B2C3D4".
    d2xx::Status CyclePort(d2xx::Handle handle) override;

    // Stores `text` in a device's user area the way the EEPROM holds it
    // (each pair of bytes exchanged).
    static std::vector<uint8_t> SwapPairs(const std::string& text);

private:
    d2xx::Handle openDevice(std::size_t index);
    const SimDevice* deviceOf(d2xx::Handle h) const;
    std::map<uintptr_t, std::size_t> open_;  // handle value -> device index
    uintptr_t next_ = 0x1000;
};

// Parses the device file of the test ftd2xx.dll. One device per line:
//   device id=04036001 loc=21 serial=A1B2C3D4 com=5 flags=0 type=5 open=1
//          ua="1,25" desc=Text up to the end of the line
// plus global lines "fail create", "fail list", "reload <status>".
// Lines starting with '#' and blank lines are ignored; unknown keys or
// malformed numbers make the line an error (the line number is reported).
bool ParseDeviceFile(const std::string& text, SimD2xx* sim, std::string* error);

// The whole of `s` as an unsigned 32-bit number, read as strtoull reads it in
// `base` (0: the prefix decides); false for anything else.
bool ParseUnsigned(const std::string& s, int base, uint32_t* out);

}  // namespace varnok::sim
