#include "OutputFile.h"

#include "Registry.h"
#include "TextUtil.h"

namespace zelregtool {
namespace {

std::string Reason(DWORD error) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
    LocalFree(text);
    // The system's texts end in a full stop and a line break; the message goes on after them.
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.' ||
                               reason.back() == ' '))
        reason.pop_back();
    return reason;
}

// A handle that closes itself.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// The names Windows keeps for devices in every directory, with any extension ("nul.txt"):
// CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$; and \\.\ paths (\\.\pipe\..., \\.\COM10).
bool IsDeviceName(const std::string& path) {
    if (StartsWithNoCase(path, "\\\\.\\")) return true;
    const std::size_t slash = path.find_last_of("\\/:");
    std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    base = std::string(TrimRight(base.substr(0, base.find('.'))));
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (EqualsNoCase(base, device)) return true;
    return base.size() == 4 && (StartsWithNoCase(base, "COM") || StartsWithNoCase(base, "LPT")) && base[3] >= '1' &&
           base[3] <= '9';
}

bool WriteAll(HANDLE handle, std::string_view bytes, DWORD& error) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) {
            error = GetLastError();
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// The file behind any symbolic links or junctions on the way to it.
std::string FinalPath(const std::string& path) {
    Handle file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return path;
    char buffer[MAX_PATH * 4];
    const DWORD length = GetFinalPathNameByHandleA(file.get(), buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
}

}  // namespace

bool OutputFile::Resolve(const std::string& name, OutputFile& file, std::string& problem) {
    file = OutputFile();
    file.path_ = name;
    if (IsDeviceName(name)) {
        file.kind_ = Kind::InPlace;
        return true;
    }
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            problem = Reason(error);
            return false;
        }
        file.kind_ = Kind::NewFile;  // a missing folder is reported when the file is written
        return true;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        problem = "Is a directory";  // as the other platforms word it
        return false;
    }
    Handle handle(CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle.get() != INVALID_HANDLE_VALUE && GetFileType(handle.get()) != FILE_TYPE_DISK) {
        file.kind_ = Kind::InPlace;
        return true;
    }
    file.kind_ = Kind::PlainFile;
    file.path_ = FinalPath(name);
    return true;
}

bool OutputFile::Write(std::string_view bytes, std::string& problem) const {
    DWORD error = ERROR_SUCCESS;
    if (kind_ == Kind::InPlace) {
        Handle device(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        const bool ok = device.get() != INVALID_HANDLE_VALUE ? WriteAll(device.get(), bytes, error)
                                                             : (error = GetLastError(), false);
        if (!ok) problem = Reason(error);
        return ok;
    }
    std::string temporary;
    bool ok = false;
    {
        HANDLE created = INVALID_HANDLE_VALUE;
        for (int attempt = 0; created == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
            temporary = path_ + ".zelreg-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
            created = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
            if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
        }
        if (created == INVALID_HANDLE_VALUE) {
            problem = Reason(GetLastError());
            return false;
        }
        Handle file(created);
        ok = WriteAll(file.get(), bytes, error);
        if (ok && !FlushFileBuffers(file.get())) ok = false, error = GetLastError();
    }
    // ReplaceFile keeps the replaced file's attributes and access list.
    if (ok && kind_ == Kind::PlainFile &&
        !ReplaceFileA(path_.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        ok = false, error = GetLastError();
    if (ok && kind_ == Kind::NewFile && !MoveFileExA(temporary.c_str(), path_.c_str(), MOVEFILE_WRITE_THROUGH))
        ok = false, error = GetLastError();
    if (!ok) {
        DeleteFileA(temporary.c_str());
        problem = Reason(error);
    }
    return ok;
}

}  // namespace zelregtool
