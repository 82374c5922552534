// zelreg watch as the program runs: a line per change made by another process, with and
// without /s, until SIGINT or SIGTERM ends it with 0; a key that does not exist ends it with 1.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/ZelRegistryFixture.h"

namespace {

constexpr std::chrono::seconds kGiveUp(20);

// zelreg running with its standard output and error in pipes.
class RunningZelreg {
public:
    explicit RunningZelreg(const std::vector<std::string>& words) {
        int out[2], err[2];
        EXPECT_EQ(pipe(out), 0);
        EXPECT_EQ(pipe(err), 0);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
            std::vector<char*> argv{const_cast<char*>(ZEL_ZELREG_PATH)};
            for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
            argv.push_back(nullptr);
            execv(ZEL_ZELREG_PATH, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~RunningZelreg() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
        close(m_out);
        close(m_err);
    }

    // The next line of standard output without its time, or "" when none comes in `timeout`.
    std::string NextLine(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::size_t end;
        while ((end = m_buffer.find('\n')) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd fd{m_out, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) return "";
            char chunk[4096];
            const ssize_t n = read(m_out, chunk, sizeof chunk);
            if (n <= 0) return "";
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
        std::string line = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 1);
        // "HH:MM:SS  " comes first.
        EXPECT_GT(line.size(), 10u) << line;
        EXPECT_EQ(line.find_first_not_of("0123456789:"), 8u) << line;
        return line.size() > 10 ? line.substr(10) : line;
    }

    std::string Rest(int fd) {
        std::string text;
        char chunk[4096];
        for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
        return text;
    }
    std::string RestOfOutput() { return m_buffer + Rest(m_out); }
    std::string Errors() { return Rest(m_err); }

    void Signal(int signal) { kill(m_pid, signal); }
    // The exit status, or 128 + the signal that ended it.
    int Wait() {
        int status = 0;
        const pid_t pid = std::exchange(m_pid, -1);
        if (waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_buffer;
};

class ZelregWatch : public ZelRegistryTest {
protected:
    // Sets Probe until zelreg shows it: from then on it is watching.
    void AwaitWatching(RunningZelreg& zelreg) {
        const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
        for (DWORD round = 0; std::chrono::steady_clock::now() < deadline; ++round) {
            ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, m_strFreePath, "Probe", REG_DWORD, &round, sizeof round), ERROR_SUCCESS);
            if (!zelreg.NextLine(std::chrono::milliseconds(300)).empty()) return;
        }
        FAIL() << "zelreg watch never showed a change";
    }

    // The lines that come next, less those of Probe, until `count` have come.
    static std::vector<std::string> Lines(RunningZelreg& zelreg, std::size_t count) {
        std::vector<std::string> lines;
        while (lines.size() < count) {
            const std::string line = zelreg.NextLine(kGiveUp);
            if (line.empty()) break;
            if (line.find("Probe") == std::string::npos) lines.push_back(line);
        }
        return lines;
    }

    const std::string m_strKey = "HKCU\\" + m_strFreePath;
    const std::string m_strFull = "HKEY_CURRENT_USER\\" + m_strFreePath;
};

TEST_F(ZelregWatch, ShowsEachChangeUntilInterrupted) {
    struct Case {
        bool subtree;
        int signal;
    };
    for (const Case c : {Case{true, SIGINT}, Case{false, SIGTERM}}) {
        SCOPED_TRACE(c.subtree ? "with /s, ended by SIGINT" : "without /s, ended by SIGTERM");
        SHDeleteKeyA(HKEY_CURRENT_USER, m_strFreePath.c_str());
        ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strFreePath), ERROR_SUCCESS);
        std::vector<std::string> words{"watch", m_strKey};
        if (c.subtree) words.push_back("/s");
        RunningZelreg zelreg(words);
        AwaitWatching(zelreg);

        // Each change is awaited before the next: a value's data is read when its line is
        // printed, and would be gone if it were deleted meanwhile.
        const std::string tool = m_strFreePath + "\\Tool";
        const std::string full = m_strFull;
        const DWORD dwWidth = 640;
        struct Step {
            std::function<LONG()> act;
            std::vector<std::string> lines;
            std::vector<std::string> linesWithS;  // with /s in their place
        };
        const std::vector<Step> steps = {
            {[&] { return ZelRawSet(HKEY_CURRENT_USER, m_strFreePath, "Colour", REG_SZ, "blue", 5); },
             {"value set      " + full + "    Colour    REG_SZ    blue"},
             {"value set      " + full + "    Colour    REG_SZ    blue"}},
            {[&] { return ZelRawSet(HKEY_CURRENT_USER, tool, "Width", REG_DWORD, &dwWidth, sizeof dwWidth); },
             {"key created    " + full + "\\Tool"},
             {"key created    " + full + "\\Tool", "value set      " + full + "\\Tool    Width    REG_DWORD    0x280"}},
            {[&] { return ZelRawSet(HKEY_CURRENT_USER, m_strFreePath, "", REG_SZ, "d", 2); },
             {"value set      " + full + "    (Default)    REG_SZ    d"},
             {"value set      " + full + "    (Default)    REG_SZ    d"}},
            {[&] {
                 HKEY hKey = nullptr;
                 LONG lStatus = RegOpenKeyExA(HKEY_CURRENT_USER, m_strFreePath.c_str(), 0, KEY_SET_VALUE, &hKey);
                 if (lStatus == ERROR_SUCCESS) lStatus = RegDeleteValueA(hKey, "Colour");
                 RegCloseKey(hKey);
                 return lStatus;
             },
             {"value deleted  " + full + "    Colour"},
             {"value deleted  " + full + "    Colour"}},
            {[&] { return SHDeleteKeyA(HKEY_CURRENT_USER, tool.c_str()); },
             {"key deleted    " + full + "\\Tool"},
             {"key deleted    " + full + "\\Tool"}},
        };
        for (const Step& step : steps) {
            ASSERT_EQ(step.act(), ERROR_SUCCESS);
            const std::vector<std::string>& expected = c.subtree ? step.linesWithS : step.lines;
            EXPECT_EQ(Lines(zelreg, expected.size()), expected);
        }

        zelreg.Signal(c.signal);
        EXPECT_EQ(zelreg.Wait(), 0);
        EXPECT_EQ(zelreg.Errors(), "");
    }
}

TEST_F(ZelregWatch, FailsForAKeyThatDoesNotExist) {
    RunningZelreg zelreg({"watch", m_strKey + "\\Nowhere", "/s"});
    EXPECT_EQ(zelreg.Wait(), 1);
    EXPECT_EQ(zelreg.Errors(), "ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_EQ(zelreg.RestOfOutput(), "");
}

}  // namespace
