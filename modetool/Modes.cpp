#include "modetool/Modes.h"

#include <algorithm>

namespace varnok::mode {

const char* const kStandardModeTable[] = {
    "RS485 by RTS, 4-wire",         "RS485 by RTS, 2-wire no Echo",
    "RS485 by RTS, 2-wire with Echo", "RS485 auto, 4-wire",
    "RS485 auto, 2-wire no Echo",   "RS485 auto, 2-wire with Echo",
    "RS422",                        "RS232",
    ""};
const char* const kStandardBitTable[] = {"BIAS", "TxTerm", "RxTerm", ""};
const char* const kReducedModeTable[] = {"RS485 4-wire", "RS485 2-wire", "RS422 4-wire", "RS232",
                                         ""};
const char* const kReducedBitTable[] = {"Termination", ""};
const char* const kStandardModeNames[] = {
    "rs485-rts-4w",  "rs485-rts-2w",       "rs485-rts-2w-echo", "rs485-auto-4w",
    "rs485-auto-2w", "rs485-auto-2w-echo", "rs422",             "rs232",
    ""};
const char* const kReducedModeNames[] = {"rs485-4w", "rs485-2w", "rs422-4w", "rs232", ""};

namespace {

constexpr int kAllBits = 7;

int Count(const char* const* table) {
    int n = 0;
    while (table[n][0] != '\0') ++n;
    return n;
}

// `bits` shown for a port in `modeCode`: boxes enabled by the RS232 rule.
BitsShown ShowBits(int bits, int modeCode, uint16_t typeCode) {
    BitsShown shown;
    shown.enabled = !BitsDisabled(modeCode, typeCode);
    for (int b = 0; b < kBitBoxes; ++b) shown.marks[b] = (bits >> b) & 1 ? Mark::Checked : Mark::Unchecked;
    return shown;
}

// Enables every box and marks those whose bit is set in `mask` indeterminate.
void MarkDifferingBits(BitsShown& shown, int mask) {
    shown.enabled = true;
    for (int b = 0; b < kBitBoxes; ++b)
        if ((mask >> b) & 1) shown.marks[b] = Mark::Indeterminate;
}

// Stores `value` into the field of every covered port and marks every
// selected adapter changed; with `modeCode`, only adapters whose model has
// that mode (the others go to `leftAlone`).
void Store(Selection& selection, uint8_t AdapterPort::*field, int value, int modeCode = 0,
           std::vector<AdapterRecord*>* leftAlone = nullptr) {
    for (std::size_t a = 0; a < selection.adapters.size(); ++a) {
        AdapterRecord& r = *selection.adapters[a];
        if (modeCode != 0 && !HasMode(r.typeCode, modeCode)) {
            if (leftAlone) leftAlone->push_back(&r);
            continue;
        }
        r.changed = 1;
        for (int k : selection.coveredPorts(a)) r.ports[k].*field = static_cast<uint8_t>(value);
    }
}

}  // namespace

bool IsReducedModel(uint16_t typeCode) { return (typeCode & 0xFF00u) == 0x1000u; }

const char* const* ModeTable(uint16_t typeCode) {
    return IsReducedModel(typeCode) ? kReducedModeTable : kStandardModeTable;
}

const char* const* ModeNames(uint16_t typeCode) {
    return IsReducedModel(typeCode) ? kReducedModeNames : kStandardModeNames;
}

const char* const* BitTable(uint16_t typeCode) {
    return IsReducedModel(typeCode) ? kReducedBitTable : kStandardBitTable;
}

bool HasMode(uint16_t typeCode, int modeCode) {
    return modeCode >= 1 && modeCode <= Count(ModeTable(typeCode));
}

bool BitsDisabled(int modeCode, uint16_t typeCode) {
    // RS232 is the last mode of either model.
    return modeCode == 8 || (modeCode == 4 && IsReducedModel(typeCode));
}

const AdapterPort& Selection::reference() const {
    const AdapterRecord& first = *adapters.front();
    int index = portRows.empty() || adapters.size() != 1 ? 0 : portRows.front();
    if (index < 0 || index >= kMaxPorts) index = 0;
    return first.ports[index];
}

std::vector<int> Selection::coveredPorts(std::size_t a) const {
    std::vector<int> out;
    if (a >= adapters.size()) return out;
    const int count = std::min<int>(adapters[a]->portCount, kMaxPorts);
    if (adapters.size() == 1) {
        for (int row : portRows)
            if (row >= 0 && row < count) out.push_back(row);
    } else {
        for (int k = 0; k < count; ++k) out.push_back(k);
    }
    return out;
}

Shown ShowPort(const AdapterPort& port, uint16_t typeCode) {
    const bool known = port.modeCode >= 1 && port.modeCode <= kModeButtons;
    return Shown{known ? port.modeCode : 0, ShowBits(port.controlBits, port.modeCode, typeCode)};
}

Shown ShowSelection(const Selection& selection) {
    if (selection.empty()) return Shown{};
    const AdapterRecord& first = *selection.adapters.front();
    const AdapterPort& ref = selection.reference();
    if (selection.adapters.size() == 1 && selection.portRows.size() == 1)
        return ShowPort(ref, first.typeCode);

    bool sameMode = true;
    int mask = 0;
    for (std::size_t a = 0; a < selection.adapters.size(); ++a) {
        for (int k : selection.coveredPorts(a)) {
            const AdapterPort& p = selection.adapters[a]->ports[k];
            if (p.modeCode != ref.modeCode) sameMode = false;
            mask |= (p.controlBits ^ ref.controlBits) & kAllBits;
        }
    }

    if (sameMode) {
        Shown shown = ShowPort(ref, first.typeCode);
        if (shown.bits.enabled) MarkDifferingBits(shown.bits, mask);
        return shown;
    }
    Shown shown{0, ShowBits(ref.controlBits, 0, first.typeCode)};
    MarkDifferingBits(shown.bits, mask);
    return shown;
}

BitsShown ClickMode(Selection& selection, int modeCode,
                    std::vector<AdapterRecord*>* leftAlone) {
    if (selection.empty()) return BitsShown{};
    const BitsShown shown =
        ShowBits(selection.reference().controlBits, modeCode, selection.adapters.front()->typeCode);
    Store(selection, &AdapterPort::modeCode, modeCode, modeCode, leftAlone);
    return shown;
}

BitsShown ClickBits(Selection& selection, int bits) {
    bits &= kAllBits;
    Store(selection, &AdapterPort::controlBits, bits);
    BitsShown shown = ShowBits(bits, 0, 0);
    shown.enabled = true;  // whatever the mode: the user just clicked a box
    return shown;
}

}  // namespace varnok::mode
