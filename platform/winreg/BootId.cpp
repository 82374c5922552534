#include "BootId.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace zelreg {
namespace {

constexpr std::string_view kUnknownBoot = "unknown-boot";

// Kept in a plain array, which no destructor takes away: the id is still asked for while the
// process exits, after the destructors of statics made later than the store's exit handler.
struct Id {
    char text[64];
    std::size_t size;
};

Id ReadId() {
    // Read with plain system calls: a file stream would first set up the C++ locales, which
    // costs a new process more than the query the id is for.
    Id id{};
    ssize_t size = -1;
    const int fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        size = read(fd, id.text, sizeof id.text - 1);
        close(fd);
    }
    const std::string_view line(id.text, static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
    id.size = std::min(line.find('\n'), line.size());
    if (id.size == 0) id.size = kUnknownBoot.copy(id.text, kUnknownBoot.size());
    return id;
}

}  // namespace

std::string_view BootId() {
    static const Id id = ReadId();
    return std::string_view(id.text, id.size);
}

bool BootIdKnown() { return BootId() != kUnknownBoot; }

}  // namespace zelreg
