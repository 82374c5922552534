// ZelRegistryWatcher in one process: every kind of change, with and without the sub-tree, on
// every kind of location; a key deleted and created again; a burst; errors; the waitable of an
// event loop; a callback that throws, that is running while the watcher goes, and that
// destroys the watcher itself.
#include <atomic>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "ZelRegistrySet.h"
#include "support/ZelExceptionCheck.h"
#include "watch/WatchTestSupport.h"
#include "zelpropset.h"

namespace {

LONG RawDeleteValue(HKEY hRoot, const std::string& strPath, const char* pszName) {
    HKEY hKey = nullptr;
    LONG lStatus = RegOpenKeyExA(hRoot, strPath.c_str(), 0, KEY_SET_VALUE, &hKey);
    if (lStatus != ERROR_SUCCESS) return lStatus;
    lStatus = RegDeleteValueA(hKey, pszName);
    RegCloseKey(hKey);
    return lStatus;
}

LONG RawSetDword(HKEY hRoot, const std::string& strPath, const char* pszName, DWORD dwValue) {
    return ZelRawSet(hRoot, strPath, pszName, REG_DWORD, &dwValue, sizeof dwValue);
}

class Watcher : public WatchedKeyTest {};

TEST_F(Watcher, TellsEveryKindOfChangeWithAndWithoutTheSubtree) {
    const std::string sub = m_strKey + "\\Sub";
    const std::string full = m_strFull;
    struct Step {
        const char* what;
        std::function<LONG()> act;
        SeenList withSubtree;
        SeenList withoutSubtree;
    };
    const std::vector<Step> steps = {
        {"value set", [&] { return RawSetDword(HKEY_CURRENT_USER, m_strKey, "Width", 640); },
         {{ZELREG_CHANGE_VALUE_SET, full, "Width"}},
         {{ZELREG_CHANGE_VALUE_SET, full, "Width"}}},
        {"value set again", [&] { return RawSetDword(HKEY_CURRENT_USER, m_strKey, "Width", 800); },
         {{ZELREG_CHANGE_VALUE_SET, full, "Width"}},
         {{ZELREG_CHANGE_VALUE_SET, full, "Width"}}},
        {"sub-key created with a value", [&] { return ZelRawSet(HKEY_CURRENT_USER, sub, "Name", REG_SZ, "ab", 3); },
         {{ZELREG_CHANGE_KEY_CREATED, full + "\\Sub"}, {ZELREG_CHANGE_VALUE_SET, full + "\\Sub", "Name"}},
         {{ZELREG_CHANGE_KEY_CREATED, full + "\\Sub"}}},
        {"key created two levels down", [&] { return ZelRawCreate(HKEY_CURRENT_USER, sub + "\\Deep"); },
         {{ZELREG_CHANGE_KEY_CREATED, full + "\\Sub\\Deep"}, {ZELREG_CHANGE_VALUE_SET, full + "\\Sub\\Deep", "Marker"}},
         {}},
        {"default value set", [&] { return ZelRawSet(HKEY_CURRENT_USER, m_strKey, "", REG_SZ, "d", 2); },
         {{ZELREG_CHANGE_VALUE_SET, full, ""}},
         {{ZELREG_CHANGE_VALUE_SET, full, ""}}},
        {"value deleted", [&] { return RawDeleteValue(HKEY_CURRENT_USER, m_strKey, "Width"); },
         {{ZELREG_CHANGE_VALUE_DELETED, full, "Width"}},
         {{ZELREG_CHANGE_VALUE_DELETED, full, "Width"}}},
        {"sub-key's value deleted", [&] { return RawDeleteValue(HKEY_CURRENT_USER, sub, "Name"); },
         {{ZELREG_CHANGE_VALUE_DELETED, full + "\\Sub", "Name"}},
         {}},
        {"sub-key deleted with its sub-key", [&] { return SHDeleteKeyA(HKEY_CURRENT_USER, sub.c_str()); },
         {{ZELREG_CHANGE_KEY_DELETED, full + "\\Sub\\Deep"}, {ZELREG_CHANGE_KEY_DELETED, full + "\\Sub"}},
         {{ZELREG_CHANGE_KEY_DELETED, full + "\\Sub"}}},
    };
    for (const BOOL bSubtree : {TRUE, FALSE}) {
        SCOPED_TRACE(bSubtree ? "with the sub-tree" : "without the sub-tree");
        ASSERT_EQ(SHDeleteKeyA(HKEY_CURRENT_USER, m_strKey.c_str()), ERROR_SUCCESS);
        ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strKey), ERROR_SUCCESS);
        Heard heard;
        ZelRegistryWatcher watcher(Composed(), bSubtree, heard.Callback());
        EXPECT_EQ(std::string(watcher.GetKeyPath()), full);
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            ASSERT_EQ(step.act(), ERROR_SUCCESS);
            const SeenList& expected = bSubtree ? step.withSubtree : step.withoutSubtree;
            // A step that the watcher does not hear would show in the next one's changes.
            if (!expected.empty()) {
                EXPECT_EQ(heard.Take(expected.size()), expected);
            }
        }
    }
}

