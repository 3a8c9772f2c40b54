// The driver's 64-byte ConfigData block: option bits in bytes 0 and 1,
// fifteen little-endian 32-bit alias slots (divisor codes) in bytes 4 to 63,
// the divisor code and the two built-in alias tables.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace varnok::cfg {

using ConfigBytes = std::array<uint8_t, 64>;

// Option bits: byte index and mask.
struct OptionBit {
    int byteIndex;
    uint8_t mask;
};
constexpr OptionBit kOptSerialPrinter{0, 0x80};
constexpr OptionBit kOptCancelIfPowerOff{0, 0x40};
constexpr OptionBit kOptEventOnSurpriseRemoval{0, 0x20};
constexpr OptionBit kOptSetRtsOnClose{0, 0x08};
constexpr OptionBit kOptDisableModemCtrl{1, 0x02};
constexpr OptionBit kOptBufferedWrites{1, 0x04};

bool HasOption(const ConfigBytes& data, OptionBit bit);
// Read-modify-write of one bit; every other bit stays as it is.
void SetOption(ConfigBytes& data, OptionBit bit, bool on);

// Alias slots 1 to 15 at bytes 4 + 4 * (slot - 1).
constexpr int kSlotCount = 15;
constexpr int kFirstSlotByte = 4;
// Rows of the Baud Rate Mapping list: rows 0..12 show slots 1..13, row 13
// shows slot 15. Slot 14 has no row.
constexpr int kBaudRowCount = 14;
int SlotOfRow(int row);                // 1..15, or 0 for a row out of range
const char* RowLabel(int row);         // "300" ... "14400", "" out of range

// The slot's code as stored (all four bytes); 0 for a slot out of range.
uint32_t ReadSlotCode(const ConfigBytes& data, int slot);
// Stores `code` little-endian in the slot; a slot out of range is ignored.
void WriteSlotCode(ConfigBytes& data, int slot, uint32_t code);

// Largest effective divisor a code can hold: integer part 16383 plus 0.875.
constexpr double kMaxEffectiveDivisor = 16383.875;

// Divisor code -> effective divisor. Bits 17 to 31 are ignored; the whole
// codes 0 and 1 stand for 1.0 and 1.5. The result is always at least 0.125.
double DecodeDivisor(uint32_t code);
// Effective divisor -> code: 1.0 and 1.5 give 0 and 1; otherwise the integer
// part in bits 0..13 and the sub-integer code of an exact eighth in bits
// 14..16 (any other fraction adds nothing). Values that cannot be held (NaN,
// negative, 16384 and above) are clamped to 0 and 16383 respectively instead
// of spilling into the sub-integer bits.
uint32_t EncodeDivisor(double divisor);

// Sets the alias rows: every row's slot (never slot 14) is stored again
// from its effective divisor, `divisorOfRow` giving the new divisor of a row
// or nothing to keep the one it holds. What the Baud Rate Mapping dialog's
// Apply and `varnokctl alias` store alike.
void StoreRowDivisors(ConfigBytes& data, const std::function<std::optional<double>(int row)>& divisorOfRow);

// Built-in tables (bytes 0 to 3 are zero and never used).
extern const ConfigBytes kStandardDivisorTable;
extern const ConfigBytes kBrivaneDivisorTable;
// Replaces bytes 4 to 63 of `data` with those of `table`; bytes 0 to 3 stay.
void CopyDivisorTable(ConfigBytes& data, const ConfigBytes& table);

}  // namespace varnok::cfg
