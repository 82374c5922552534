// Running zelreg's verbs in a forked child whose registry is a directory of the test's choosing
// (the child opens its hives anew there, as a new process would), and processes that write the
// registry all the while. Linux only.
#pragma once

#include "ZelregTestSupport.h"
#include "winreg/StoreTestSupport.h"

#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

// Runs `words` in a child that first sets its environment with `environment`; its answer comes
// back through a pipe.
inline ZelregResult RunInChild(const std::function<void()>& environment, const std::vector<std::string>& words,
                               const std::string& input = "") {
    Pipe answer;
    const pid_t child = StartChild([&] {
        environment();
        std::istringstream in(input);
        std::ostringstream out, err;
        const int code = zelregtool::RunZelreg(words, in, out, err);
        const std::string text = std::to_string(code) + '\n' + std::to_string(out.str().size()) + '\n' + out.str() +
                                 err.str();
        return write(answer.end[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1;
    });
    answer.CloseWriteEnd();
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(answer.end[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
    EXPECT_EQ(0, WaitChild(child));
    ZelregResult result{-1, "", ""};
    const std::size_t first = text.find('\n'), second = text.find('\n', first + 1);
    if (second == std::string::npos) return result;
    result.code = std::stoi(text.substr(0, first));
    const std::size_t outSize = std::stoul(text.substr(first + 1, second - first - 1));
    result.out = text.substr(second + 1, outSize);
    result.err = text.substr(second + 1 + outSize);
    return result;
}

// The same in a registry in `dir` (ZEL_REGISTRY_DIR).
inline ZelregResult RunInDirectory(const std::string& dir, const std::vector<std::string>& words,
                                   const std::string& input = "") {
    return RunInChild([&] { setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1); }, words, input);
}

// A child that sets the values A and B of HKCU\<key> to the same number, one higher each round,
// both in one transaction, until it is killed.
class PairWriter {
public:
    explicit PairWriter(const std::string& key) {
        pid_ = StartChild([key] {
            for (DWORD round = 1;; ++round) {
                HANDLE tx = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
                HKEY handle = nullptr;
                CHILD_CHECK(RegCreateKeyTransactedA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                    nullptr, &handle, nullptr, tx, nullptr) == ERROR_SUCCESS);
                const auto* data = reinterpret_cast<const BYTE*>(&round);
                CHILD_CHECK(RegSetValueExA(handle, "A", 0, REG_DWORD, data, sizeof round) == ERROR_SUCCESS);
                CHILD_CHECK(RegSetValueExA(handle, "B", 0, REG_DWORD, data, sizeof round) == ERROR_SUCCESS);
                RegCloseKey(handle);
                // A commit that meets another writer's change is simply the next round's work.
                CommitTransaction(tx);
                CloseHandle(tx);
            }
        });
    }
    ~PairWriter() { Stop(); }
    // True when the writer was still at work, as it should be, until it was stopped.
    bool Stop() {
        if (pid_ <= 0) return false;
        kill(pid_, SIGKILL);
        const bool killed = WaitChild(std::exchange(pid_, -1)) == 128 + SIGKILL;
        return killed;
    }

private:
    pid_t pid_ = -1;
};

inline DWORD ReadDwordValue(HKEY root, const std::string& key, const char* name) {
    DWORD value = 0, size = sizeof value;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return 0;
    const LONG status = RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS ? value : 0;
}
