// Faults the store must survive without losing a call that returned: writers killed (SIGKILL) at
// random moments, also inside checkpoints; several processes writing one hive at once while
// others read; and, as root, a disk that runs full. After each round a fresh process reads
// every confirmed write back and SQLite checks the hive file.
//
//   zel_store_stress [--short] [--kills N] [--processes N] [--seconds S]
//
// --short is the run CI makes: a few dozen kills and a few seconds of concurrency.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/winreg/ZelWinReg.h"
#include "support/ZelTestDir.h"

namespace {

namespace fs = std::filesystem;


struct Options {
    int kills = 1000;
    int processes = 8;
    int seconds = 20;
};

std::string KeyOf(int writer, int n) {
    return "Software\\ZelStress\\W" + std::to_string(writer) + "\\K" + std::to_string(n / 100) + "\\N" + std::to_string(n);
}

// One write of the stress: a key three levels below the writer's and a value in it, the number
// itself. A write that returned is reported on `confirm` as its number.
LONG WriteOne(int writer, int n) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, KeyOf(writer, n).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    const DWORD value = static_cast<DWORD>(n);
    rc = RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return rc;
}

bool ReadOne(int writer, int n) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyOf(writer, n).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD value = 0, size = sizeof value;
    const LONG rc = RegQueryValueExA(key, "n", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && value == static_cast<DWORD>(n);
}

pid_t Fork(const std::function<int()>& body) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        const int status = body();
        std::fflush(stdout);
        _exit(status);
    }
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A writer that starts at `first` and reports each number whose write returned.
pid_t StartWriter(int writer, int first, int confirm) {
    return Fork([=] {
        for (int n = first;; ++n) {
            const LONG rc = WriteOne(writer, n);
            if (rc != ERROR_SUCCESS) {
                std::fprintf(stderr, "writer %d: write %d failed with %ld\n", writer, n, static_cast<long>(rc));
                return 1;
            }
            if (write(confirm, &n, sizeof n) != sizeof n) return 1;
        }
    });
}

// Reads every confirmed number of every writer back in a fresh process, and checks the file.
bool Verify(const std::string& dir, const std::vector<int>& confirmed) {
    const int status = Wait(Fork([&] {
        for (std::size_t w = 0; w < confirmed.size(); ++w) {
            for (int n = 0; n < confirmed[w]; ++n) {
                if (!ReadOne(static_cast<int>(w), n)) {
                    std::fprintf(stderr, "writer %zu: confirmed write %d is missing\n", w, n);
                    return 1;
                }
            }
        }
        return 0;
    }));
    sqlite3* db = nullptr;
    std::string result;
    if (sqlite3_open_v2((dir + "/user.hive").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_exec(db, "PRAGMA integrity_check", [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) += values[0] ? values[0] : "";
            return 0;
        }, &result, nullptr);
    }
    sqlite3_close(db);
    if (result != "ok") std::fprintf(stderr, "integrity check: %s\n", result.c_str());
    return status == 0 && result == "ok";
}

// Reads the numbers a writer confirmed, without waiting; the count so far.
int Drain(int confirm, int count) {
    int n = 0;
    while (read(confirm, &n, sizeof n) == sizeof n) count = n + 1;
    return count;
}

int Pipe(int ends[2]) { return pipe2(ends, O_CLOEXEC | O_NONBLOCK); }

