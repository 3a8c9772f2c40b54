// Interface modes and control bits of the two adapter models, and how the
// mode dialog shows and edits them for a selection of ports.
#pragma once
#include <cstdint>
#include <vector>

#include "common/platform/DialogView.h"
#include "modetool/Protocol.h"

namespace varnok::mode {

// Fixed label lists ending with an empty entry.
extern const char* const kStandardModeTable[];
extern const char* const kStandardBitTable[];
extern const char* const kReducedModeTable[];
extern const char* const kReducedBitTable[];

bool IsReducedModel(uint16_t typeCode);
const char* const* ModeTable(uint16_t typeCode);
const char* const* BitTable(uint16_t typeCode);
// The RS232 rule: the control bits do not apply to this mode.
bool BitsDisabled(int modeCode, uint16_t typeCode);

int ModeButtonId(int modeCode);  // 1004 + code
int BitBoxId(int bit);           // 1014 + bit

// Which ports a selection covers. `portRows` are the selected rows of the
// port list (used when exactly one adapter is selected).
struct Selection {
    std::vector<AdapterRecord*> adapters;  // first selected first, at most 64
    std::vector<int> portRows;             // port indexes from 0, at most 64

    bool empty() const { return adapters.empty(); }
    // The reference port: the first selected port of the first adapter, else port 1.
    const AdapterPort& reference() const;
    // Covered port indexes of adapter `a` (index into `adapters`).
    std::vector<int> coveredPorts(std::size_t a) const;
};

void ApplyModel(ui::DialogView& view, uint16_t typeCode);
void ShowBits(ui::DialogView& view, int bits, int modeCode, uint16_t typeCode);
void ShowPort(ui::DialogView& view, const AdapterPort& port, uint16_t typeCode);
void MarkDifferingBits(ui::DialogView& view, int mask);
void ShowSelection(ui::DialogView& view, const Selection& selection);
void ClickMode(ui::DialogView& view, Selection& selection, int buttonId);
void ClickBit(ui::DialogView& view, Selection& selection);

}  // namespace varnok::mode
