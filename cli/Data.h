// The data varnokctl shows and changes, as plain values. The layer below
// fills these from the registry, the D2XX library and the adapters; a value
// that could not be read stays empty (std::nullopt) and is shown as null.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnok::cli {

// The ten settings of the configurator's settings panel.
struct PortSettings {
    std::optional<uint32_t> minReadTimeout;
    std::optional<uint32_t> minWriteTimeout;
    std::optional<uint32_t> pollingPeriod;
    std::optional<uint32_t> latencyTimer;
    std::optional<bool> serialEnumerator;
    std::optional<bool> serialPrinter;
    std::optional<bool> cancelIfPowerOff;
    std::optional<bool> eventOnSurpriseRemoval;
    std::optional<bool> setRtsOnClose;
    std::optional<bool> disableModemCtrlAtStartup;
};

struct BufferedWrites {
    std::optional<bool> enabled;
    std::optional<uint32_t> size;
    std::optional<uint32_t> threshold;
    std::optional<uint32_t> latency;
};

// Rows of the Baud Rate Mapping dialog, in its order: the rate a program
// asks for ("Virtual Baud"). The alias table holds, per row, the rate the
// port then runs at.
constexpr int kAliasRowCount = 14;
extern const std::array<uint32_t, kAliasRowCount> kAliasRowRates;
// The generated rates of the two built-in tables, row by row, as the dialog
// shows them (rounded to whole baud).
extern const std::array<uint32_t, kAliasRowCount> kStandardAliasRates;
extern const std::array<uint32_t, kAliasRowCount> kBrivaneAliasRates;
using AliasRates = std::array<uint32_t, kAliasRowCount>;

using ConfigBytes = std::array<uint8_t, 64>;

// One FTDI port known to the driver (attached or only installed).
struct PortInfo {
    std::string port;         // "COM5" (Windows) or "ttyUSB0" (Linux); may be empty
    std::string serial;       // registry serial (Windows) or USB serial + interface letter
    std::string description;  // USB product description
    uint32_t deviceId = 0;    // vendor id << 16 | product id
    std::optional<uint32_t> locationId;
    bool attached = false;
    PortSettings settings;
    BufferedWrites bufferedWrites;
    std::optional<AliasRates> baudAliases;  // generated rate per row
    std::optional<ConfigBytes> configData;  // the driver's 64-byte block, for export
};

// Adapter models of the interface-mode tool.
enum class AdapterModel { Standard, Reduced };

struct AdapterPortInfo {
    int number = 0;       // 1-based
    std::string com;      // COM name (or tty) of the port; empty when unknown
    int modeCode = 0;     // as the adapter stores it, 1..8 in use
    uint8_t controlBits = 0;
};

struct AdapterInfo {
    std::string line;  // as the mode tool lists it: "Varnok Plus 4 (7)"
    std::string via;   // the COM name (or tty) it is reached through
    AdapterModel model = AdapterModel::Standard;
    std::vector<AdapterPortInfo> ports;
};

}  // namespace varnok::cli
