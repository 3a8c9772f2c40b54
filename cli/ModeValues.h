// Parsers and rules of `varnokctl modes`: PORTS, ADAPTER, MODE and bits by
// adapter model, on the mode tool's own tables. Like Values.h, they throw
// CliError with the exit status the user gets.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cli/Data.h"
#include "cli/Values.h"

namespace varnok::cli {

// PORTS: "1", "1,3", "2-4" (mixable: "1,3-5"), "all".
struct PortSelection {
    bool all = false;
    std::vector<int> ports;  // as given, sorted, without repeats
    std::string text;
};
PortSelection ParsePortSelection(const std::string& text);
// The 1-based ports chosen on an adapter with `portCount` ports; a port
// beyond the count is not found.
std::vector<int> ResolvePortSelection(const PortSelection& sel, const AdapterInfo& adapter);

// ADAPTER: 1-based index in `modes list`, the COM name it is reached
// through, or its line as listed. Returns the index into `adapters`.
std::size_t ResolveAdapter(const std::string& text, const std::vector<AdapterInfo>& adapters);

// MODE: a code 1..8 or a name of either model.
struct ModeSpec {
    int code = 0;      // given as a number, else 0
    std::string name;  // given as a name, else empty
    std::string text;
};
ModeSpec ParseModeSpec(const std::string& text);

// Mode names, code order (code = index + 1).
const std::vector<std::string>& ModeNames(AdapterModel model);
// nullptr for a code outside the model's table.
const char* ModeName(AdapterModel model, int code);
// Whether `code` is the model's RS232 mode, in which the bits are off limits.
bool IsRs232(AdapterModel model, int code);

struct BitInfo {
    std::string name;
    uint8_t value;
};
// standard: bias 1, txterm 2, rxterm 4; reduced: termination 1.
const std::vector<BitInfo>& ModelBits(AdapterModel model);
const char* ModelName(AdapterModel model);  // "standard" / "reduced"

struct BitAssignment {
    std::string name;  // bias, termination, txterm, rxterm
    bool on = false;
};
std::vector<BitAssignment> ParseBitAssignments(const std::vector<std::string>& items);

// Sets the mode (and the bits given) of the chosen ports; bits not given
// stay. Refuses a mode or bit the adapter's model lacks, and any bit when
// the new mode is RS232. Nothing changes when it throws.
void ApplyModeSet(AdapterInfo& adapter, const std::vector<int>& ports, const ModeSpec& mode,
                  const std::vector<BitAssignment>& bits);

}  // namespace varnok::cli
