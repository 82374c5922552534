#include "FileTrust.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zelreg {
namespace {

std::string Owner(uid_t uid) { return "user " + std::to_string(uid); }

}  // namespace

std::string UntrustedFile(const struct stat& st, bool privateFile) {
    if (S_ISLNK(st.st_mode)) return "it is a symbolic link (point ZEL_REGISTRY_DIR at the directory it is in instead)";
    if (!S_ISREG(st.st_mode)) return "it is not a plain file";
    if (!privateFile) return st.st_mode & S_IWOTH ? "every user may write it" : "";
    if (st.st_uid != geteuid()) return "it belongs to " + Owner(st.st_uid) + ", not to this user";
    if (st.st_mode & (S_IWGRP | S_IWOTH)) return "other users may write it";
    return "";
}

std::string UntrustedDirectory(const std::string& path, bool privateFile) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return "";  // the files cannot be there either
    if (!S_ISDIR(st.st_mode)) return "'" + path + "' is not a directory";
    // Where others may add and remove files, only the sticky bit keeps them from replacing
    // this user's (and whose files they are is checked one by one).
    if (st.st_mode & S_ISVTX) return "";
    const bool othersWrite = privateFile ? (st.st_mode & (S_IWGRP | S_IWOTH)) || (st.st_uid != geteuid() && st.st_uid != 0)
                                         : (st.st_mode & S_IWOTH) != 0;
    if (!othersWrite) return "";
    return "other users may write the directory '" + path +
           "' and replace the hive's files in it; use a directory of your own, or one with the sticky bit";
}

int OpenPrivateFile(const std::string& path, int flags, std::string& problem) {
    problem.clear();
    const int fd = open(path.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    // The umask can only take rights away: 0600 it is.
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
    const int existing = open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (existing < 0) {
        // O_NOFOLLOW met a symbolic link.
        if (errno == ELOOP && lstat(path.c_str(), &st) == 0) problem = UntrustedFile(st, true);
        return -1;
    }
    if (fstat(existing, &st) != 0) {
        const int error = errno;
        close(existing);
        errno = error;
        return -1;
    }
    problem = UntrustedFile(st, true);
    if (problem.empty()) return existing;
    close(existing);
    return -1;
}

}  // namespace zelreg
