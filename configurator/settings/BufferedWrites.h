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

// Reads the three values of the record's Device Parameters key: each one
// that can be read is taken (and counts as read), any other holds its
// default. Remembered as read, so that the planners write only changes.
void ReadBufferedWriteValues(Configurator& app, PortEntry& entry);
// The record's three values as the dialog opens: those read while buffered
// writes are on, the defaults otherwise.
void LoadBufferedWriteValues(Configurator& app, PortEntry& entry);

// The three boxes as typed, and which of them were refused (the box then
// shows the record's value again).
struct BufferedWriteTexts {
    std::string size, latency, threshold;
};
struct BufferedWriteRefusals {
    bool size = false, latency = false, threshold = false;
};

// With buffered writes on, takes the three boxes (first four characters,
// each within 1..its maximum) into the record, all three counting as set by
// the user; a refused box keeps the record's value. With buffered writes
// off, releases them (below).
BufferedWriteRefusals TakeBufferedWriteBoxes(PortEntry& entry, const BufferedWriteTexts& typed);
// The user switched buffered writes off: the three values are let go, and
// the planner removes those that were read.
void ReleaseBufferedWriteValues(PortEntry& entry);

}  // namespace varnok::cfg
