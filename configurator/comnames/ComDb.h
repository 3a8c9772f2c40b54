// The system's COM name database: the ComDB value under the COM Name Arbiter
// key, one bit per COM number (COMn is bit (n-1) mod 8 of byte (n-1) div 8;
// a set bit means reserved). The configurator offers COM1 to COM256; the
// value itself may be longer (the system grows it past COM256), and every
// byte of it is kept as read and written back whole.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/platform/Outcome.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

extern const char* const kComDbValueName;  // "ComDB"

constexpr int kComNumberMin = 1;
constexpr int kComNumberMax = 256;
// Bytes the configurator knows: COM1..COM256.
constexpr std::size_t kComDbKnownBytes = 32;
// Largest ComDB value read; the system's own limit is far below it.
constexpr std::size_t kComDbMaxBytes = 64 * 1024;

// Messages (caption "ERROR", error icon, shown by the dialog that reads or
// writes the map): the context of the failures below.
extern const char* const kMsgCantOpenArbiterKey;  // "Can't open Key: COM Name Arbiter"
extern const char* const kMsgCantOpenComDb;       // "Can't open COMDB"
extern const char* const kMsgListBoxError;        // "ListBox Error"

// Reads the whole ComDB value into entry.comDbBitmap (at least 32 bytes: a
// shorter value is completed with free numbers). Fails, with the message as
// its context, when the key or the value cannot be read; the bitmap is then
// left as it was.
Outcome ReadComDb(Configurator& app, PortEntry& entry);

// Sets (reserve) or clears (release) the bit of COMn for 1 <= n <= 256; any
// other n changes nothing. A map shorter than 32 bytes is first completed.
void MarkComNumber(std::vector<uint8_t>& bitmap, int n, bool reserved);
// True when COMn is reserved; numbers outside the map count as free, numbers
// outside 1..256 as not free.
bool IsComNumberReserved(const std::vector<uint8_t>& bitmap, int n);


// Every free number of COM1..COM256 in ascending order. A map that was
// never read (empty) offers nothing.
std::vector<int> FreeComNumbers(const std::vector<uint8_t>& bitmap);

// One registry value a rename sets: a string, or (ComDB) binary bytes.
struct ComNameWrite {
    std::string keyPath;
    const char* valueName = nullptr;
    std::string text;
    std::vector<uint8_t> bytes;  // empty for a string
};
// What renaming `entry` to `newName` ("COMn") writes, in order: FriendlyName
// "USB Serial Port (COMn)", PortName, then the map, in which n is reserved
// and the port's old number released (entry.comDbBitmap is updated).
std::vector<ComNameWrite> PlanComName(PortEntry& entry, const std::string& newName);
// Renaming is the change set of these writes: PlanRename
// (changes/ChangePlanners.h), which the dialog and varnokctl both apply.

// The number after the first three characters of a name such as "COM12",
// read like atoi (leading blanks, optional sign, digits; none gives 0).
int ComNumberOfName(const std::string& name);

}  // namespace varnok::cfg
