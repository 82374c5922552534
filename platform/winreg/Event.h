// Event objects for change notification: CreateEventA and friends hand out handles to these.
#pragma once

#include <condition_variable>
#include <mutex>

#include "../win32/ZelWinTypes.h"

namespace zelreg {

class Event {
public:
    Event(bool manualReset, bool initialState) : manualReset_(manualReset), signaled_(initialState) {}

    void Set();
    void Reset();
    // True when the event was signaled within the time (an auto-reset event is then cleared).
    bool Wait(DWORD milliseconds);

private:
    std::mutex mutex_;
    std::condition_variable signal_;
    const bool manualReset_;
    bool signaled_;
};

}  // namespace zelreg
