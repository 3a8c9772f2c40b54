// The D2XX seam on Linux: the device list comes from udev (one node per FTDI
// tty, with the description and location the D2XX library would give), a
// device's "COM port number" is its ttyUSB number, and the EEPROM user area
// is read over USB with vendor control requests, without detaching the
// kernel driver. The mode tool's discovery runs on it unchanged.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/linux/UdevDevices.h"
#include "common/d2xx/D2xx.h"

namespace varnok::linuxhost {

// Reads the user area of a device's EEPROM; false with a reason when it
// cannot (no permission, no libusb, a blank EEPROM).
using UserAreaReader =
    std::function<bool(const FtdiTty& device, std::vector<uint8_t>* area, std::string* why)>;

// The user area over libusb: the EEPROM's words by vendor request 0x90 on
// the default pipe, the area between the end of the string descriptors and
// the checksum word.
bool ReadUserAreaUsb(const FtdiTty& device, std::vector<uint8_t>* area, std::string* why);

// The user area within a whole EEPROM image (pure): bytes behind the last
// string descriptor up to the checksum word. False when the image holds no
// string pointers that make sense.
bool UserAreaFromEeprom(const std::vector<uint8_t>& eeprom, std::vector<uint8_t>* area);

class LinuxD2xx : public d2xx::D2xx {
public:
    // `list` is asked for the devices at each CreateDeviceInfoList.
    LinuxD2xx(std::function<std::vector<FtdiTty>()> list, UserAreaReader userArea)
        : list_(std::move(list)), userArea_(std::move(userArea)) {}

    d2xx::Status CreateDeviceInfoList(uint32_t* count) override;
    d2xx::Status GetDeviceInfoList(d2xx::DeviceListInfoNode* nodes, uint32_t* count) override;
    d2xx::Status GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type, uint32_t* id,
                                     uint32_t* locId, char* serial, char* description,
                                     d2xx::Handle* handle) override;
    d2xx::Status Open(int index, d2xx::Handle* handle) override;
    d2xx::Status OpenEx(uint32_t location, uint32_t flags, d2xx::Handle* handle) override;
    d2xx::Status Close(d2xx::Handle handle) override;
    d2xx::Status GetComPortNumber(d2xx::Handle handle, int32_t* port) override;
    d2xx::Status EE_UASize(d2xx::Handle handle, uint32_t* size) override;
    d2xx::Status EE_UARead(d2xx::Handle handle, uint8_t* buffer, uint32_t length,
                           uint32_t* bytesRead) override;
    d2xx::Status Reload(uint16_t, uint16_t) override { return d2xx::kOtherError; }
    d2xx::Status CyclePort(d2xx::Handle) override { return d2xx::kOtherError; }

    // Why user areas could not be read, one line per device, for --verbose.
    const std::vector<std::string>& notes() const { return notes_; }

private:
    const FtdiTty* device(d2xx::Handle handle) const;
    d2xx::Status openDevice(std::size_t index, d2xx::Handle* handle);
    const std::vector<uint8_t>* userArea(d2xx::Handle handle);

    std::function<std::vector<FtdiTty>()> list_;
    UserAreaReader userArea_;
    std::vector<FtdiTty> devices_;
    std::map<uintptr_t, std::size_t> open_;  // handle -> device index
    uintptr_t nextHandle_ = 1;
    std::map<std::size_t, std::vector<uint8_t>> areas_;  // read once per device
    std::vector<std::string> notes_;
};

}  // namespace varnok::linuxhost
