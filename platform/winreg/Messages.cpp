#include "Messages.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace zelreg {

void Report(const std::string& file, const std::string& condition, const std::string& text) {
    struct Reported {
        std::mutex mutex;
        std::set<std::pair<std::string, std::string>> seen;
    };
    // Never destroyed: failures may still be reported while the process exits.
    static Reported* const reported = std::make_unique<Reported>().release();
    std::lock_guard<std::mutex> lock(reported->mutex);
    if (reported->seen.emplace(file, condition).second) std::fprintf(stderr, "zelregistry: %s\n", text.c_str());
}

}  // namespace zelreg
