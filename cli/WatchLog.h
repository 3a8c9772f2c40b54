// The profile watcher service's log: one line per event with the local time
// in front, in a file kept under a size. When a line would take it past the
// size, the oldest lines go (down to three quarters of it, so that the file
// is not rewritten short at every line): the newest lines are always kept.
#pragma once
#include <cstddef>
#include <string>

#include "common/platform/FileStore.h"

namespace varnok::cli {

constexpr std::size_t kWatchLogLimit = 1024 * 1024;

// `text` (lines ending in CR LF) without its oldest lines, so that it is at
// most `keep` bytes: whole lines only.
std::string KeepNewestLines(const std::string& text, std::size_t keep);

class WatchLog {
public:
    // Goes on from the file as it is (anew when it cannot be read).
    WatchLog(FileStore& folder, LocalTimeSource& time, std::string name = "watch.log",
             std::size_t limit = kWatchLogLimit);
    // Adds one line, "YYYY-MM-DD HH:MM:SS line"; false when the file could
    // not be written (the line is kept for the next write).
    bool add(const std::string& line);

private:
    FileStore& folder_;
    LocalTimeSource& time_;
    std::string name_;
    std::size_t limit_;
    std::string text_;
};

}  // namespace varnok::cli
