// The D2XX library seam: the eleven functions of FTDI's ftd2xx.dll that the
// programs call, with the documented ABI types. The real implementation loads
// ftd2xx.dll at run time (common/win32); the simulator lives in sim/.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace varnok::d2xx {

using Status = uint32_t;  // FT_STATUS (ULONG)
using Handle = void*;     // FT_HANDLE (PVOID)

constexpr Status kOk = 0;
constexpr Status kInvalidHandle = 1;
constexpr Status kDeviceNotFound = 2;
constexpr Status kDeviceNotOpened = 3;
constexpr Status kIoError = 4;
constexpr Status kOtherError = 18;  // FT_OTHER_ERROR

constexpr uint32_t kOpenByLocation = 4;  // FT_OPEN_BY_LOCATION
constexpr uint32_t kFlagOpened = 1;      // FT_FLAGS_OPENED
constexpr uint32_t kFlagHighSpeed = 2;   // FT_FLAGS_HISPEED

constexpr uint16_t kFtdiVendorId = 0x0403;

// FT_DEVICE_LIST_INFO_NODE, field for field.
struct DeviceListInfoNode {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    Handle ftHandle;
};

class D2xx {
public:
    virtual ~D2xx() = default;
    virtual Status CreateDeviceInfoList(uint32_t* count) = 0;
    virtual Status GetDeviceInfoList(DeviceListInfoNode* nodes, uint32_t* count) = 0;
    // serial: 16-byte buffer, description: 64-byte buffer.
    virtual Status GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type,
                                       uint32_t* id, uint32_t* locId, char* serial,
                                       char* description, Handle* handle) = 0;
    virtual Status Open(int index, Handle* handle) = 0;
    virtual Status OpenEx(uint32_t location, uint32_t flags, Handle* handle) = 0;
    virtual Status Close(Handle handle) = 0;
    // *port is -1 when the device has no COM port.
    virtual Status GetComPortNumber(Handle handle, int32_t* port) = 0;
    virtual Status EE_UASize(Handle handle, uint32_t* size) = 0;
    virtual Status EE_UARead(Handle handle, uint8_t* buffer, uint32_t length,
                             uint32_t* bytesRead) = 0;
    virtual Status Reload(uint16_t vendorId, uint16_t productId) = 0;
    // FT_CyclePort: the device leaves the bus and comes back, as if it were
    // unplugged and plugged in again; the handle must be closed afterwards.
    virtual Status CyclePort(Handle handle) = 0;
};

// Owns one open D2XX handle and closes it on every path.
class ScopedHandle {
public:
    explicit ScopedHandle(D2xx& lib) : lib_(lib) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { reset(); }
    Handle* out() { reset(); return &handle_; }
    Handle get() const { return handle_; }
    void reset() {
        if (handle_ != nullptr) lib_.Close(handle_);
        handle_ = nullptr;
    }

private:
    D2xx& lib_;
    Handle handle_ = nullptr;
};

// Text of a fixed-size character field that the library may have filled to
// the last byte without a terminating NUL: stops at the first NUL or at the
// end of the field, whichever comes first.
inline std::string FieldText(const char* field, std::size_t size) {
    std::size_t n = 0;
    while (n < size && field[n] != '\0') ++n;
    return std::string(field, n);
}

// What the programs say when ftd2xx.dll could not be loaded; `loadError`
// (the loader's reason, may be empty) follows in brackets.
inline std::string LibraryMissingText(const std::string& loadError) {
    return "The FTDI D2XX library (ftd2xx.dll) could not be loaded" +
           (loadError.empty() ? std::string() : " (" + loadError + ")") + ".";
}

}  // namespace varnok::d2xx
