// Splitting the name of an FTDIBUS instance key, "VID_vvvv+PID_pppp+serial".
// A pure function of its input, so that it can be fuzzed on its own.
#pragma once
#include <cstdint>
#include <string>

namespace varnok::cfg {

struct InstanceKeyName {
    // True when the name follows VID_vvvv+PID_pppp+serial: the literal
    // "VID_", "+PID_" and "+" at their fixed places (letters in any case),
    // exactly four hexadecimal digits for each id, and a serial part without
    // a path separator or control character. Only then do deviceId and
    // serial hold anything; otherwise both stay empty (deviceId 0), so the
    // record built from the name is skipped by every per-record registry
    // operation and no key path is ever made from it.
    bool valid = false;
    uint32_t deviceId = 0;  // vendor id << 16 | product id
    std::string serial;     // everything from character 18 on
};

// Positions of the fixed-form name.
constexpr std::size_t kVendorIdAt = 4;
constexpr std::size_t kProductIdAt = 13;
constexpr std::size_t kSerialAt = 18;

InstanceKeyName SplitInstanceKeyName(const std::string& name);

}  // namespace varnok::cfg
