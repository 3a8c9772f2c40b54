#include "common/win32/Win32Serial.h"

#include <windows.h>

#include <vector>

#include "common/win32/Handles.h"

namespace varnok::win32 {

namespace {

class Win32SerialPort : public serial::SerialPort {
public:
    explicit Win32SerialPort(unique_handle h) : port_(std::move(h)) {}
    ~Win32SerialPort() override {
        // Keep the caller's error code: closing must not hide why an
        // operation failed.
        const DWORD error = GetLastError();
        port_.reset();
        SetLastError(error);
    }

    bool setTimeouts(const serial::CommTimeouts& t) override {
        // Field for field, in the same order.
        COMMTIMEOUTS ct = {t.readIntervalTimeout, t.readTotalTimeoutMultiplier,
                           t.readTotalTimeoutConstant, t.writeTotalTimeoutMultiplier,
                           t.writeTotalTimeoutConstant};
        return SetCommTimeouts(h(), &ct) != FALSE;
    }

    bool setLine(const std::string& definition) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(h(), &dcb)) return false;
        if (!BuildCommDCBA(definition.c_str(), &dcb)) return false;
        return SetCommState(h(), &dcb) != FALSE;
    }

    bool purge(uint32_t flags) override { return PurgeComm(h(), flags) != FALSE; }

    bool read(uint8_t* buffer, uint32_t size, uint32_t* received) override {
        DWORD n = 0;
        BOOL ok = ReadFile(h(), buffer, size, &n, nullptr);
        *received = n;
        return ok != FALSE;
    }

    bool write(const uint8_t* data, uint32_t size, uint32_t* written) override {
        DWORD n = 0;
        BOOL ok = WriteFile(h(), data, size, &n, nullptr);
        *written = n;
        return ok != FALSE;
    }

private:
    HANDLE h() const { return port_.get(); }
    unique_handle port_;
};

}  // namespace

std::unique_ptr<serial::SerialPort> Win32SerialPorts::open(const std::string& path) {
    unique_handle h(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return nullptr;
    return std::make_unique<Win32SerialPort>(std::move(h));
}

bool Win32SerialPorts::exists(const std::string& name) {
    DWORD size = 0;
    GetDefaultCommConfigA(name.c_str(), nullptr, &size);
    if (size < sizeof(COMMCONFIG) || size > 0x10000) size = sizeof(COMMCONFIG);
    std::vector<uint8_t> buffer(size);
    auto* config = reinterpret_cast<COMMCONFIG*>(buffer.data());
    config->dwSize = size;
    return GetDefaultCommConfigA(name.c_str(), config, &size) != FALSE;
}

uint32_t Win32SerialPorts::lastError() { return GetLastError(); }

void Win32SerialPorts::setLastError(uint32_t code) { SetLastError(code); }

std::string Win32SerialPorts::systemMessage(uint32_t code) {
    const DWORD saved = GetLastError();
    unique_local_ptr<char*> text;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(text.put()), 0, nullptr);
    std::string out;
    if (n != 0 && text) out.assign(text.get(), n);
    text.reset();
    SetLastError(saved);
    return out;
}

}  // namespace varnok::win32
