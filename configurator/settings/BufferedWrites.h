// The Buffered Writes dialog (resource 107) for the selected port. On/off is
// bit 0x04 of ConfigData byte 1; the three parameters are DWORD values of the
// port's Device Parameters key while it is on.
#pragma once
#include <cstdint>

#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

constexpr std::size_t kBufferedWritesByte = 1;
constexpr uint8_t kBufferedWritesBit = 0x04;

constexpr uint32_t kDefaultWriteBufferSize = 4096;
constexpr uint32_t kDefaultWriteBufferThreshold = 20;
constexpr uint32_t kDefaultWriteLatency = 1;
constexpr uint32_t kMaxWriteBufferSize = 4096;
constexpr uint32_t kMaxWriteBufferThreshold = 20;
constexpr uint32_t kMaxWriteLatency = 16;

extern const char* const kWriteBufferSizeValue;       // "WriteBufferSize"
extern const char* const kWriteBufferThresholdValue;  // "WriteBufferThreshold"
extern const char* const kWriteLatencyValue;          // "WriteLatency"

// Writes ConfigData of the selected record and, with buffered writes on,
// takes the three boxes (first four characters, each within its range;
// a rejected box shows the value in force again) and writes the three
// values; with buffered writes off, deletes them. Silent on failure.
void WriteBufferedWriteSettings(Configurator& app, ui::DialogView& view);

class BufferedWritesDialog : public ui::DialogLogic {
public:
    explicit BufferedWritesDialog(Configurator& app) : app_(app) {}
    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, ui::Event event) override;

private:
    Configurator& app_;
};

}  // namespace varnok::cfg
