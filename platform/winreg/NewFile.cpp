#include "NewFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "RegError.h"

namespace zelreg {
namespace {

constexpr LONG kErrorPathNotFound = 3;

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncDirectory(const std::string& path) {
    const int fd = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

LONG FileStatus(int error) {
    switch (error) {
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOENT:
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_CANTWRITE;
    }
}

NewFile::NewFile(std::string path) : path_(std::move(path)) {
    if (path_.empty()) Fail(kErrorPathNotFound);
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0) Fail(ERROR_ALREADY_EXISTS);
    if (errno != ENOENT) Fail(FileStatus(errno));
}

NewFile::~NewFile() { RemoveWritten(); }

void NewFile::RemoveWritten() {
    if (written_.empty()) return;
    unlink(written_.c_str());
    written_.clear();
}

const std::string& NewFile::Begin() {
    RemoveWritten();
    std::string pattern = path_ + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkstemp makes the file 0600, whatever the umask.
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) Fail(FileStatus(errno));
    close(fd);
    written_ = name.data();
    return written_;
}

void NewFile::Publish() {
    // link() never replaces: whatever came to the path meanwhile stays.
    if (link(written_.c_str(), path_.c_str()) != 0) Fail(FileStatus(errno));
    RemoveWritten();
    SyncDirectory(path_);
}

}  // namespace zelreg
