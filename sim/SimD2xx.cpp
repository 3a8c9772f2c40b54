#include "sim/SimD2xx.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace varnok::sim {

using d2xx::Status;

namespace {

void CopyField(const std::string& s, char* out, std::size_t size) {
    // Fills like the library: a text as long as the field has no NUL.
    if (out == nullptr) return;
    std::memset(out, 0, size);
    std::memcpy(out, s.data(), s.size() < size ? s.size() : size);
}

// One device's list fields; a null pointer skips its field.
void Describe(const SimDevice& d, uint32_t* flags, uint32_t* type, uint32_t* id,
              uint32_t* locId, char* serial, char* description) {
    if (flags != nullptr) *flags = d.flags;
    if (type != nullptr) *type = d.type;
    if (id != nullptr) *id = d.id;
    if (locId != nullptr) *locId = d.locId;
    CopyField(d.serial, serial, 16);
    CopyField(d.description, description, 64);
}

std::string Hex(uint32_t v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", width, v);
    return buf;
}

}  // namespace

d2xx::Handle SimD2xx::openDevice(std::size_t index) {
    uintptr_t h = next_++;
    open_[h] = index;
    return reinterpret_cast<d2xx::Handle>(h);
}

const SimDevice* SimD2xx::deviceOf(d2xx::Handle h) const {
    auto it = open_.find(reinterpret_cast<uintptr_t>(h));
    if (it == open_.end() || it->second >= devices.size()) return nullptr;
    return &devices[it->second];
}

Status SimD2xx::CreateDeviceInfoList(uint32_t* count) {
    calls.push_back("FT_CreateDeviceInfoList");
    if (createListFails) return d2xx::kIoError;
    *count = static_cast<uint32_t>(devices.size());
    return d2xx::kOk;
}

Status SimD2xx::GetDeviceInfoList(d2xx::DeviceListInfoNode* nodes, uint32_t* count) {
    calls.push_back("FT_GetDeviceInfoList");
    if (getListFails) return d2xx::kIoError;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        auto& n = nodes[i];
        Describe(devices[i], &n.Flags, &n.Type, &n.ID, &n.LocId, n.SerialNumber, n.Description);
        n.ftHandle = nullptr;
    }
    *count = static_cast<uint32_t>(devices.size());
    return d2xx::kOk;
}

Status SimD2xx::GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type,
                                    uint32_t* id, uint32_t* locId, char* serial,
                                    char* description, d2xx::Handle* handle) {
    calls.push_back("FT_GetDeviceInfoDetail " + std::to_string(index));
    if (index >= devices.size()) return d2xx::kDeviceNotFound;
    Describe(devices[index], flags, type, id, locId, serial, description);
    if (handle != nullptr) *handle = nullptr;
    return d2xx::kOk;
}

Status SimD2xx::Open(int index, d2xx::Handle* handle) {
    calls.push_back("FT_Open " + std::to_string(index));
    *handle = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= devices.size()) return d2xx::kDeviceNotFound;
    if (!devices[index].openable) return d2xx::kDeviceNotOpened;
    *handle = openDevice(static_cast<std::size_t>(index));
    return d2xx::kOk;
}

Status SimD2xx::OpenEx(uint32_t location, uint32_t flags, d2xx::Handle* handle) {
    calls.push_back("FT_OpenEx " + Hex(location, 0));
    *handle = nullptr;
    if (flags != d2xx::kOpenByLocation) return d2xx::kInvalidHandle;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].locId != location) continue;
        if (!devices[i].openable) return d2xx::kDeviceNotOpened;
        *handle = openDevice(i);
        return d2xx::kOk;
    }
    return d2xx::kDeviceNotFound;
}

Status SimD2xx::Close(d2xx::Handle handle) {
    calls.push_back("FT_Close");
    return open_.erase(reinterpret_cast<uintptr_t>(handle)) ? d2xx::kOk : d2xx::kInvalidHandle;
}

Status SimD2xx::GetComPortNumber(d2xx::Handle handle, int32_t* port) {
    calls.push_back("FT_GetComPortNumber");
    const SimDevice* d = deviceOf(handle);
    if (d == nullptr) return d2xx::kInvalidHandle;
    if (d->comQueryFails) return d2xx::kIoError;
    *port = d->comPort;
    return d2xx::kOk;
}

Status SimD2xx::EE_UASize(d2xx::Handle handle, uint32_t* size) {
    calls.push_back("FT_EE_UASize");
    const SimDevice* d = deviceOf(handle);
    if (d == nullptr) return d2xx::kInvalidHandle;
    if (d->userAreaFails) return d2xx::kIoError;
    *size = static_cast<uint32_t>(d->userArea.size());
    return d2xx::kOk;
}

