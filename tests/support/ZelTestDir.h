// Temporary directories and environment for tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

// The registry directory of this test process (set before any test runs).
const std::string& ZelTestRegistryDir();

inline void ZelSetEnv(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

inline long ZelProcessId() {
#if defined(_WIN32)
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
}

// The directories ZelMakeTempDir made, removed with what they hold when the process that made
// them exits normally; a forked child that exits leaves its parent's alone.
class ZelTempDirs {
public:
    static void Add(const std::string& dir) {
        ZelTempDirs& made = Get();
        std::lock_guard<std::mutex> lock(made.mutex_);
        made.dirs_.emplace_back(ZelProcessId(), dir);
    }

private:
    ZelTempDirs() = default;
    ~ZelTempDirs() {
        for (const auto& [owner, dir] : dirs_) {
            std::error_code ec;
            if (owner == ZelProcessId()) std::filesystem::remove_all(dir, ec);
        }
    }
    // Made at the first directory, before a test opens a hive: so it is destroyed after the
    // store has finished with its hives at exit.
    static ZelTempDirs& Get() {
        static ZelTempDirs made;
        return made;
    }

    std::mutex mutex_;
    std::vector<std::pair<long, std::string>> dirs_;
};

// A new, empty directory below the system's temporary directory, removed when the process exits.
inline std::string ZelMakeTempDir(const char* prefix) {
    std::string dir;
#if defined(_WIN32)
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    for (unsigned i = 0;; ++i) {
        dir = std::string(base) + prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(i);
        if (CreateDirectoryA(dir.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + dir);
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("cannot create " + pattern);
    dir = buf.data();
#endif
    ZelTempDirs::Add(dir);
    return dir;
}
