// Temporary directories and environment for tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
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

// A new, empty directory below the system's temporary directory.
inline std::string ZelMakeTempDir(const char* prefix) {
#if defined(_WIN32)
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    for (unsigned i = 0;; ++i) {
        std::string dir = std::string(base) + prefix + "-" + std::to_string(GetCurrentProcessId()) +
                          "-" + std::to_string(i);
        if (CreateDirectoryA(dir.c_str(), nullptr)) return dir;
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + dir);
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("cannot create " + pattern);
    return buf.data();
#endif
}
