// Many short programs in a row, each a new process that opens the user hive, reads two values,
// writes one and exits: what a shell script calling zelreg, or any small tool, does. Prints the
// time per process for the first and the last thousand, the largest the log grew, and checks at
// the end that the hive file alone, without its log, holds every value written.
//
//   zel_short_process_bench [PROCESSES]     (default 10000)
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/winreg/ZelWinReg.h"
#include "support/ZelTestDir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kKey = "Software\\ZelShortProcessBench";

std::string ValueName(long i) { return "w" + std::to_string(i); }

int Failed(const char* call, LONG status) {
    std::fprintf(stderr, "%s returned %d\n", call, static_cast<int>(status));
    return 1;
}

// One short program: reads "a" and "b", writes w<i>; with `setup`, writes "a" and "b" instead.
int Child(long i, bool setup) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc) return Failed("RegCreateKeyExA", rc);
    DWORD value = 0, size = sizeof value;
    if (setup) {
        for (const char* name : {"a", "b"}) {
            rc = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
            if (rc) return Failed("RegSetValueExA", rc);
        }
        return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 1;
    }
    for (const char* name : {"a", "b"}) {
        size = sizeof value;
        rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        if (rc) return Failed("RegQueryValueExA", rc);
    }
    value = static_cast<DWORD>(i);
    rc = RegSetValueExA(key, ValueName(i).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    if (rc) return Failed("RegSetValueExA", rc);
    return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 1;
}

// Reads every value back; the count of those that are missing or wrong.
int Verify(long processes) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key)) return static_cast<int>(processes);
    int bad = 0;
    for (long i = 0; i < processes; ++i) {
        DWORD value = 0, size = sizeof value;
        if (RegQueryValueExA(key, ValueName(i).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ||
            value != static_cast<DWORD>(i))
            ++bad;
    }
    RegCloseKey(key);
    return bad;
}

// Runs this program again with the arguments; its exit status, or -1. `cpuMs` gets the CPU time
// the process used, which other work on the machine disturbs less than the time it took.
int RunSelf(const std::vector<std::string>& arguments, double* cpuMs = nullptr) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>("/proc/self/exe")};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
    if (cpuMs) {
        *cpuMs = 1e3 * static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 1e-3 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    }
    if (WIFSIGNALED(status)) std::fprintf(stderr, "killed by signal %d\n", WTERMSIG(status));
    if (!WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

off_t SizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

double MeanMs(const std::vector<double>& times, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += times[i];
    return to > from ? sum / static_cast<double>(to - from) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return Child(std::atol(argv[2]), false);
    if (argc == 2 && std::strcmp(argv[1], "--setup") == 0) return Child(0, true);
    if (argc == 3 && std::strcmp(argv[1], "--verify") == 0) return Verify(std::atol(argv[2])) == 0 ? 0 : 1;
    const long processes = argc > 1 ? std::atol(argv[1]) : 10000;
    if (processes < 1) {
        std::fprintf(stderr, "usage: %s [PROCESSES]\n", argv[0]);
        return 2;
    }
    const std::string dir = ZelMakeTempDir("zelreg-short");
    ZelSetEnv("ZEL_REGISTRY_DIR", dir.c_str());
    const std::string hive = dir + "/user.hive", log = hive + "-wal";

    // The values every process reads, written by a process of their own, as the others are.
    if (RunSelf({"--setup"}) != 0) {
        std::fprintf(stderr, "the first process failed\n");
        return 1;
    }
    std::vector<double> times, cpuTimes;
    off_t largestLog = 0;
    for (long i = 0; i < processes; ++i) {
        const auto began = Clock::now();
        double cpuMs = 0;
        if (RunSelf({"--child", std::to_string(i)}, &cpuMs) != 0) {
            std::fprintf(stderr, "process %ld failed\n", i);
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - began).count());
        cpuTimes.push_back(cpuMs);
        largestLog = std::max(largestLog, SizeOf(log));
    }
    const std::size_t n = times.size(), window = std::min<std::size_t>(1000, n);
    std::printf("processes: %ld\n", processes);
    for (const auto& [what, series] : {std::pair{"time", &times}, std::pair{"CPU time", &cpuTimes}}) {
        const double first = MeanMs(*series, 0, window), last = MeanMs(*series, n - window, n);
        std::printf("%s per process, first %zu: %.2f ms, last %zu: %.2f ms (%+.0f %%)\n", what, window, first, window,
                    last, 100.0 * (last - first) / first);
    }
    std::printf("largest log: %.2f MB; after the last exit: hive %.1f KB, log %lld bytes\n",
                static_cast<double>(largestLog) / 1048576.0, static_cast<double>(SizeOf(hive)) / 1024.0,
                static_cast<long long>(SizeOf(log)));

    // The hive file alone, copied to a directory of its own, must hold every value.
    const std::string alone = ZelMakeTempDir("zelreg-short-alone");
    std::error_code ec;
    fs::copy_file(hive, alone + "/user.hive", ec);
    ZelSetEnv("ZEL_REGISTRY_DIR", alone.c_str());
    const bool complete = !ec && RunSelf({"--verify", std::to_string(processes)}) == 0;
    std::printf("the hive file alone holds every value: %s\n", complete ? "yes" : "NO");
    fs::remove_all(dir, ec);
    fs::remove_all(alone, ec);
    return complete ? 0 : 1;
}