// The key a location's Write reaches is the one watched, for every kind of location.
TEST_F(Watcher, WatchesTheKeyOfEveryKindOfLocation) {
    ZelRegistryQuonSet node(Composed(), "Window");
    node.Write(nullptr, nullptr);
    ZelPropertySet set(node, "Colours");
    set.Write(nullptr, nullptr);
    const std::string lm = "Software\\Quellmar\\Components\\" + m_strComponent;
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strFreePath), ERROR_SUCCESS);
    ASSERT_EQ(ZelRawCreate(HKEY_LOCAL_MACHINE, lm), ERROR_SUCCESS);

    struct Case {
        const char* what;
        std::function<std::unique_ptr<ZelRegistryWatcher>()> make;
        HKEY hRoot;
        std::string key;
        std::string full;
    };
    const std::vector<Case> cases = {
        {"composed location", [&] { return std::make_unique<ZelRegistryWatcher>(Composed(), FALSE); },
         HKEY_CURRENT_USER, m_strKey, m_strFull},
        {"local-machine location: its data is in the user's key",
         [&] { return std::make_unique<ZelRegistryWatcher>(Composed(FALSE, TRUE), FALSE); },
         HKEY_CURRENT_USER, m_strKey, m_strFull},
        {"free path with backslashes at both ends",
         [&] {
             const ZelRegistryBase location(("\\" + m_strFreePath + "\\").c_str(), FALSE, FALSE);
             return std::make_unique<ZelRegistryWatcher>(location, FALSE);
         },
         HKEY_CURRENT_USER, m_strFreePath, "HKEY_CURRENT_USER\\" + m_strFreePath},
        {"settings node", [&] { return std::make_unique<ZelRegistryWatcher>(node, FALSE); },
         HKEY_CURRENT_USER, m_strKey + "\\Window", m_strFull + "\\Window"},
        {"property set", [&] { return std::make_unique<ZelRegistryWatcher>(set, FALSE); },
         HKEY_CURRENT_USER, m_strKey + "\\Colours", m_strFull + "\\Colours"},
        {"key below HKEY_LOCAL_MACHINE",
         [&] { return std::make_unique<ZelRegistryWatcher>(HKEY_LOCAL_MACHINE, lm.c_str(), FALSE); },
         HKEY_LOCAL_MACHINE, lm, "HKEY_LOCAL_MACHINE\\" + lm},
        {"key below HKEY_CURRENT_USER with a leading backslash",
         [&] { return std::make_unique<ZelRegistryWatcher>(HKEY_CURRENT_USER, ("\\" + m_strKey).c_str(), FALSE); },
         HKEY_CURRENT_USER, m_strKey, m_strFull},
    };
    DWORD dwRound = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<ZelRegistryWatcher> watcher = c.make();
        EXPECT_EQ(std::string(watcher->GetKeyPath()), c.full);
        // New data each time: setting a value to what it holds changes nothing.
        ++dwRound;
        ASSERT_EQ(RawSetDword(c.hRoot, c.key, "Probe", dwRound), ERROR_SUCCESS);
        EXPECT_EQ(ReadUntil(*watcher, 1), SeenList({{ZELREG_CHANGE_VALUE_SET, c.full, "Probe"}}));
    }
}

