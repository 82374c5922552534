#include "HiveFileHeader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace zelreg {
namespace {

uint32_t BigEndian(const unsigned char* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

}  // namespace

std::optional<HiveFileHeader> ReadHiveFileHeader(const std::string& file) {
    unsigned char header[100] = {};
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const ssize_t got = read(fd, header, sizeof header);
    close(fd);
    // SQLite's database header: its magic text, the read and write versions at 18 and 19 (2 in
    // write-ahead-log mode), the user version at 60 and the application id at 68.
    if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0)
        return std::nullopt;
    return HiveFileHeader{header[18] == 2, BigEndian(header + 68), BigEndian(header + 60)};
}

}  // namespace zelreg
