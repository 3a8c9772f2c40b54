#include "configurator/baud/ConfigDataRecord.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace varnok::cfg {

namespace {

constexpr uint32_t kIntegerMask = 0x3FFF;
constexpr int kSubShift = 14;
constexpr uint32_t kSubMask = 0x7;
constexpr uint32_t kCodeMask = 0x1FFFF;  // bits 0..16 carry the divisor

// Fraction added for each sub-integer code 0..7.
constexpr double kSubFraction[8] = {0.0, 0.5, 0.25, 0.125, 0.375, 0.625, 0.75, 0.875};

const char* const kRowLabels[kBaudRowCount] = {"300",    "600",    "1200",   "2400",  "4800",
                                               "9600",   "19200",  "38400",  "57600", "115200",
                                               "230400", "460800", "921600", "14400"};

constexpr ConfigBytes MakeTable(const uint32_t (&codes)[kSlotCount]) {
    ConfigBytes t{};
    for (int s = 0; s < kSlotCount; ++s) {
        for (int b = 0; b < 4; ++b)
            t[static_cast<std::size_t>(kFirstSlotByte + 4 * s + b)] =
                static_cast<uint8_t>((codes[s] >> (8 * b)) & 0xFF);
    }
    return t;
}

constexpr uint32_t kStandardCodes[kSlotCount] = {
    0x2710, 0x1388, 0x9C4, 0x4E2, 0x271, 0x4138, 0x809C, 0xC04E,
    0x34,   0x1A,   0xD,   0x4006, 0x8003, 0x0, 0x80D0};
constexpr uint32_t kBrivaneCodes[kSlotCount] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1A, 0, 0, 0, 0, 0};

}  // namespace

const ConfigBytes kStandardDivisorTable = MakeTable(kStandardCodes);
const ConfigBytes kBrivaneDivisorTable = MakeTable(kBrivaneCodes);

bool HasOption(const ConfigBytes& data, OptionBit bit) {
    return (data[static_cast<std::size_t>(bit.byteIndex)] & bit.mask) != 0;
}

void SetOption(ConfigBytes& data, OptionBit bit, bool on) {
    auto& b = data[static_cast<std::size_t>(bit.byteIndex)];
    b = static_cast<uint8_t>(on ? (b | bit.mask) : (b & ~bit.mask));
}

int SlotOfRow(int row) {
    if (row < 0 || row >= kBaudRowCount) return 0;
    return row < 13 ? row + 1 : 15;
}

const char* RowLabel(int row) {
    if (row < 0 || row >= kBaudRowCount) return "";
    return kRowLabels[row];
}

uint32_t ReadSlotCode(const ConfigBytes& data, int slot) {
    if (slot < 1 || slot > kSlotCount) return 0;
    const std::size_t at = static_cast<std::size_t>(kFirstSlotByte + 4 * (slot - 1));
    return static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
           static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
}

void WriteSlotCode(ConfigBytes& data, int slot, uint32_t code) {
    if (slot < 1 || slot > kSlotCount) return;
    const std::size_t at = static_cast<std::size_t>(kFirstSlotByte + 4 * (slot - 1));
    for (std::size_t b = 0; b < 4; ++b)
        data[at + b] = static_cast<uint8_t>((code >> (8 * b)) & 0xFF);
}

double DecodeDivisor(uint32_t code) {
    // Bits 17 and up are not part of the divisor. Taking them as part of the
    // integer (as a plain "low 24 bits" reading would when the sub-integer
    // code is zero) gives divisors the code cannot hold, and re-encoding them
    // would silently change the alias.
    const uint32_t v = code & kCodeMask;
    if (v == 0) return 1.0;
    if (v == 1) return 1.5;
    const uint32_t sub = (v >> kSubShift) & kSubMask;
    return static_cast<double>(v & kIntegerMask) + kSubFraction[sub];
}

uint32_t EncodeDivisor(double divisor) {
    if (divisor == 1.0) return 0;
    if (divisor == 1.5) return 1;
    if (!(divisor >= 0.0)) return 0;  // NaN and negatives
    if (divisor >= static_cast<double>(kIntegerMask + 1)) return kIntegerMask;
    const double whole = std::floor(divisor);
    uint32_t code = static_cast<uint32_t>(whole) & kIntegerMask;
    const auto* sub = std::find(std::begin(kSubFraction), std::end(kSubFraction), divisor - whole);
    if (sub != std::end(kSubFraction))
        code |= static_cast<uint32_t>(sub - std::begin(kSubFraction)) << kSubShift;
    return code;
}

void CopyDivisorTable(ConfigBytes& data, const ConfigBytes& table) {
    for (std::size_t i = kFirstSlotByte; i < data.size(); ++i) data[i] = table[i];
}

void StoreRowDivisors(ConfigBytes& data,
                      const std::function<std::optional<double>(int row)>& divisorOfRow) {
    for (int row = 0; row < kBaudRowCount; ++row) {
        const int slot = SlotOfRow(row);
        const std::optional<double> given = divisorOfRow(row);
        WriteSlotCode(data, slot, EncodeDivisor(given ? *given : DecodeDivisor(ReadSlotCode(data, slot))));
    }
}

}  // namespace varnok::cfg