TEST_F(Watcher, RefusesWhatItCannotWatchWithTheLibrarysException) {
    HKEY hOpened = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, m_strKey.c_str(), 0, KEY_READ, &hOpened), ERROR_SUCCESS);
    struct Case {
        const char* what;
        std::function<void()> make;
        DWORD nLocalError;  // 0: the cause is an invalid argument
    };
    const std::vector<Case> cases = {
        {"missing key of a location",
         [&] { ZelRegistryWatcher(ZelRegistryBase(m_strFreePath.c_str(), FALSE, FALSE), TRUE); }, ZEL_LOCAL_NO_KEY},
        {"missing key below a root",
         [&] { ZelRegistryWatcher(HKEY_LOCAL_MACHINE, (m_strKey + "\\Nowhere").c_str(), FALSE); }, ZEL_LOCAL_NO_KEY},
        {"missing node key", [&] { ZelRegistryWatcher(ZelRegistryQuonSet(Composed(), "Unwritten"), TRUE); },
         ZEL_LOCAL_NO_KEY},
        {"location without a path", [&] { ZelRegistryWatcher(ZelRegistryBase(), TRUE); }, ZEL_LOCAL_EMPTY_KEY},
        {"node without a key name", [&] { ZelRegistryWatcher(ZelRegistryQuonSet(Composed(), ""), TRUE); },
         ZEL_LOCAL_EMPTY_KEY},
        {"a key handle that is no root key", [&] { ZelRegistryWatcher(hOpened, "", TRUE); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto e = ZelExpectConverted(c.make);
        ASSERT_NE(e, nullptr);
        EXPECT_STREQ(e->GetClassText(), "ZelRegistryWatcher");
        if (c.nLocalError != 0) {
            EXPECT_EQ(ZelLocalCauseNo(*e), c.nLocalError);
        } else {
            ASSERT_NE(e->GetCause(), nullptr);
            EXPECT_TRUE(e->GetCause()->IsKindOf(RUNTIME_CLASS(CInvalidArgException)));
        }
    }
    RegCloseKey(hOpened);
}

TEST_F(Watcher, FollowsItsKeyThroughDeletionAndCreationAgain) {
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strKey + "\\Sub"), ERROR_SUCCESS);
    Heard heard;
    ZelRegistryWatcher watcher(Composed(), TRUE, heard.Callback());
    ASSERT_EQ(SHDeleteKeyA(HKEY_CURRENT_USER, m_strKey.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(heard.Take(2), SeenList({{ZELREG_CHANGE_KEY_DELETED, m_strFull + "\\Sub"},
                                       {ZELREG_CHANGE_KEY_DELETED, m_strFull}}));
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strKey), ERROR_SUCCESS);
    EXPECT_EQ(heard.Take(2), SeenList({{ZELREG_CHANGE_KEY_CREATED, m_strFull},
                                       {ZELREG_CHANGE_VALUE_SET, m_strFull, "Marker"}}));
    ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey + "\\Again", "Height", 3), ERROR_SUCCESS);
    EXPECT_EQ(heard.Take(2), SeenList({{ZELREG_CHANGE_KEY_CREATED, m_strFull + "\\Again"},
                                       {ZELREG_CHANGE_VALUE_SET, m_strFull + "\\Again", "Height"}}));
}

// The registry store tells every change, in order. On Windows changes in quick succession
// are found by comparing copies of the tree, so several may arrive as one; none goes missing.
TEST_F(Watcher, HearsEveryChangeOfABurst) {
    constexpr int kValues = 400;
    Heard heard;
    ZelRegistryWatcher watcher(Composed(), FALSE, heard.Callback());
    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, m_strKey.c_str(), 0, KEY_SET_VALUE, &hKey), ERROR_SUCCESS);
    SeenList expected;
    for (int i = 0; i < kValues; ++i) {
        const std::string name = "V" + std::to_string(i);
        const DWORD dwData = static_cast<DWORD>(i);
        ASSERT_EQ(RegSetValueExA(hKey, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwData), sizeof dwData),
                  ERROR_SUCCESS);
        expected.push_back({ZELREG_CHANGE_VALUE_SET, m_strFull, name});
    }
    RegCloseKey(hKey);
#if defined(_WIN32)
    std::set<std::string> names;
    const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
    while (names.size() < kValues && std::chrono::steady_clock::now() < deadline) {
        for (const Seen& seen : heard.Take(1)) {
            EXPECT_EQ(seen.kind, static_cast<DWORD>(ZELREG_CHANGE_VALUE_SET)) << seen;
            names.insert(seen.value);
        }
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kValues));
#else
    EXPECT_EQ(heard.WaitFor(kValues), expected);
#endif
}

