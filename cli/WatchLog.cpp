#include "cli/WatchLog.h"

#include <cstdio>

namespace varnok::cli {

std::string KeepNewestLines(const std::string& text, std::size_t keep) {
    if (text.size() <= keep) return text;
    // Whole lines: cut after the first line end at or past the last byte that must go.
    const std::size_t end = text.find('\n', text.size() - keep - 1);
    return end == std::string::npos ? std::string() : text.substr(end + 1);
}

WatchLog::WatchLog(FileStore& folder, LocalTimeSource& time, std::string name, std::size_t limit)
    : folder_(folder), time_(time), name_(std::move(name)), limit_(limit) {
    if (!folder_.readFile(name_, &text_)) text_.clear();
}

bool WatchLog::add(const std::string& line) {
    const LocalTime t = time_.localNow();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    // One line per event, whatever the text holds.
    std::string one = line;
    for (char& c : one)
        if (c == '\r' || c == '\n') c = ' ';
    text_ += stamp + one + "\r\n";
    if (text_.size() > limit_) text_ = KeepNewestLines(text_, limit_ / 4 * 3);
    return folder_.prepare() && folder_.writeFile(name_, text_);
}

}  // namespace varnok::cli
