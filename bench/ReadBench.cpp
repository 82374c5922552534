// Reads as applications make them most: a setting read through a handle that is open, and a
// setting read by section and entry through the library (open, query, close), as a number and as
// text, in hives of 1,000, 10,000 and 100,000 settings, with the machine otherwise quiet and with
// another process writing to the hive all the while; and the same reads in a process that has
// only read, and so reads through the hive's read map. Prints the median and the 99th percentile
// of one call.
//
//   zel_read_bench
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "ZelRegistryBase.h"
#include "platform/winreg/ZelWinReg.h"
#include "support/ZelTestDir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPerSection = 100;
constexpr int kBatch = 100;     // calls timed together: the clock costs more than a read
constexpr int kBatches = 2000;
constexpr const char* kThroughMap = ", through the read map";

std::string Component(int settings) { return "ZelReadBench" + std::to_string(settings); }
std::string Section(int s) { return "S" + std::to_string(s); }
std::string Entry(int e) { return "Entry" + std::to_string(e); }

ZelRegistryBase Location(int settings) {
    return ZelRegistryBase(Component(settings).c_str(), "1.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
}

void Fill(int settings) {
    ZelRegistryBase location = Location(settings);
    for (int s = 0; s < settings / kPerSection; ++s) {
        HKEY section = location.GetSectionKey(Section(s).c_str(), TRUE);
        for (int e = 0; e < kPerSection; ++e) {
            const DWORD value = static_cast<DWORD>(s * kPerSection + e);
            RegSetValueExA(section, Entry(e).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        }
        RegCloseKey(section);
    }
}

// Median and 99th percentile of one call, in nanoseconds, from batches of kBatch calls.
template <class Call>
void Measure(const char* what, int settings, Call&& call, int batches = kBatches) {
    std::vector<double> perCall;
    std::mt19937 random(7);
    for (int b = 0; b < batches; ++b) {
        const auto began = Clock::now();
        for (int i = 0; i < kBatch; ++i) call(random);
        perCall.push_back(std::chrono::duration<double, std::nano>(Clock::now() - began).count() / kBatch);
    }
    std::sort(perCall.begin(), perCall.end());
    std::printf("%-44s %7d settings  median %7.0f ns  p99 %7.0f ns\n", what, settings, perCall[perCall.size() / 2],
                perCall[perCall.size() * 99 / 100]);
}

// The descriptors this process holds of the hive file: a process that opens the hive holds one,
// one that reads through the read map none (but a forked child has its parent's).
std::vector<std::string> HiveDescriptors(const std::string& dir) {
    std::vector<std::string> found;
    std::error_code ec;
    const auto hive = std::filesystem::canonical(dir + "/user.hive", ec);
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code link;
        if (std::filesystem::read_symlink(fd.path(), link) == hive) found.push_back(fd.path().filename().string());
    }
    return found;
}

void Run(int settings, const char* when) {
    const int sections = settings / kPerSection;
    ZelRegistryBase location = Location(settings);
    std::vector<HKEY> open;
    for (int s = 0; s < sections; ++s) open.push_back(location.GetSectionKey(Section(s).c_str(), FALSE));
    std::vector<std::string> sectionNames, entryNames;
    for (int s = 0; s < sections; ++s) sectionNames.push_back(Section(s));
    for (int e = 0; e < kPerSection; ++e) entryNames.push_back(Entry(e));
    // Hot reads: every setting is read once before the reads that are timed.
    for (int s = 0; s < sections; ++s) {
        for (int e = 0; e < kPerSection; ++e) {
            DWORD value = 0, size = sizeof value;
            RegQueryValueExA(open[s], entryNames[e].c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        }
    }
    const std::string handle = std::string("RegQueryValueExA, open handle") + when;
    Measure(handle.c_str(), settings, [&](std::mt19937& random) {
        DWORD value = 0, size = sizeof value;
        RegQueryValueExA(open[random() % sections], entryNames[random() % kPerSection].c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&value), &size);
    });
    const std::string profile = std::string("GetProfileIntA by section and entry") + when;
    Measure(profile.c_str(), settings, [&](std::mt19937& random) {
        location.GetProfileIntA(sectionNames[random() % sections].c_str(), entryNames[random() % kPerSection].c_str(), 0);
    });
    // The same settings read as text: the four bytes of each, with the two queries (size, then
    // data) that reading a string takes.
    const std::string text = std::string("GetProfileStringA by section and entry") + when;
    Measure(text.c_str(), settings, [&](std::mt19937& random) {
        location.GetProfileStringA(sectionNames[random() % sections].c_str(), entryNames[random() % kPerSection].c_str(),
                                   "");
    });
    for (HKEY key : open) RegCloseKey(key);
    if (std::strcmp(when, kThroughMap) != 0) {
        std::printf("%-44s %7d settings  %.1f MB\n", "the read cache then holds", settings, ZelRegReadCacheBytes() / 1e6);
    }
}

// The reads of Run in a new process, which reads through the read map as long as it only reads.
void RunThroughMap(const std::string& dir) {
    std::fflush(stdout);  // the children would print it again
    // A process that exits normally builds the map when it finds none current.
    const pid_t builder = fork();
    if (builder == 0) {
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
        std::exit(0);
    }
    waitpid(builder, nullptr, 0);
    const pid_t reader = fork();
    if (reader == 0) {
        const std::vector<std::string> inherited = HiveDescriptors(dir);
        for (int settings : {1000, 10000, 100000}) Run(settings, kThroughMap);
        if (HiveDescriptors(dir) != inherited) std::printf("(the process opened the hive: these reads did not all go through the map)\n");
        std::fflush(stdout);
        _exit(0);
    }
    waitpid(reader, nullptr, 0);
}

// What a write costs this process while another keeps reading the hive: the reader's cache
// must learn what each commit changed, and that may not make writes slower.
void WriteCost(int settings) {
    const pid_t reader = fork();
    if (reader == 0) {
        ZelRegistryBase location = Location(settings);
        for (;;) location.GetProfileIntA(Section(0).c_str(), Entry(0).c_str(), 0);
    }
    usleep(100000);
    ZelRegistryBase location = Location(settings);
    HKEY section = location.GetSectionKey(Section(1).c_str(), FALSE);
    Measure("RegSetValueExA, another process reading", settings, [&](std::mt19937& random) {
        const DWORD value = random();
        RegSetValueExA(section, Entry(static_cast<int>(value % kPerSection)).c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&value), 4);
    }, 50);
    RegCloseKey(section);
    kill(reader, SIGKILL);
    waitpid(reader, nullptr, 0);
}

}  // namespace

int main() {
    const std::string dir = ZelMakeTempDir("zelreg-read");
    ZelSetEnv("ZEL_REGISTRY_DIR", dir.c_str());
    for (int settings : {1000, 10000, 100000}) Fill(settings);
    for (int settings : {1000, 10000, 100000}) Run(settings, "");
    RunThroughMap(dir);
    WriteCost(10000);
    // Another process writes all the while, to a key of its own.
    const pid_t writer = fork();
    if (writer == 0) {
        for (DWORD i = 0;; ++i) {
            HKEY key = nullptr;
            RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZelReadBenchWriter", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr);
            RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
            RegCloseKey(key);
            usleep(200);
        }
    }
    for (int settings : {1000, 10000, 100000}) Run(settings, ", another process writing");
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