TEST_F(Watcher, GivesAnEventLoopItsWaitableAndTheChangesWaiting) {
    ZelRegistryWatcher watcher(Composed(), TRUE);
    ASSERT_NE(watcher.GetWaitable(), ZelNoWatchWaitable);
    EXPECT_FALSE(Signalled(watcher.GetWaitable(), std::chrono::milliseconds(0)));
    EXPECT_TRUE(watcher.ReadChanges().empty());
    // One change at a time: on Windows changes in quick succession may come merged, in another order.
    ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey, "A", 1), ERROR_SUCCESS);
    EXPECT_EQ(ReadUntil(watcher, 1), SeenList({{ZELREG_CHANGE_VALUE_SET, m_strFull, "A"}}));
    ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey + "\\Sub", "B", 2), ERROR_SUCCESS);
    EXPECT_EQ(ReadUntil(watcher, 2), SeenList({{ZELREG_CHANGE_KEY_CREATED, m_strFull + "\\Sub"},
                                               {ZELREG_CHANGE_VALUE_SET, m_strFull + "\\Sub", "B"}}));
    // All read: the waitable is no longer signalled.
    EXPECT_FALSE(Signalled(watcher.GetWaitable(), std::chrono::milliseconds(0)));
    EXPECT_TRUE(watcher.ReadChanges().empty());

    // Long names come whole.
    const std::string longName(3000, 'n');
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, m_strKey, longName.c_str(), REG_SZ, "x", 2), ERROR_SUCCESS);
    EXPECT_EQ(ReadUntil(watcher, 1), SeenList({{ZELREG_CHANGE_VALUE_SET, m_strFull, longName}}));
    // Each key is created below the one before: the whole path would be too long for the ANSI
    // functions' conversion under Wine.
    SeenList longSeen;
    std::string longFull = m_strFull;
    HKEY hParent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, m_strKey.c_str(), 0, KEY_CREATE_SUB_KEY, &hParent), ERROR_SUCCESS);
    for (const char c : {'k', 'l', 'm'}) {
        const std::string name(100, c);
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(hParent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  &hKey, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(hParent);
        hParent = hKey;
        longFull += "\\" + name;
        longSeen.push_back({ZELREG_CHANGE_KEY_CREATED, longFull});
    }
    RegCloseKey(hParent);
    EXPECT_EQ(ReadUntil(watcher, 3), longSeen);

    // With a callback the changes go to it alone.
    Heard heard;
    ZelRegistryWatcher called(Composed(), TRUE, heard.Callback());
    EXPECT_EQ(called.GetWaitable(), ZelNoWatchWaitable);
    ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey, "C", 3), ERROR_SUCCESS);
    EXPECT_EQ(heard.WaitFor(1), SeenList({{ZELREG_CHANGE_VALUE_SET, m_strFull, "C"}}));
    EXPECT_TRUE(called.ReadChanges().empty());
}

TEST_F(Watcher, GoesOnAfterACallbackThatThrows) {
    Heard heard;
    ZelRegistryWatcher watcher(Composed(), FALSE, [&](const ZelRegistryWatcher::Change& change) {
        heard.Add(Seen(change));
        if (change.strValue == "Framework") AfxThrowInvalidArgException();
        if (change.strValue == "Standard") throw std::runtime_error("refused");
    });
    // One change at a time, each after the callback has thrown for the one before.
    SeenList expected;
    for (const char* name : {"Framework", "Standard", "After"}) {
        ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey, name, 1), ERROR_SUCCESS);
        expected.push_back({ZELREG_CHANGE_VALUE_SET, m_strFull, name});
        EXPECT_EQ(heard.WaitFor(expected.size()), expected);
    }
}

// A watcher whose callback is running when it is destroyed waits for the callback to return,
// and calls it no more; a second watcher tells when the first would have heard a change.
TEST_F(Watcher, WaitsForARunningCallbackWhenDestroyed) {
    std::atomic<bool> entered{false}, release{false}, returned{false};
    std::atomic<int> calls{0};
    auto watcher = std::make_unique<ZelRegistryWatcher>(Composed(), FALSE, [&](const ZelRegistryWatcher::Change&) {
        ++calls;
        entered = true;
        while (!release) std::this_thread::yield();
        returned = true;
    });
    ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey, "First", 1), ERROR_SUCCESS);
    ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey, "Second", 1), ERROR_SUCCESS);
    const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
    while (!entered && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_TRUE(entered);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release = true;
    });
    watcher.reset();
    EXPECT_TRUE(returned) << "the watcher went while its callback was running";
    releaser.join();

    Heard later;
    ZelRegistryWatcher second(Composed(), FALSE, later.Callback());
    ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey, "Third", 1), ERROR_SUCCESS);
    EXPECT_EQ(later.WaitFor(1), SeenList({{ZELREG_CHANGE_VALUE_SET, m_strFull, "Third"}}));
    EXPECT_EQ(calls, 1);
}

TEST_F(Watcher, CanBeDestroyedFromInsideItsCallback) {
    std::unique_ptr<ZelRegistryWatcher> watcher;
    std::atomic<int> calls{0};
    Heard gone;
    watcher = std::make_unique<ZelRegistryWatcher>(Composed(), FALSE, [&](const ZelRegistryWatcher::Change& change) {
        ++calls;
        const Seen seen(change);
        watcher.reset();
        gone.Add(seen);
    });
    for (const char* name : {"First", "Second", "Third"})
        ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey, name, 1), ERROR_SUCCESS);
    EXPECT_EQ(gone.WaitFor(1), SeenList({{ZELREG_CHANGE_VALUE_SET, m_strFull, "First"}}));

    Heard later;
    ZelRegistryWatcher second(Composed(), FALSE, later.Callback());
    ASSERT_EQ(RawSetDword(HKEY_CURRENT_USER, m_strKey, "Fourth", 1), ERROR_SUCCESS);
    EXPECT_EQ(later.WaitFor(1), SeenList({{ZELREG_CHANGE_VALUE_SET, m_strFull, "Fourth"}}));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(watcher, nullptr);
}

}  // namespace
