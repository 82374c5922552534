// How soon a watcher hears of another process's change, and what watching costs the writers.
//
// A writer process sets one value at a time; the watcher (this process) waits for it, through
// RegNotifyChangeKeyValue's event, through a detailed watch's descriptor or through a
// ZelRegistryWatcher's callback (on the watcher's own thread), and only then lets the
// writer make the next change, so that every change is timed alone. The latency of a change runs
// from the moment the writer's RegSetValueExA returned to the moment the watcher woke (zero when
// the watcher woke before the call had returned). Then the rate at which a process creates keys
// and sets values, with no one watching the hive and with a detailed watch in another process.
//
//   zel_watch_latency_bench [--changes N]
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "ZelRegistryWatcher.h"
#include "platform/winreg/ZelWinReg.h"
#include "support/ZelTestDir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kWatched = "Software\\ZelWatchLatencyBench";

// Shared between the watcher and the writer: which change the writer may make next, and when
// each of its calls returned (steady_clock is the same clock in every process).
struct Shared {
    std::atomic<int> armed;
    std::atomic<int> stop;
    std::atomic<int> watching;
    int64_t returned[1];
};

Shared* MapShared(int changes) {
    const std::size_t bytes = sizeof(Shared) + sizeof(int64_t) * static_cast<std::size_t>(changes);
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        std::perror("mmap");
        std::exit(1);
    }
    return new (memory) Shared{};
}

int64_t Now() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

HKEY OpenWatched() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kWatched, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0) {
        std::fprintf(stderr, "cannot open %s\n", kWatched);
        std::exit(1);
    }
    return key;
}

pid_t Fork(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (pid == 0) _exit(body());
    return pid;
}

bool Waited(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The writer: waits until change i is armed, makes it and notes when its call returned.
int Writer(Shared* shared, int changes) {
    HKEY key = OpenWatched();
    for (int i = 0; i < changes; ++i) {
        while (shared->armed.load() < i) std::this_thread::yield();
        const DWORD data = static_cast<DWORD>(i);
        if (RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) != 0) return 1;
        shared->returned[i] = Now();
    }
    RegCloseKey(key);
    return 0;
}

void Print(const char* what, std::vector<int64_t> latencies) {
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * static_cast<double>(latencies.size() - 1))] / 1000.0; };
    std::printf("%-34s %6zu changes  median %8.1f us  p90 %8.1f us  p99 %8.1f us  max %9.1f us\n", what,
                latencies.size(), at(0.5), at(0.9), at(0.99), at(1.0));
}

// Times `changes` changes, each heard through `await`, which arms the watch (when it must be
// armed anew for every change), lets the writer go and returns once the change is heard.
template <class Await>
void MeasureLatency(const char* what, int changes, Await&& await) {
    Shared* shared = MapShared(changes);
    shared->armed = -1;
    const pid_t writer = Fork([&] { return Writer(shared, changes); });
    std::vector<int64_t> latencies;
    latencies.reserve(static_cast<std::size_t>(changes));
    for (int i = 0; i < changes; ++i) {
        if (!await([&] { shared->armed = i; })) {
            std::fprintf(stderr, "%s: change %d was not heard\n", what, i);
            std::exit(1);
        }
        const int64_t woke = Now();
        while (shared->returned[i] == 0) std::this_thread::yield();
        latencies.push_back(std::max<int64_t>(0, woke - shared->returned[i]));
    }
    if (!Waited(writer)) {
        std::fprintf(stderr, "%s: the writer failed\n", what);
        std::exit(1);
    }
    Print(what, latencies);
}

// Creates `count` keys below one of its own, each with a value, and returns the rate per second.
double CreateAndSetRate(const char* below, int count) {
    HKEY parent = nullptr;
    const std::string path = std::string(kWatched) + "\\" + below;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent, nullptr);
    const auto began = Clock::now();
    for (int i = 0; i < count; ++i) {
        HKEY key = nullptr;
        const std::string name = "K" + std::to_string(i);
        const DWORD data = static_cast<DWORD>(i);
        if (RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0 ||
            RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) != 0) {
            std::fprintf(stderr, "writing %s failed\n", path.c_str());
            std::exit(1);
        }
        RegCloseKey(key);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    RegCloseKey(parent);
    return count / seconds;
}

