// Several processes writing one hive at once, and others reading it: the time of every single
// registry call, printed as a distribution. With --kill, a writer is killed (SIGKILL) every
// --kill-ms and started again, so that the others meet locks and logs that a dead process left.
//
//   zel_contention_bench [--writers N] [--readers N] [--calls N] [--kill] [--kill-ms MS]
//
// Each writer makes --calls keys below a key of its own, each with a create and a set; each
// reader opens and queries keys that exist, as long as the writers run.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/winreg/ZelWinReg.h"
#include "support/ZelTestDir.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int writers = 8;
    int readers = 2;
    int calls = 2000;
    bool kill = false;
    int killMs = 50;
};

// Shared with the children: each writer's progress and the duration of each of its calls in
// microseconds (two per key), and the readers' durations.
struct Shared {
    std::atomic<int> stop;
    std::atomic<int> readCount;
    int capacityReads;
    int calls;
    int writers;
    // Followed by: int progress[writers]; uint32_t writes[writers][2 * calls]; uint32_t reads[capacityReads].
};

struct Layout {
    Shared* shared;
    std::atomic<int>* progress;
    uint32_t* writes;
    uint32_t* reads;
};

Layout MapShared(const Options& o, int capacityReads) {
    const std::size_t bytes = sizeof(Shared) + sizeof(std::atomic<int>) * o.writers +
                              sizeof(uint32_t) * (2ULL * o.calls * o.writers + capacityReads);
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        std::perror("mmap");
        std::exit(1);
    }
    Layout l;
    l.shared = new (memory) Shared();
    l.shared->capacityReads = capacityReads;
    l.shared->calls = o.calls;
    l.shared->writers = o.writers;
    l.progress = reinterpret_cast<std::atomic<int>*>(l.shared + 1);
    for (int i = 0; i < o.writers; ++i) new (&l.progress[i]) std::atomic<int>(0);
    l.writes = reinterpret_cast<uint32_t*>(l.progress + o.writers);
    l.reads = l.writes + 2ULL * o.calls * o.writers;
    return l;
}

// At least 1: a zero marks a call that never finished (its writer was killed).
uint32_t Micros(Clock::time_point began) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - began).count();
    return static_cast<uint32_t>(std::max<int64_t>(1, us));
}

std::string KeyPath(int writer, int n) {
    return "Software\\ZelContention\\W" + std::to_string(writer) + "\\K" + std::to_string(n);
}

// A writer carries on from where its killed predecessor stopped.
[[noreturn]] void Writer(const Layout& l, int id) {
    uint32_t* mine = l.writes + 2ULL * l.shared->calls * id;
    for (int n = l.progress[id]; n < l.shared->calls; n = ++l.progress[id]) {
        HKEY key = nullptr;
        auto began = Clock::now();
        if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(id, n).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            _exit(1);
        mine[2 * n] = Micros(began);
        const DWORD value = static_cast<DWORD>(n);
        began = Clock::now();
        if (RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) != ERROR_SUCCESS)
            _exit(1);
        mine[2 * n + 1] = Micros(began);
        RegCloseKey(key);
    }
    _exit(0);
}

[[noreturn]] void Reader(const Layout& l, int id) {
    std::mt19937 random(static_cast<unsigned>(id) * 7919u + 1u);
    while (!l.shared->stop) {
        const int writer = static_cast<int>(random() % static_cast<unsigned>(l.shared->writers));
        const int done = l.progress[writer];
        if (done == 0) continue;
        const int n = static_cast<int>(random() % static_cast<unsigned>(done));
        const auto began = Clock::now();
        HKEY key = nullptr;
        DWORD value = 0, size = sizeof value;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath(writer, n).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
            RegCloseKey(key);
        }
        const int slot = l.shared->readCount++;
        if (slot >= l.shared->capacityReads) break;
        l.reads[slot] = Micros(began);
    }
    _exit(0);
}

pid_t Start(const Layout& l, void (*body)(const Layout&, int), int id) {
    const pid_t pid = fork();
    if (pid == 0) body(l, id);
    return pid;
}

void Print(const char* what, std::vector<uint32_t> times) {
    times.erase(std::remove(times.begin(), times.end(), 0u), times.end());
    if (times.empty()) return;
    std::sort(times.begin(), times.end());
    auto at = [&](double q) { return times[std::min(times.size() - 1, static_cast<std::size_t>(q * times.size()))]; };
    std::printf("%-7s %8zu calls  p50 %6u us  p90 %6u us  p99 %6u us  p99.9 %7u us  max %7u us\n", what,
                times.size(), at(0.5), at(0.9), at(0.99), at(0.999), times.back());
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : -1; };
        if (a == "--writers") o.writers = next();
        else if (a == "--readers") o.readers = next();
        else if (a == "--calls") o.calls = next();
        else if (a == "--kill") o.kill = true;
        else if (a == "--kill-ms") o.killMs = next();
        else o.writers = -1;
    }
    if (o.writers < 1 || o.readers < 0 || o.calls < 1 || o.killMs < 1) {
        std::fprintf(stderr, "usage: %s [--writers N] [--readers N] [--calls N] [--kill] [--kill-ms MS]\n", argv[0]);
        std::exit(2);
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    const std::string dir = ZelMakeTempDir("zelreg-contention");
    ZelSetEnv("ZEL_REGISTRY_DIR", dir.c_str());
    const Layout l = MapShared(o, 4 * 1024 * 1024);

    const auto began = Clock::now();
    std::vector<pid_t> writers(o.writers), readers(o.readers);
    for (int i = 0; i < o.writers; ++i) writers[i] = Start(l, Writer, i);
    for (int i = 0; i < o.readers; ++i) readers[i] = Start(l, Reader, i);
    std::mt19937 random(12345);
    int kills = 0, running = o.writers;
    while (running > 0) {
        if (o.kill) std::this_thread::sleep_for(std::chrono::milliseconds(o.killMs));
        int status = 0;
        if (o.kill) {
            const int victim = static_cast<int>(random() % static_cast<unsigned>(o.writers));
            if (writers[victim] > 0 && kill(writers[victim], SIGKILL) == 0) ++kills;
        }
        const pid_t ended = waitpid(-1, &status, o.kill ? WNOHANG : 0);
        for (pid_t pid = ended; pid > 0; pid = waitpid(-1, &status, WNOHANG)) {
            const auto w = std::find(writers.begin(), writers.end(), pid);
            if (w == writers.end()) continue;
            const int id = static_cast<int>(w - writers.begin());
            if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
                std::fprintf(stderr, "writer %d failed\n", id);
                return 1;
            }
            if (l.progress[id] >= o.calls) {
                *w = -1;
                --running;
            } else {
                *w = Start(l, Writer, id);
            }
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    l.shared->stop = 1;
    for (pid_t reader : readers) waitpid(reader, nullptr, 0);

    std::printf("%d writers x %d keys (create + set), %d readers, %.1f s%s\n", o.writers, o.calls, o.readers, seconds,
                o.kill ? (", " + std::to_string(kills) + " writers killed").c_str() : "");
    Print("writes", std::vector<uint32_t>(l.writes, l.writes + 2ULL * o.calls * o.writers));
    Print("reads", std::vector<uint32_t>(l.reads, l.reads + std::min(l.shared->readCount.load(), l.shared->capacityReads)));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
