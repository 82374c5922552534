#include "LockWait.h"

#include <cstdint>
#include <cstdlib>

namespace zelreg {

std::chrono::milliseconds LockWaitLimit() {
    constexpr double kDefaultSeconds = 60;
    const char* text = std::getenv("ZEL_REGISTRY_LOCK_WAIT");
    char* end = nullptr;
    double seconds = text ? std::strtod(text, &end) : kDefaultSeconds;
    if (text && (end == text || *end != '\0' || !(seconds >= 0 && seconds <= 86400))) seconds = kDefaultSeconds;
    return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

}  // namespace zelreg
