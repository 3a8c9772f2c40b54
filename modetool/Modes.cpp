#include "modetool/Modes.h"

#include <algorithm>

#include "resources/ModeToolIds.h"

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

namespace {

constexpr int kModeButtons = 8;
constexpr int kBitBoxes = 3;
constexpr int kAllBits = 7;

}  // namespace

bool IsReducedModel(uint16_t typeCode) { return (typeCode & 0xFF00u) == 0x1000u; }

const char* const* ModeTable(uint16_t typeCode) {
    return IsReducedModel(typeCode) ? kReducedModeTable : kStandardModeTable;
}

const char* const* BitTable(uint16_t typeCode) {
    return IsReducedModel(typeCode) ? kReducedBitTable : kStandardBitTable;
}

bool BitsDisabled(int modeCode, uint16_t typeCode) {
    return modeCode == 8 || (modeCode == 4 && IsReducedModel(typeCode));
}

int ModeButtonId(int modeCode) { return IDC_MODE_GROUP + modeCode; }
int BitBoxId(int bit) { return IDC_BIT_FIRST + bit; }

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

void ApplyModel(ui::DialogView& view, uint16_t typeCode) {
    for (int k = 1; k <= kModeButtons; ++k) view.show(ModeButtonId(k), false);
    for (int b = 0; b < kBitBoxes; ++b) view.show(BitBoxId(b), false);
    const char* const* modes = ModeTable(typeCode);
    for (int k = 0; k < kModeButtons && modes[k][0] != '\0'; ++k) {
        view.setText(ModeButtonId(k + 1), modes[k]);
        view.show(ModeButtonId(k + 1), true);
    }
    const char* const* bits = BitTable(typeCode);
    for (int b = 0; b < kBitBoxes && bits[b][0] != '\0'; ++b) {
        view.setText(BitBoxId(b), bits[b]);
        view.show(BitBoxId(b), true);
    }
}

void ShowBits(ui::DialogView& view, int bits, int modeCode, uint16_t typeCode) {
    const bool enabled = !BitsDisabled(modeCode, typeCode);
    for (int b = 0; b < kBitBoxes; ++b) {
        view.enable(BitBoxId(b), enabled);
        view.setCheckState(BitBoxId(b), (bits >> b) & 1 ? ui::kChecked : ui::kUnchecked);
    }
}

namespace {

void CheckMode(ui::DialogView& view, int modeCode) {
    for (int k = 1; k <= kModeButtons; ++k)
        view.setCheckState(ModeButtonId(k), k == modeCode ? ui::kChecked : ui::kUnchecked);
}

void EnableBits(ui::DialogView& view) {
    for (int b = 0; b < kBitBoxes; ++b) view.enable(BitBoxId(b), true);
}

}  // namespace

void ShowPort(ui::DialogView& view, const AdapterPort& port, uint16_t typeCode) {
    CheckMode(view, port.modeCode);
    ShowBits(view, port.controlBits, port.modeCode, typeCode);
}

void MarkDifferingBits(ui::DialogView& view, int mask) {
    EnableBits(view);
    for (int b = 0; b < kBitBoxes; ++b)
        if ((mask >> b) & 1) view.setCheckState(BitBoxId(b), ui::kIndeterminate);
}

void ShowSelection(ui::DialogView& view, const Selection& selection) {
    if (selection.empty()) return;
    const AdapterRecord& first = *selection.adapters.front();
    const AdapterPort& ref = selection.reference();
    if (selection.adapters.size() == 1 && selection.portRows.size() == 1) {
        ShowPort(view, ref, first.typeCode);
        return;
    }
    bool sameMode = true;
    int mask = 0;
    for (std::size_t a = 0; a < selection.adapters.size() && mask != kAllBits; ++a) {
        for (int k : selection.coveredPorts(a)) {
            const AdapterPort& p = selection.adapters[a]->ports[k];
            if (p.modeCode != ref.modeCode) sameMode = false;
            mask |= (p.controlBits ^ ref.controlBits) & kAllBits;
            if (mask == kAllBits) break;
        }
    }
    // When every bit differs the scan stops early; finish the mode comparison.
    for (std::size_t a = 0; a < selection.adapters.size() && sameMode; ++a)
        for (int k : selection.coveredPorts(a))
            if (selection.adapters[a]->ports[k].modeCode != ref.modeCode) sameMode = false;

    if (sameMode) {
        CheckMode(view, ref.modeCode);
        ShowBits(view, ref.controlBits, ref.modeCode, first.typeCode);
        if (!BitsDisabled(ref.modeCode, first.typeCode)) MarkDifferingBits(view, mask);
    } else {
        CheckMode(view, 0);
        EnableBits(view);
        ShowBits(view, ref.controlBits, 0, first.typeCode);
        MarkDifferingBits(view, mask);
    }
}

void ClickMode(ui::DialogView& view, Selection& selection, int buttonId) {
    if (selection.empty()) return;
    const int code = buttonId - IDC_MODE_GROUP;
    ShowBits(view, selection.reference().controlBits, code, selection.adapters.front()->typeCode);
    for (std::size_t a = 0; a < selection.adapters.size(); ++a) {
        AdapterRecord& r = *selection.adapters[a];
        r.changed = 1;
        for (int k : selection.coveredPorts(a)) r.ports[k].modeCode = static_cast<uint8_t>(code);
    }
}

void ClickBit(ui::DialogView& view, Selection& selection) {
    if (selection.empty()) return;
    int bits = 0;
    for (int b = 0; b < kBitBoxes; ++b)
        if (view.checkState(BitBoxId(b)) == ui::kChecked) bits |= 1 << b;
    for (int b = 0; b < kBitBoxes; ++b) {
        view.enable(BitBoxId(b), true);
        view.setCheckState(BitBoxId(b), (bits >> b) & 1 ? ui::kChecked : ui::kUnchecked);
    }
    for (std::size_t a = 0; a < selection.adapters.size(); ++a) {
        AdapterRecord& r = *selection.adapters[a];
        r.changed = 1;
        for (int k : selection.coveredPorts(a)) r.ports[k].controlBits = static_cast<uint8_t>(bits);
    }
}

}  // namespace varnok::mode
