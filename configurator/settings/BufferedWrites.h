// Buffered writes of a port: on/off is bit 0x04 of ConfigData byte 1; the
// three parameters are DWORD values of the port's Device Parameters key
// while it is on. The dialog is BufferedWritesDialog.
#pragma once
#include <cstdint>
#include <string>

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

bool BufferedWritesOn(const PortEntry& entry);

// The record's three values as the dialog opens: the defaults, and with
// buffered writes on those of the registry that can be read.
void LoadBufferedWriteValues(Configurator& app, PortEntry& entry);

// The three boxes as typed, and which of them were refused (the box then
// shows the record's value again).
struct BufferedWriteTexts {
    std::string size, latency, threshold;
};
struct BufferedWriteRefusals {
    bool size = false, latency = false, threshold = false;
};

// Writes ConfigData of the record and, with buffered writes on, takes the
// three boxes (first four characters, each within 1..its maximum) and writes
// the three values; with buffered writes off, deletes them. Nothing is
// written (or taken) when ConfigData was neither read nor set by the user,
// or its key or ConfigData cannot be written.
BufferedWriteRefusals WriteBufferedWriteSettings(Configurator& app, PortEntry& entry,
                                                 const BufferedWriteTexts& typed);

}  // namespace varnok::cfg
