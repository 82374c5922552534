#include "BootId.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace zelreg {
namespace {

constexpr const char* kUnknownBoot = "unknown-boot";

}  // namespace

const std::string& BootId() {
    // Read with plain system calls: a file stream would first set up the C++ locales, which
    // costs a new process more than the query the id is for.
    static const std::string id = [] {
        char text[64];
        ssize_t size = -1;
        const int fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            size = read(fd, text, sizeof text);
            close(fd);
        }
        std::string line(text, static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
        line.erase(std::min(line.find('\n'), line.size()));
        return line.empty() ? std::string(kUnknownBoot) : line;
    }();
    return id;
}

bool BootIdKnown() { return BootId() != kUnknownBoot; }

}  // namespace zelreg