void MeasureWriteRates(int count) {
    const double alone = CreateAndSetRate("Alone", count);
    Shared* shared = MapShared(0);
    // The watcher drains its feed as it comes, as a program would.
    const pid_t watcher = Fork([&] {
        HKEY key = OpenWatched();
        HANDLE watch = ZelRegCreateWatch(key, TRUE);
        if (!watch) return 1;
        shared->watching = 1;
        long heard = 0;
        while (!shared->stop.load()) {
            pollfd fd{ZelRegWatchDescriptor(watch), POLLIN, 0};
            if (poll(&fd, 1, 50) <= 0) continue;
            char path[256], value[256];
            DWORD kind = 0, pathSize = sizeof path, valueSize = sizeof value;
            while (ZelRegReadChange(watch, &kind, path, &pathSize, value, &valueSize) == 0) {
                ++heard;
                pathSize = sizeof path;
                valueSize = sizeof value;
            }
        }
        CloseHandle(watch);
        RegCloseKey(key);
        return heard > 0 ? 0 : 1;
    });
    while (!shared->watching.load()) std::this_thread::yield();
    const double watched = CreateAndSetRate("Watched", count);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    shared->stop = 1;
    if (!Waited(watcher)) {
        std::fprintf(stderr, "the watcher heard nothing\n");
        std::exit(1);
    }
    std::printf("create + set, %d keys: %9.0f keys/s with no one watching, %9.0f keys/s with a detailed watch "
                "in another process (%+.1f %%)\n",
                count, alone, watched, 100.0 * (watched - alone) / alone);
}

}  // namespace

int main(int argc, char** argv) {
    int changes = 10000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--changes") == 0 && i + 1 < argc) {
            changes = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--changes N]\n", argv[0]);
            return 2;
        }
    }
    if (changes < 1) changes = 1;
    const std::string dir = ZelMakeTempDir("zelreg-watch-bench");
    ZelSetEnv("ZEL_REGISTRY_DIR", dir.c_str());
    HKEY key = OpenWatched();

    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    MeasureLatency("RegNotifyChangeKeyValue (event)", changes, [&](const std::function<void()>& go) {
        if (RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE) != 0) return false;
        go();
        return WaitForSingleObject(event, 10000) == WAIT_OBJECT_0;
    });
    CloseHandle(event);

    HANDLE watch = ZelRegCreateWatch(key, FALSE);
    MeasureLatency("ZelRegCreateWatch (descriptor)", changes, [&](const std::function<void()>& go) {
        go();
        pollfd fd{ZelRegWatchDescriptor(watch), POLLIN, 0};
        if (poll(&fd, 1, 10000) != 1) return false;
        char path[256], value[256];
        DWORD kind = 0, pathSize = sizeof path, valueSize = sizeof value;
        while (ZelRegReadChange(watch, &kind, path, &pathSize, value, &valueSize) == 0) {
            pathSize = sizeof path;
            valueSize = sizeof value;
        }
        return true;
    });
    CloseHandle(watch);

    // The callback notes that it ran; the main thread, spinning as the writer does, sees it.
    std::atomic<int> heard{0};
    {
        ZelRegistryWatcher watcher(HKEY_CURRENT_USER, kWatched, FALSE,
                                   [&](const ZelRegistryWatcher::Change&) { heard.fetch_add(1); });
        MeasureLatency("ZelRegistryWatcher (callback)", changes, [&](const std::function<void()>& go) {
            const int before = heard.load();
            go();
            const auto deadline = Clock::now() + std::chrono::seconds(10);
            while (heard.load() == before)
                if (Clock::now() > deadline) return false;
            return true;
        });
    }
    RegCloseKey(key);

    MeasureWriteRates(changes);

    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
