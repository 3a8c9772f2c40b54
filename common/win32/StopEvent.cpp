#include "common/win32/StopEvent.h"

#include "common/win32/Handles.h"

namespace varnok::win32 {

HANDLE ProcessStopEvent() {
    // A function-local static: made once even when the first callers race.
    static const unique_event event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return event.get();
}

void RaiseProcessStop() {
    if (HANDLE e = ProcessStopEvent()) SetEvent(e);
}

}  // namespace varnok::win32
