#include "HiveLocation.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zelreg {
namespace {

const char* const kUserHiveFile = "user.hive";
const char* const kMachineHiveFile = "machine.hive";
const char* const kMachineHiveDirectory = "/var/lib/zelregistry";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeDirectory() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = getpwuid(getuid())) return entry->pw_dir;
    return "/";
}

// mkdir -p: the directories it creates get `mode`; existing ones are left as they are.
void MakeDirectories(const std::string& path, mode_t mode) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) == 0) return;
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) MakeDirectories(path.substr(0, slash), mode);
    if (mkdir(path.c_str(), mode) == 0) {
        // mkdir applies the umask; the mode asked for is what the directory must have.
        chmod(path.c_str(), mode);
    }
}

}  // namespace

HiveLocation LocateHive(HiveKind kind) {
    HiveLocation location;
    const char* file = kind == HiveKind::User ? kUserHiveFile : kMachineHiveFile;
    std::string dir = Env("ZEL_REGISTRY_DIR");
    if (!dir.empty()) {
        location.directory = dir;
    } else if (kind == HiveKind::User) {
        std::string config = Env("XDG_CONFIG_HOME");
        if (config.empty() || config[0] != '/') config = HomeDirectory() + "/.config";
        location.directory = config + "/zelregistry";
    } else {
        location.directory = kMachineHiveDirectory;
    }
    while (location.directory.size() > 1 && location.directory.back() == '/') {
        location.directory.pop_back();
    }
    location.file = location.directory + "/" + file;
    location.privateFile = kind == HiveKind::User;
    return location;
}

PrepareResult PrepareHiveFile(const HiveLocation& location) {
    if (access(location.file.c_str(), F_OK) == 0) return PrepareResult::Ready;
    const bool ownDirectory = location.privateFile || !Env("ZEL_REGISTRY_DIR").empty();
    MakeDirectories(location.directory, ownDirectory ? 0700 : 0755);
    const mode_t mode = location.privateFile ? 0600 : 0644;
    // The file is made here rather than by SQLite so that it has its mode from the first
    // moment; SQLite gives its -wal and -shm files the same mode. An empty file is an empty
    // database to SQLite.
    const int fd = open(location.file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
        fchmod(fd, mode);
        close(fd);
        return PrepareResult::Ready;
    }
    if (errno == EEXIST) return PrepareResult::Ready;
    return PrepareResult::Missing;
}

}  // namespace zelreg
