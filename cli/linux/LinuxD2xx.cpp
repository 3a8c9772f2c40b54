#include "cli/linux/LinuxD2xx.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace varnok::linuxhost {

namespace {

constexpr uint8_t kVendorIn = 0xC0;       // vendor request, device to host
constexpr uint8_t kReadEepromWord = 0x90;
constexpr unsigned kUsbTimeoutMs = 1000;

// EEPROM size by chip: the H series carry a 256-byte part, the others 128.
std::size_t EepromBytes(const FtdiTty& d) {
    return d.productId == 0x6010 || d.productId == 0x6011 || d.productId == 0x6014 ? 256 : 128;
}

struct UsbContext {
    libusb_context* ctx = nullptr;
    ~UsbContext() { if (ctx) libusb_exit(ctx); }
};
struct DeviceList {
    libusb_device** list = nullptr;
    ~DeviceList() { if (list) libusb_free_device_list(list, 1); }
};
struct DeviceHandle {
    libusb_device_handle* h = nullptr;
    ~DeviceHandle() { if (h) libusb_close(h); }
};

}  // namespace

bool UserAreaFromEeprom(const std::vector<uint8_t>& eeprom, std::vector<uint8_t>* area) {
    const std::size_t size = eeprom.size();
    if (size != 128 && size != 256) return false;
    std::size_t end = 0;
    for (std::size_t at : {0x0E, 0x10, 0x12}) {
        const std::size_t offset = eeprom[at] & (size - 1);
        const std::size_t length = eeprom[at + 1];
        if (length == 0) continue;
        if (offset < 0x14 || offset + length > size - 2) return false;
        end = std::max(end, offset + length);
    }
    if (end == 0) return false;
    area->assign(eeprom.begin() + static_cast<std::ptrdiff_t>(end), eeprom.end() - 2);
    return true;
}

bool ReadUserAreaUsb(const FtdiTty& device, std::vector<uint8_t>* area, std::string* why) {
    UsbContext usb;
    if (libusb_init(&usb.ctx) != 0) {
        *why = "libusb could not be started";
        return false;
    }
    DeviceList devices;
    const ssize_t n = libusb_get_device_list(usb.ctx, &devices.list);
    DeviceHandle handle;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device* d = devices.list[i];
        if (libusb_get_bus_number(d) != device.busNumber ||
            libusb_get_device_address(d) != device.deviceAddress)
            continue;
        const int rc = libusb_open(d, &handle.h);
        if (rc != 0) {
            *why = rc == LIBUSB_ERROR_ACCESS
                       ? "no permission to open the USB device (install the udev rule or run as root)"
                       : std::string("the USB device could not be opened: ") +
                             libusb_strerror(static_cast<libusb_error>(rc));
            return false;
        }
        break;
    }
    if (!handle.h) {
        *why = "the USB device was not found by libusb";
        return false;
    }
    std::vector<uint8_t> eeprom(EepromBytes(device));
    for (std::size_t word = 0; word < eeprom.size() / 2; ++word) {
        uint8_t bytes[2] = {};
        const int rc = libusb_control_transfer(handle.h, kVendorIn, kReadEepromWord, 0,
                                               static_cast<uint16_t>(word), bytes, 2, kUsbTimeoutMs);
        if (rc != 2) {
            *why = "the EEPROM could not be read";
            return false;
        }
        eeprom[2 * word] = bytes[0];
        eeprom[2 * word + 1] = bytes[1];
    }
    if (!UserAreaFromEeprom(eeprom, area)) {
        *why = "the EEPROM holds no user area";
        return false;
    }
    return true;
}

d2xx::Status LinuxD2xx::CreateDeviceInfoList(uint32_t* count) {
    devices_ = list_();
    areas_.clear();
    *count = static_cast<uint32_t>(devices_.size());
    return d2xx::kOk;
}

d2xx::Status LinuxD2xx::GetDeviceInfoList(d2xx::DeviceListInfoNode* nodes, uint32_t* count) {
    const std::size_t room = *count;
    *count = static_cast<uint32_t>(devices_.size());
    for (std::size_t i = 0; i < devices_.size() && i < room; ++i) {
        d2xx::DeviceListInfoNode& node = nodes[i];
        std::memset(&node, 0, sizeof node);
        GetDeviceInfoDetail(static_cast<uint32_t>(i), &node.Flags, &node.Type, &node.ID,
                            &node.LocId, node.SerialNumber, node.Description, &node.ftHandle);
    }
    return d2xx::kOk;
}

