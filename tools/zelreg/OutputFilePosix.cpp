#include "OutputFile.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelregtool {
namespace {

// More links than this in a chain is a loop, as the kernel counts (its MAXSYMLINKS).
constexpr int kMaxLinks = 40;

std::string Reason(int error) { return std::strerror(error); }

// The descriptor a name stands for: these names reopen an open file rather than name one, and
// replacing or truncating what is behind them would undo a shell's redirection (">>" among them).
std::optional<int> DescriptorName(const std::string& path) {
    if (path == "/dev/stdin") return 0;
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::size_t length = std::strlen(prefix);
        if (path.compare(0, length, prefix) != 0 || path.size() == length || path.size() > length + 9) continue;
        int number = 0;
        for (std::size_t i = length; i < path.size(); ++i) {
            if (path[i] < '0' || path[i] > '9') return std::nullopt;
            number = number * 10 + (path[i] - '0');
        }
        return number;
    }
    return std::nullopt;
}

bool ReadLink(const std::string& path, std::string& target, int& error) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink(path.c_str(), &buffer[0], buffer.size());
        if (length < 0) {
            error = errno;
            return false;
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            target.assign(buffer.data(), static_cast<std::size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool WriteAll(int descriptor, std::string_view bytes, int& error) {
    while (!bytes.empty()) {
        const ssize_t written = write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A descriptor that closes itself.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (descriptor_ >= 0) close(descriptor_);
    }
    int get() const { return descriptor_; }
    // Closes now, reporting what close reports (a write that failed late on a network disk).
    bool Close(int& error) {
        const int result = close(descriptor_);
        descriptor_ = -1;
        if (result != 0) error = errno;
        return result == 0;
    }

private:
    int descriptor_;
};

std::string Directory(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes a new file beside `path` and renames it over `path`. `old` is the file replaced, whose
// permissions and owner the new one takes; null for a new file, which gets the umask's.
bool ReplaceWhole(const std::string& path, const struct stat* old, std::string_view bytes, int& error) {
    std::string temporary;
    int created = -1;
    for (int attempt = 0; created < 0 && attempt < 100; ++attempt) {
        temporary = path + ".zelreg-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        created = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (created < 0 && errno != EEXIST) break;
    }
    if (created < 0) {
        error = errno;
        return false;
    }
    Descriptor file(created);
    bool ok = true;
    if (old) {
        // Another owner can be kept only by root; the permissions always.
        if (fchown(file.get(), old->st_uid, old->st_gid) != 0 && errno != EPERM) ok = false, error = errno;
        if (ok && fchmod(file.get(), old->st_mode & 07777) != 0) ok = false, error = errno;
    }
    ok = ok && WriteAll(file.get(), bytes, error);
    if (ok && fsync(file.get()) != 0) ok = false, error = errno;
    ok = file.Close(error) && ok;
    if (ok && rename(temporary.c_str(), path.c_str()) != 0) ok = false, error = errno;
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the directory.
    const int directory = open(Directory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return true;
}

}  // namespace

bool OutputFile::Resolve(const std::string& name, OutputFile& file, std::string& problem) {
    file = OutputFile();
    std::string path = name;
    for (int links = 0;; ++links) {
        if (const auto descriptor = DescriptorName(path)) {
            file.kind_ = Kind::InPlace;
            file.path_ = path;
            file.descriptor_ = *descriptor;
            return true;
        }
        struct stat status;
        if (lstat(path.c_str(), &status) != 0) {
            if (errno != ENOENT) {
                problem = Reason(errno);
                return false;
            }
            // Also the target of a dangling link, which is then created.
            file.kind_ = Kind::NewFile;
            file.path_ = path;
            return true;
        }
        if (S_ISDIR(status.st_mode)) {
            problem = Reason(EISDIR);
            return false;
        }
        if (!S_ISLNK(status.st_mode)) {
            file.kind_ = S_ISREG(status.st_mode) ? Kind::PlainFile : Kind::InPlace;
            file.path_ = path;
            return true;
        }
        std::string target;
        int error = 0;
        if (links == kMaxLinks) error = ELOOP;
        if (error != 0 || !ReadLink(path, target, error)) {
            problem = Reason(error);
            return false;
        }
        path = target.front() == '/' ? target : Directory(path) + "/" + target;
    }
}

bool OutputFile::Write(std::string_view bytes, std::string& problem) const {
    int error = 0;
    bool ok = false;
    if (descriptor_ >= 0) {
        ok = WriteAll(descriptor_, bytes, error);
    } else if (kind_ == Kind::InPlace) {
        // No O_CREAT: what was a device a moment ago is never made a file here.
        Descriptor device(open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
        if (device.get() < 0)
            error = errno;
        else
            ok = WriteAll(device.get(), bytes, error) && device.Close(error);
    } else {
        struct stat old;
        const bool exists = kind_ == Kind::PlainFile && stat(path_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
        ok = ReplaceWhole(path_, exists ? &old : nullptr, bytes, error);
    }
    if (!ok) problem = Reason(error);
    return ok;
}

}  // namespace zelregtool

