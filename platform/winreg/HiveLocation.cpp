#include "HiveLocation.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "FileTrust.h"
#include "Messages.h"
#include "RegError.h"

namespace zelreg {
namespace {

const char* const kUserHiveFile = "user.hive";
const char* const kMachineHiveFile = "machine.hive";
const char* const kMachineHiveDirectory = "/var/lib/zelregistry";

std::atomic<bool> g_createHives{true};

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
        location.source = HiveSource::Environment;
    } else if (kind == HiveKind::User) {
        std::string config = Env("XDG_CONFIG_HOME");
        if (config.empty() || config[0] != '/') config = HomeDirectory() + "/.config";
        location.directory = config + "/zelregistry";
        location.source = HiveSource::UserDefault;
    } else {
        location.directory = kMachineHiveDirectory;
        location.source = HiveSource::MachineDefault;
    }
    while (location.directory.size() > 1 && location.directory.back() == '/') {
        location.directory.pop_back();
    }
    location.file = location.directory + "/" + file;
    location.privateFile = kind == HiveKind::User;
    return location;
}

std::string DescribeSource(HiveSource source) {
    switch (source) {
    case HiveSource::Environment: return "set by ZEL_REGISTRY_DIR";
    case HiveSource::UserDefault: return "the per-user default, below $XDG_CONFIG_HOME or ~/.config";
    case HiveSource::MachineDefault: return "the machine location";
    }
    return "";
}

void AllowHiveCreation(bool allow) { g_createHives = allow; }

void RefuseHive(const std::string& file, const std::string& reason, LONG status) {
    Report(file, "refused", "refusing hive file '" + file + "': " + reason + "; the files were left unchanged");
    Fail(status);
}

PrepareResult PrepareHiveFile(const HiveLocation& location) {
    struct stat existing {};
    if (!g_createHives && lstat(location.file.c_str(), &existing) != 0 && errno == ENOENT) {
        Report(location.file, "missing", "no registry in " + location.directory + " (" + DescribeSource(location.source) + ")");
        Fail(ERROR_FILE_NOT_FOUND);
    }
    const bool ownDirectory = location.privateFile || !Env("ZEL_REGISTRY_DIR").empty();
    MakeDirectories(location.directory, ownDirectory ? 0700 : 0755);
    const std::string untrusted = UntrustedDirectory(location.directory, location.privateFile);
    if (!untrusted.empty()) RefuseHive(location.file, untrusted, ERROR_ACCESS_DENIED);

    const std::string& hive = location.file;
    const std::string log = hive + "-wal";
    struct stat hiveState {}, logState {};
    const bool hiveExists = lstat(hive.c_str(), &hiveState) == 0;
    const bool logHoldsData = lstat(log.c_str(), &logState) == 0 && logState.st_size > 0;
    for (const char* suffix : {"", "-wal", "-shm", "-locks"}) {
        struct stat st {};
        if (lstat((hive + suffix).c_str(), &st) != 0) continue;
        const std::string why = UntrustedFile(st, location.privateFile);
        if (!why.empty()) RefuseHive(hive, "'" + hive + suffix + "': " + why, ERROR_ACCESS_DENIED);
    }
    // SQLite would take such a log for one left over from an earlier database and delete it.
    if (logHoldsData && (!hiveExists || hiveState.st_size == 0)) {
        RefuseHive(hive,
                   std::string(hiveExists ? "the hive file is empty" : "the hive file is missing") + " while its log '" +
                       log + "' holds data; restore the hive from a backup, or move the log aside to start a new hive",
                   ERROR_REGISTRY_CORRUPT);
    }
    if (!hiveExists) {
        const mode_t mode = location.privateFile ? 0600 : 0644;
        // The file is made here rather than by SQLite so that it has its mode from the first
        // moment. An empty file is an empty database to SQLite.
        const int fd = open(hive.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) return PrepareResult::Missing;
        if (fd >= 0) {
            fchmod(fd, mode);
            close(fd);
        }
    }
    return PrepareResult::Ready;
}

}  // namespace zelreg