d2xx::Status LinuxD2xx::GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type,
                                            uint32_t* id, uint32_t* locId, char* serial,
                                            char* description, d2xx::Handle* handle) {
    if (index >= devices_.size()) return d2xx::kDeviceNotFound;
    const FtdiTty& d = devices_[index];
    *flags = 0;
    *type = 0;
    *id = (uint32_t{d2xx::kFtdiVendorId} << 16) | d.productId;
    *locId = d.locationId;
    std::memset(serial, 0, 16);
    std::memcpy(serial, d.portSerial().data(), std::min<std::size_t>(15, d.portSerial().size()));
    std::memset(description, 0, 64);
    std::memcpy(description, d.description.data(), std::min<std::size_t>(63, d.description.size()));
    *handle = nullptr;
    return d2xx::kOk;
}

d2xx::Status LinuxD2xx::openDevice(std::size_t index, d2xx::Handle* handle) {
    const uintptr_t h = nextHandle_++;
    open_[h] = index;
    *handle = reinterpret_cast<d2xx::Handle>(h);
    return d2xx::kOk;
}

d2xx::Status LinuxD2xx::Open(int index, d2xx::Handle* handle) {
    *handle = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= devices_.size())
        return d2xx::kDeviceNotFound;
    return openDevice(static_cast<std::size_t>(index), handle);
}

d2xx::Status LinuxD2xx::OpenEx(uint32_t location, uint32_t flags, d2xx::Handle* handle) {
    *handle = nullptr;
    if (flags != d2xx::kOpenByLocation || location == 0) return d2xx::kDeviceNotFound;
    for (std::size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].locationId == location) return openDevice(i, handle);
    return d2xx::kDeviceNotFound;
}

d2xx::Status LinuxD2xx::Close(d2xx::Handle handle) {
    return open_.erase(reinterpret_cast<uintptr_t>(handle)) ? d2xx::kOk : d2xx::kInvalidHandle;
}

const FtdiTty* LinuxD2xx::device(d2xx::Handle handle) const {
    auto it = open_.find(reinterpret_cast<uintptr_t>(handle));
    return it == open_.end() ? nullptr : &devices_[it->second];
}

d2xx::Status LinuxD2xx::GetComPortNumber(d2xx::Handle handle, int32_t* port) {
    const FtdiTty* d = device(handle);
    if (!d) return d2xx::kInvalidHandle;
    *port = TtyNumber(d->tty);
    return d2xx::kOk;
}

const std::vector<uint8_t>* LinuxD2xx::userArea(d2xx::Handle handle) {
    auto it = open_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == open_.end()) return nullptr;
    auto known = areas_.find(it->second);
    if (known != areas_.end()) return &known->second;
    const FtdiTty& d = devices_[it->second];
    std::vector<uint8_t> area;
    std::string why;
    if (!userArea_ || !userArea_(d, &area, &why)) {
        notes_.push_back(d.tty + ": user area not read, number 0: " +
                         (why.empty() ? std::string("no reader") : why));
        return nullptr;
    }
    return &(areas_[it->second] = std::move(area));
}

d2xx::Status LinuxD2xx::EE_UASize(d2xx::Handle handle, uint32_t* size) {
    if (!device(handle)) return d2xx::kInvalidHandle;
    const std::vector<uint8_t>* area = userArea(handle);
    if (!area) return d2xx::kOtherError;
    *size = static_cast<uint32_t>(area->size());
    return d2xx::kOk;
}

d2xx::Status LinuxD2xx::EE_UARead(d2xx::Handle handle, uint8_t* buffer, uint32_t length,
                                  uint32_t* bytesRead) {
    *bytesRead = 0;
    if (!device(handle)) return d2xx::kInvalidHandle;
    const std::vector<uint8_t>* area = userArea(handle);
    if (!area) return d2xx::kOtherError;
    const uint32_t n = std::min<uint32_t>(length, static_cast<uint32_t>(area->size()));
    std::memcpy(buffer, area->data(), n);
    *bytesRead = n;
    return d2xx::kOk;
}

}  // namespace varnok::linuxhost
