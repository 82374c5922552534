// What the store's own tests share: child processes, forked from the test's own thread one after
// another (a child forked while another thread allocates can find the address sanitizer's
// allocator locked for good), with checks that report and fail the child; and the hive's files.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// A check inside a forked child: a failure is reported and ends the child with a failure status.
#define CHILD_CHECK(cond)                                                              \
    do {                                                                               \
        if (cond) break;                                                               \
        std::fprintf(stderr, "child check failed at line %d: %s\n", __LINE__, #cond); \
        return 1;                                                                      \
    } while (0)

// Forks a child that runs body and ends with 0 when it returned 0 (a status), else with 1. The
// child ends with _exit(), as a process that is killed would, running no exit handlers.
inline pid_t StartChild(const std::function<long()>& body) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    long rc = 1;
    try {
        rc = body();
    } catch (...) {
    }
    std::fflush(stderr);
    _exit(rc == 0 ? 0 : 1);
}

// The child's exit status, or 128 + the signal that ended it.
inline int WaitChild(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline int RunChild(const std::function<long()>& body) { return WaitChild(StartChild(body)); }

// A child body that ends the child as a program ends: with exit(), which runs the exit handlers
// (the store builds the read map and checkpoints the hive then).
inline std::function<long()> ExitingNormally(std::function<long()> body) {
    return [body] {
        const long rc = body();
        if (rc == 0) std::exit(0);
        return rc;
    };
}

// A child that points the store at `dir` before its first use of a hive (and so opens it there).
inline int InDirectory(const std::string& dir, const std::function<long()>& body) {
    return RunChild([&] { return setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1) == 0 ? body() : 1; });
}

// Whether this process holds a descriptor of the file at `path` (a process that has opened the
// hive holds one of the hive file until it ends; one that reads through the read map never does).
inline bool HoldsFile(const std::string& path) {
    struct stat file {};
    if (stat(path.c_str(), &file) != 0) return false;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        struct stat open {};
        if (stat(entry.path().c_str(), &open) == 0 && open.st_dev == file.st_dev && open.st_ino == file.st_ino) return true;
    }
    return false;
}

// A pipe between a test and its children, closed when it goes.
struct Pipe {
    int end[2] = {-1, -1};
    Pipe() { EXPECT_EQ(0, pipe(end)); }
    ~Pipe() { for (int fd : end) close(fd); }
    void CloseWriteEnd() { close(std::exchange(end[1], -1)); }
    bool Say() const { return write(end[1], "!", 1) == 1; }
    bool Hear() const { char c; return read(end[0], &c, 1) == 1; }
};

// Starts `count` children that pass one gate together and run body(id); true when all returned 0.
inline bool RunTogether(int count, const std::function<long(int)>& body) {
    Pipe gate;
    std::vector<pid_t> children;
    for (int id = 0; id < count; ++id) children.push_back(StartChild([&, id] { return gate.Hear() ? body(id) : 1; }));
    bool ok = write(gate.end[1], std::string(count, 'g').data(), count) == count;
    for (pid_t child : children) ok = WaitChild(child) == 0 && ok;
    return ok;
}


// Drops a root test process's rights to those of nobody, who may only read the hives made read-only.
inline bool BecomeNobody(bool root) { return !root || (setgid(65534) == 0 && setuid(65534) == 0); }

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline unsigned ModeOf(const std::string& path) { return static_cast<unsigned>(std::filesystem::status(path).permissions()); }

inline int Sql(const std::string& file, const char* statements) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open(file.c_str(), &db);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, statements, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}
