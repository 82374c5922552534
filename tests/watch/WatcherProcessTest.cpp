// ZelRegistryWatcher between processes: it hears changes that a child process and zelreg make,
// in a program's own poll() loop and through its callback, and a watcher in a process that
// forks stays the parent's: the child hears nothing of it and does not disturb it.
#include <poll.h>
#include <stdio.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "watch/WatchTestSupport.h"
#include "winreg/StoreTestSupport.h"

namespace {

class WatcherProcesses : public WatchedKeyTest {};

// zelreg with these arguments, as a process of its own; its exit status.
int RunZelreg(const std::vector<std::string>& words) {
    return RunChild([&] {
        std::vector<char*> argv{const_cast<char*>(ZEL_ZELREG_PATH)};
        for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        // Its messages would only mix into the test's output.
        if (!freopen("/dev/null", "w", stdout)) return 1L;
        execv(ZEL_ZELREG_PATH, argv.data());
        return 1L;
    });
}

// A child writes while the test waits in poll() on the watcher's descriptor and on the child's
// pipe, as a program's event loop does, until the child has ended and every change is read.
TEST_F(WatcherProcesses, HearsAnotherProcessInAPollLoop) {
    const std::string full = m_strFull;
    for (const BOOL bSubtree : {TRUE, FALSE}) {
        SCOPED_TRACE(bSubtree ? "with the sub-tree" : "without the sub-tree");
        ZelRegistryWatcher watcher(Composed(), bSubtree);
        Pipe done;
        const pid_t writer = StartChild([&] {
            const DWORD dwData = 7;
            CHILD_CHECK(ZelRawSet(HKEY_CURRENT_USER, m_strKey, "Width", REG_DWORD, &dwData, sizeof dwData) == ERROR_SUCCESS);
            CHILD_CHECK(ZelRawSet(HKEY_CURRENT_USER, m_strKey + "\\Sub", "Name", REG_SZ, "ab", 3) == ERROR_SUCCESS);
            HKEY hKey = nullptr;
            CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, m_strKey.c_str(), 0, KEY_SET_VALUE, &hKey) == ERROR_SUCCESS);
            CHILD_CHECK(RegDeleteValueA(hKey, "Width") == ERROR_SUCCESS);
            RegCloseKey(hKey);
            CHILD_CHECK(SHDeleteKeyA(HKEY_CURRENT_USER, (m_strKey + "\\Sub").c_str()) == ERROR_SUCCESS);
            return 0;
        });
        done.CloseWriteEnd();
        SeenList seen;
        bool bWriterEnded = false;
        const SeenList expected =
            bSubtree ? SeenList{{ZELREG_CHANGE_VALUE_SET, full, "Width"},
                                {ZELREG_CHANGE_KEY_CREATED, full + "\\Sub"},
                                {ZELREG_CHANGE_VALUE_SET, full + "\\Sub", "Name"},
                                {ZELREG_CHANGE_VALUE_DELETED, full, "Width"},
                                {ZELREG_CHANGE_KEY_DELETED, full + "\\Sub"}}
                     : SeenList{{ZELREG_CHANGE_VALUE_SET, full, "Width"},
                                {ZELREG_CHANGE_KEY_CREATED, full + "\\Sub"},
                                {ZELREG_CHANGE_VALUE_DELETED, full, "Width"},
                                {ZELREG_CHANGE_KEY_DELETED, full + "\\Sub"}};
        while (!bWriterEnded || seen.size() < expected.size()) {
            pollfd fds[2] = {{watcher.GetWaitable(), POLLIN, 0}, {bWriterEnded ? -1 : done.end[0], POLLIN, 0}};
            ASSERT_GT(poll(fds, 2, static_cast<int>(std::chrono::milliseconds(kGiveUp).count())), 0)
                << "nothing came; heard so far: " << seen.size();
            if (fds[0].revents & POLLIN)
                for (const ZelRegistryWatcher::Change& change : watcher.ReadChanges()) seen.emplace_back(change);
            if (fds[1].revents) bWriterEnded = true;
        }
        EXPECT_EQ(WaitChild(writer), 0);
        EXPECT_EQ(seen, expected);
    }
}

TEST_F(WatcherProcesses, HearsZelreg) {
    const std::string key = "HKCU\\" + m_strKey;
    Heard heard;
    ZelRegistryWatcher watcher(Composed(), TRUE, heard.Callback());
    ASSERT_EQ(RunZelreg({"add", key + "\\Tool", "/v", "Colour", "/t", "REG_SZ", "/d", "blue", "/f"}), 0);
    ASSERT_EQ(RunZelreg({"delete", key + "\\Tool", "/v", "Colour", "/f"}), 0);
    ASSERT_EQ(RunZelreg({"delete", key + "\\Tool", "/f"}), 0);
    EXPECT_EQ(heard.WaitFor(4), SeenList({{ZELREG_CHANGE_KEY_CREATED, m_strFull + "\\Tool"},
                                          {ZELREG_CHANGE_VALUE_SET, m_strFull + "\\Tool", "Colour"},
                                          {ZELREG_CHANGE_VALUE_DELETED, m_strFull + "\\Tool", "Colour"},
                                          {ZELREG_CHANGE_KEY_DELETED, m_strFull + "\\Tool"}}));
}

// The child gets a copy of each watcher, which must neither take the parent's changes nor
// stop the parent's thread when it goes; the child also changes the key, which the parent
// hears. A child that hangs in a watcher's destructor is ended by its alarm.
TEST_F(WatcherProcesses, StaysWithTheParentWhenTheProcessForks) {
    Heard heard;
    auto called = std::make_unique<ZelRegistryWatcher>(Composed(), FALSE, heard.Callback());
    auto polled = std::make_unique<ZelRegistryWatcher>(Composed(), FALSE);
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, m_strKey, "Before", REG_SZ, "b", 2), ERROR_SUCCESS);
    ASSERT_EQ(heard.WaitFor(1).size(), 1u);
    ASSERT_TRUE(Signalled(polled->GetWaitable(), kGiveUp));

    const int status = RunChild([&] {
        alarm(20);
        CHILD_CHECK(polled->GetWaitable() == ZelNoWatchWaitable);
        CHILD_CHECK(polled->ReadChanges().empty());
        called.reset();
        polled.reset();
        CHILD_CHECK(ZelRawSet(HKEY_CURRENT_USER, m_strKey, "FromChild", REG_SZ, "c", 2) == ERROR_SUCCESS);
        return 0;
    });
    EXPECT_EQ(status, 0);
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, m_strKey, "After", REG_SZ, "a", 2), ERROR_SUCCESS);

    EXPECT_EQ(heard.WaitFor(3), SeenList({{ZELREG_CHANGE_VALUE_SET, m_strFull, "Before"},
                                          {ZELREG_CHANGE_VALUE_SET, m_strFull, "FromChild"},
                                          {ZELREG_CHANGE_VALUE_SET, m_strFull, "After"}}));
    EXPECT_EQ(ReadUntil(*polled, 3), SeenList({{ZELREG_CHANGE_VALUE_SET, m_strFull, "Before"},
                                               {ZELREG_CHANGE_VALUE_SET, m_strFull, "FromChild"},
                                               {ZELREG_CHANGE_VALUE_SET, m_strFull, "After"}}));
}

}  // namespace