// A writer killed at random moments, each time started again where it stopped.
bool Kills(const std::string& dir, int kills) {
    ZelSetEnv("ZEL_REGISTRY_DIR", dir.c_str());
    std::mt19937 random(4711);
    int ends[2];
    if (Pipe(ends) != 0) return false;
    int confirmed = 0;
    for (int k = 0; k < kills; ++k) {
        const pid_t writer = StartWriter(0, confirmed, ends[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(writer, SIGKILL);
        if (Wait(writer) != 128 + SIGKILL) return false;
        confirmed = Drain(ends[0], confirmed);
    }
    close(ends[0]);
    close(ends[1]);
    std::printf("kills: %d writers killed, %d confirmed writes, ", kills, confirmed);
    const bool ok = Verify(dir, {confirmed});
    std::printf("%s\n", ok ? "all there" : "LOST WRITES");
    return ok;
}

// Several writers and two readers at once for a while, a writer killed now and then.
bool Together(const std::string& dir, int processes, int seconds) {
    ZelSetEnv("ZEL_REGISTRY_DIR", dir.c_str());
    std::vector<int> confirmed(processes, 0);
    std::vector<pid_t> writers(processes);
    std::vector<std::array<int, 2>> pipes(processes);
    for (int w = 0; w < processes; ++w) {
        if (Pipe(pipes[w].data()) != 0) return false;
        writers[w] = StartWriter(w, 0, pipes[w][1]);
    }
    std::vector<pid_t> readers;
    for (int r = 0; r < 2; ++r) {
        readers.push_back(Fork([processes, r]() -> int {
            std::mt19937 random(static_cast<unsigned>(r));
            for (;;) ReadOne(static_cast<int>(random() % static_cast<unsigned>(processes)), static_cast<int>(random() % 500));
        }));
    }
    std::mt19937 random(99);
    int kills = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 100));
        const int w = static_cast<int>(random() % static_cast<unsigned>(processes));
        kill(writers[w], SIGKILL);
        if (Wait(writers[w]) != 128 + SIGKILL) return false;
        ++kills;
        confirmed[w] = Drain(pipes[w][0], confirmed[w]);
        writers[w] = StartWriter(w, confirmed[w], pipes[w][1]);
    }
    bool ok = true;
    for (int w = 0; w < processes; ++w) {
        kill(writers[w], SIGKILL);
        ok = Wait(writers[w]) == 128 + SIGKILL && ok;
        confirmed[w] = Drain(pipes[w][0], confirmed[w]);
    }
    for (pid_t reader : readers) {
        kill(reader, SIGKILL);
        Wait(reader);
    }
    int total = 0;
    for (int c : confirmed) total += c;
    std::printf("together: %d writers and 2 readers for %d s, %d writers killed, %d confirmed writes, ", processes,
                seconds, kills, total);
    ok = ok && Verify(dir, confirmed);
    std::printf("%s\n", ok ? "all there" : "LOST WRITES");
    return ok;
}

// As root: a writer fills a small disk of its own; every write that fails says 112, and once
// room is made again everything confirmed is there and writing goes on.
bool DiskFull() {
    if (geteuid() != 0) {
        std::printf("disk full: skipped (needs root for a small disk of its own)\n");
        return true;
    }
    const std::string disk = ZelMakeTempDir("zelreg-stress-disk");
    const int status = Wait(Fork([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=2m") != 0)
            return 1;
        const std::string dir = disk + "/reg", spare = disk + "/spare";
        ZelSetEnv("ZEL_REGISTRY_DIR", dir.c_str());
        std::FILE* room = std::fopen(spare.c_str(), "w");
        if (!room || std::fwrite(std::string(256 * 1024, 'x').data(), 1, 256 * 1024, room) != 256 * 1024) return 1;
        std::fclose(room);
        if (!std::freopen("/dev/null", "w", stderr)) return 1;
        int written = 0, failures = 0, other = 0;
        while (failures < 300) {
            const LONG rc = WriteOne(0, written);
            if (rc == ERROR_SUCCESS) ++written;
            else if (rc == ERROR_DISK_FULL) ++failures;
            else ++other;
        }
        const bool kept = Verify(dir, {written});
        fs::remove(spare);
        const bool resumed = WriteOne(0, written) == ERROR_SUCCESS && Verify(dir, {written + 1});
        std::printf("disk full: %d writes fit on a 2 MB disk, then %d failed with 112 and %d otherwise; %s\n", written,
                    failures, other, kept && resumed && other == 0 ? "nothing lost, writing resumed" : "FAILED");
        return kept && resumed && other == 0 ? 0 : 1;
    }));
    return status == 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : -1; };
        if (a == "--short") o = Options{40, 4, 3};
        else if (a == "--kills") o.kills = number();
        else if (a == "--processes") o.processes = number();
        else if (a == "--seconds") o.seconds = number();
        else o.kills = -1;
    }
    if (o.kills < 0 || o.processes < 1 || o.seconds < 0) {
        std::fprintf(stderr, "usage: %s [--short] [--kills N] [--processes N] [--seconds S]\n", argv[0]);
        return 2;
    }
    const std::string base = ZelMakeTempDir("zelreg-stress");
    const bool ok = Kills(base + "/kills", o.kills) && Together(base + "/together", o.processes, o.seconds) && DiskFull();
    std::error_code ec;
    fs::remove_all(base, ec);
    return ok ? 0 : 1;
}