Status SimD2xx::EE_UARead(d2xx::Handle handle, uint8_t* buffer, uint32_t length,
                          uint32_t* bytesRead) {
    calls.push_back("FT_EE_UARead " + std::to_string(length));
    const SimDevice* d = deviceOf(handle);
    if (d == nullptr) return d2xx::kInvalidHandle;
    if (d->userAreaFails) return d2xx::kIoError;
    // Like the library: asking for more than the user area holds fails.
    if (length > d->userArea.size()) return d2xx::kIoError;
    if (length > 0) std::memcpy(buffer, d->userArea.data(), length);
    *bytesRead = length;
    return d2xx::kOk;
}

Status SimD2xx::Reload(uint16_t vendorId, uint16_t productId) {
    std::string line = "FT_Reload " + Hex(vendorId, 4) + " " + Hex(productId, 4);
    calls.push_back(line);
    changes.push_back(line);
    if (onChange) onChange(line);
    return reloadStatus;
}

Status SimD2xx::CyclePort(d2xx::Handle handle) {
    calls.push_back("FT_CyclePort");
    const SimDevice* d = deviceOf(handle);
    if (d == nullptr) return d2xx::kInvalidHandle;
    changes.push_back("FT_CyclePort loc=" + Hex(d->locId, 0) + " serial=" + d->serial);
    if (onChange) onChange(changes.back());
    return cycleStatus;
}

std::vector<uint8_t> SimD2xx::SwapPairs(const std::string& text) {
    std::vector<uint8_t> out(text.begin(), text.end());
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
    return out;
}

bool ParseUnsigned(const std::string& s, int base, uint32_t* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    unsigned long long v = std::strtoull(s.c_str(), &end, base);
    if (end == nullptr || *end != '\0' || v > 0xFFFFFFFFull) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

namespace {

bool ParseDeviceLine(const std::string& rest, SimDevice* d, std::string* why) {
    std::size_t pos = 0;
    while (pos < rest.size()) {
        while (pos < rest.size() && (rest[pos] == ' ' || rest[pos] == '\t')) ++pos;
        if (pos >= rest.size()) break;
        std::size_t eq = rest.find('=', pos);
        if (eq == std::string::npos) return *why = "expected key=value", false;
        std::string key = rest.substr(pos, eq - pos);
        std::size_t vstart = eq + 1;
        std::string value;
        if (key == "desc") {  // runs to the end of the line
            value = rest.substr(vstart);
            pos = rest.size();
        } else if (vstart < rest.size() && rest[vstart] == '"') {
            std::size_t close = rest.find('"', vstart + 1);
            if (close == std::string::npos) return *why = "unterminated quote", false;
            value = rest.substr(vstart + 1, close - vstart - 1);
            pos = close + 1;
        } else {
            std::size_t sp = rest.find_first_of(" \t", vstart);
            if (sp == std::string::npos) sp = rest.size();
            value = rest.substr(vstart, sp - vstart);
            pos = sp;
        }
        uint32_t n = 0;
        if (key == "id" || key == "loc") {
            if (!ParseUnsigned(value, 16, &n)) return *why = "bad hex number for " + key, false;
            (key == "id" ? d->id : d->locId) = n;
        } else if (key == "flags" || key == "type") {
            if (!ParseUnsigned(value, 0, &n)) return *why = "bad number for " + key, false;
            (key == "flags" ? d->flags : d->type) = n;
        } else if (key == "com") {
            if (value == "-1" || value == "none") {
                d->comPort = -1;
            } else {
                if (!ParseUnsigned(value, 10, &n) || n > 256) return *why = "bad COM number", false;
                d->comPort = static_cast<int32_t>(n);
            }
        } else if (key == "open") {
            d->openable = value != "0";
        } else if (key == "comfail") {
            d->comQueryFails = value != "0";
        } else if (key == "serial") {
            d->serial = value;
        } else if (key == "desc") {
            d->description = value;
        } else if (key == "ua") {
            d->userArea = SimD2xx::SwapPairs(value);
        } else if (key == "uafail") {
            d->userAreaFails = value != "0";
        } else {
            return *why = "unknown key " + key, false;
        }
    }
    return true;
}

}  // namespace

bool ParseDeviceFile(const std::string& text, SimD2xx* sim, std::string* error) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        line = line.substr(start);
        std::string why;
        if (line.rfind("device", 0) == 0 && (line.size() == 6 || line[6] == ' ' || line[6] == '\t')) {
            SimDevice d;
            if (ParseDeviceLine(line.substr(6), &d, &why)) sim->devices.push_back(d);
        } else if (line == "fail create") {
            sim->createListFails = true;
        } else if (line == "fail list") {
            sim->getListFails = true;
        } else if (line.rfind("reload ", 0) == 0) {
            if (!ParseUnsigned(line.substr(7), 0, &sim->reloadStatus)) why = "bad reload status";
        } else {
            why = "unknown line";
        }
        if (!why.empty()) {
            *error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        }
    }
    return true;
}

}  // namespace varnok::sim
