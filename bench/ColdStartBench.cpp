// A new process that opens the user hive and reads 100 settings out of 100,000: the time from
// the start of main() to the last read, for a hive left by a clean exit, after 10,000 short
// processes (half of which write a setting), and after a writer that was killed (its log left
// behind).
//
//   zel_cold_start_bench [RUNS]     (default 20 per case)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/winreg/ZelWinReg.h"
#include "support/ZelTestDir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSections = 1000;
constexpr int kPerSection = 100;  // 100,000 settings
constexpr int kReads = 100;

std::string Section(int s) { return "Software\\ZelColdStart\\Section" + std::to_string(s); }
std::string Entry(int e) { return "Entry" + std::to_string(e); }

int Fill() {
    for (int s = 0; s < kSections; ++s) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, Section(s).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr))
            return 1;
        for (int e = 0; e < kPerSection; ++e) {
            const DWORD value = static_cast<DWORD>(s * kPerSection + e);
            if (RegSetValueExA(key, Entry(e).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4)) return 1;
        }
        RegCloseKey(key);
    }
    return 0;
}

// Reads kReads settings at random; prints the microseconds since `began` (the start of main) to
// the end of the first read, which opens the hive, and to the end of the last.
int ReadSome(Clock::time_point began, unsigned seed) {
    std::mt19937 random(seed);
    long long opened = 0;
    for (int i = 0; i < kReads; ++i) {
        const int s = static_cast<int>(random() % kSections), e = static_cast<int>(random() % kPerSection);
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Section(s).c_str(), 0, KEY_READ, &key)) return 1;
        DWORD value = 0, size = sizeof value;
        const LONG rc = RegQueryValueExA(key, Entry(e).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        if (rc || value != static_cast<DWORD>(s * kPerSection + e)) return 1;
        if (i == 0) opened = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - began).count();
    }
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - began).count();
    std::printf("%lld %lld\n", static_cast<long long>(us), opened);
    return 0;
}

// A writer that is killed after 2,000 changes (to a value beside the ones read, so that the reads
// still find what Fill wrote): its log stays, and the next process to open the hive reads all of
// it to rebuild the log's index.
[[noreturn]] void WriteAndDie() {
    for (int i = 0;; ++i) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, Section(i % kSections).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        const DWORD value = static_cast<DWORD>(i);
        RegSetValueExA(key, "Written", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(key);
        if (i == 2000) raise(SIGKILL);
    }
}

// Runs this program with the arguments; whether it succeeded, and what it printed.
bool RunSelf(const std::vector<std::string>& arguments, std::string* printed = nullptr) {
    int out[2];
    if (pipe(out) != 0) return false;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        std::vector<char*> argv{const_cast<char*>("/proc/self/exe")};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (printed) *printed = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Report(const char* what, int runs, unsigned& seed) {
    std::vector<double> ms, firstMs;
    for (int r = 0; r < runs; ++r) {
        std::string out;
        if (!RunSelf({"--read", std::to_string(seed++)}, &out)) {
            std::printf("%-34s FAILED\n", what);
            return;
        }
        long long total = 0, first = 0;
        if (std::sscanf(out.c_str(), "%lld %lld", &total, &first) != 2) {
            std::printf("%-34s FAILED\n", what);
            return;
        }
        ms.push_back(static_cast<double>(total) / 1000.0);
        firstMs.push_back(static_cast<double>(first) / 1000.0);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(firstMs.begin(), firstMs.end());
    std::printf("%-34s median %.2f ms  min %.2f ms  max %.2f ms  (first read, which opens the hive: median %.2f ms)\n",
                what, ms[ms.size() / 2], ms.front(), ms.back(), firstMs[firstMs.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    const auto began = Clock::now();
    if (argc == 3 && std::strcmp(argv[1], "--read") == 0) return ReadSome(began, static_cast<unsigned>(std::atoi(argv[2])));
    if (argc == 2 && std::strcmp(argv[1], "--fill") == 0) return Fill();
    if (argc == 2 && std::strcmp(argv[1], "--die") == 0) WriteAndDie();
    if (argc == 2 && std::strcmp(argv[1], "--short") == 0) {
        HKEY key = nullptr;
        return RegOpenKeyExA(HKEY_CURRENT_USER, Section(0).c_str(), 0, KEY_READ, &key) || RegCloseKey(key);
    }
    if (argc == 3 && std::strcmp(argv[1], "--short-write") == 0) {
        // Beside the settings that are read, as the killed writer's.
        const int n = std::atoi(argv[2]);
        HKEY key = nullptr;
        const DWORD value = static_cast<DWORD>(n);
        return RegOpenKeyExA(HKEY_CURRENT_USER, Section(n % kSections).c_str(), 0, KEY_ALL_ACCESS, &key) ||
               RegSetValueExA(key, "Short", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) || RegCloseKey(key);
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::string dir = ZelMakeTempDir("zelreg-cold");
    ZelSetEnv("ZEL_REGISTRY_DIR", dir.c_str());
    std::printf("a new process opens the user hive and reads %d of %d settings (time inside main):\n", kReads,
                kSections * kPerSection);
    if (!RunSelf({"--fill"})) {
        std::fprintf(stderr, "filling the hive failed\n");
        return 1;
    }
    unsigned seed = 1;
    Report("after a clean exit", runs, seed);
    for (int i = 0; i < 10000; ++i) {
        if (i % 2 == 0) {
            RunSelf({"--short"});
        } else if (!RunSelf({"--short-write", std::to_string(i)})) {
            std::fprintf(stderr, "a short process's write failed\n");
            return 1;
        }
    }
    Report("after 10,000 short processes", runs, seed);
    RunSelf({"--die"});
    Report("first opener after a killed writer", 1, seed);
    Report("and the ones after it", runs, seed);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
