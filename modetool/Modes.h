// Interface modes and control bits of the two adapter models, and the rules
// by which a selection of ports is shown and a click on a mode or a control
// bit changes the stored settings. The rules return what the mode buttons and
// bit boxes are to show; the dialog puts it on the screen.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "modetool/Protocol.h"

namespace varnok::mode {

constexpr int kModeButtons = 8;  // mode codes 1 .. 8
constexpr int kBitBoxes = 3;     // control bits 0 .. 2

// Fixed label lists ending with an empty entry.
extern const char* const kStandardModeTable[];
extern const char* const kStandardBitTable[];
extern const char* const kReducedModeTable[];
extern const char* const kReducedBitTable[];

// The modes' names for scripts (varnokctl), in code order, ending with an
// empty entry: "rs485-rts-4w" ... on a standard adapter, "rs485-4w" ... on a
// reduced one. The bits' names are their labels in lower case.
extern const char* const kStandardModeNames[];
extern const char* const kReducedModeNames[];

bool IsReducedModel(uint16_t typeCode);
// A type code of each model, for callers that know only the model.
constexpr uint16_t kStandardTypeCode = 0x0000;
constexpr uint16_t kReducedTypeCode = 0x1000;
const char* const* ModeTable(uint16_t typeCode);
const char* const* ModeNames(uint16_t typeCode);
const char* const* BitTable(uint16_t typeCode);
// Whether the adapter's model has the mode of `modeCode` (1 .. 8 or 1 .. 4).
bool HasMode(uint16_t typeCode, int modeCode);
// The RS232 rule: the control bits do not apply to this mode.
bool BitsDisabled(int modeCode, uint16_t typeCode);

enum class Mark { Unchecked = 0, Checked = 1, Indeterminate = 2 };

// What the three bit boxes show.
struct BitsShown {
    bool enabled = true;
    std::array<Mark, kBitBoxes> marks{};
};
// What the mode buttons and the bit boxes show.
struct Shown {
    int modeButton = 0;  // the mode whose button is set (1 .. 8); 0: none
    BitsShown bits;
};

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

Shown ShowPort(const AdapterPort& port, uint16_t typeCode);
// One port as it is; several, with the mode when they share it and the bits
// that differ marked indeterminate. An empty selection shows nothing set.
Shown ShowSelection(const Selection& selection);
// A click on the button of `modeCode` / on a bit box (`bits`: the boxes now
// checked) stores it into every covered port and marks every selected
// adapter changed; returns what the bit boxes show then (nothing is changed
// for an empty selection). A mode is stored only into adapters whose model
// has it; the others are left as they were and added to `leftAlone`.
BitsShown ClickMode(Selection& selection, int modeCode,
                    std::vector<AdapterRecord*>* leftAlone = nullptr);
BitsShown ClickBits(Selection& selection, int bits);

}  // namespace varnok::mode
