// Settings trees in the registry: writing nested keys, reading them back through the reading
// factory, deleting them, and what happens when a level fails on the way. Every test checks
// in its tear-down that no key handle was left open, failures included.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ZelRegistrySet.h"
#include "support/ZelExceptionCheck.h"
#include "support/ZelRegistryFixture.h"
#include "tree/ZelTreeTestSupport.h"

namespace {

const std::string kSet = ".\\ZelRegistrySet | ZelRegistryQuonSet | ";
const std::string kRead = kSet + "Read(const PVOID   pHandle,, const CString& szKey) | Catch am Methodenende | 1001";
const std::string kWrite = kSet + "Write(const PVOID   pHandle,) | Catch am Methodenende | 1001";

// The sub-keys of a key, in the order the registry enumerates them.
std::vector<std::string> RawSubKeys(const std::string& path) {
    std::vector<std::string> names;
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return names;
    char name[260];
    for (DWORD i = 0; RegEnumKeyA(hKey, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.emplace_back(name);
    RegCloseKey(hKey);
    return names;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::string ClassOf(const CObject* object) {
    return object ? object->GetRuntimeClass()->m_lpszClassName : "(none)";
}

// A leaf whose reading fails the way a derived class reports: with a converted exception of
// its own texts over the failure that started it.
class FailingLeaf : public ZelRegistryQuonSet {
public:
    FailingLeaf(const ZelRegistryBase& location, const CString& key) : ZelRegistryQuonSet(location, key) { ++s_alive; }
    ~FailingLeaf() override { --s_alive; }

    BOOL Read(void* const, const char* const) override {
        throw new ZelPropertyObjectException(new CInvalidArgException, TRUE, ".\\TestLeaf", "FailingLeaf",
                                             "BOOL FailingLeaf::Read", "", 1001, 0, 0, nullptr, 0, TRUE);
    }

    static inline int s_alive = 0;
};

// A leaf that reports that its key did not open.
class SilentLeaf : public ZelRegistryQuonSet {
public:
    SilentLeaf(const ZelRegistryBase& location, const CString& key) : ZelRegistryQuonSet(location, key) {}
    BOOL Read(void* const, const char* const) override { return FALSE; }
};

// A container whose reading factory decides by name: "Bad" fails to read, "Silent" reads
// nothing, "Null" is refused by answering null; every other sub-key becomes a container of
// the same kind, so the rule holds at every depth.
class NamingContainer : public ZelRegistryQuonSet {
public:
    NamingContainer(const ZelRegistryBase& location, const CString& key) : ZelRegistryQuonSet(location, key) {}

    using ZelRegistryQuonSet::CreateChildObject;
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey) override {
        if (szKey == "Bad") return new FailingLeaf(Parent, szKey);
        if (szKey == "Silent") return new SilentLeaf(Parent, szKey);
        if (szKey == "Null") return nullptr;
        return new NamingContainer(Parent, szKey);
    }
};

class TreePersistence : public ZelRegistryTest {
protected:
    // The free path of this test, with sub-keys appended.
    std::string At(const std::string& sub = "") const { return sub.empty() ? m_strFreePath : m_strFreePath + "\\" + sub; }

    // A node at this test's free path.
    ZelRegistryQuonSet Node(const char* key, BOOL bReadOnly = FALSE) const {
        ZelRegistryQuonSet node(m_strFreePath.c_str(), bReadOnly, FALSE);
        node.SetKey(key);
        return node;
    }

    void CreateRaw(const std::string& sub) { ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, At(sub)), ERROR_SUCCESS); }
};

TEST_F(TreePersistence, TheEditorExampleIsWrittenAsNestedKeysAndReadBackAsPlainNodes) {
    ZelRegistryQuonSet editor = Node("Editor");
    editor.SetLayoutName("Wide");
    editor.SetObjectID("E-1");
    editor.SetUsedAsSubObject(TRUE);
    ZelAddChildren(editor, {"Fonts", "Colors"});
    ZelAddChildren(*editor.GetItem("Fonts"), {"Size", "Face"});

    editor.Write(nullptr, nullptr);

    EXPECT_EQ(Sorted(RawSubKeys(At("Editor"))), ZelKeys({"Colors", "Fonts"}));
    EXPECT_EQ(Sorted(RawSubKeys(At("Editor\\Fonts"))), ZelKeys({"Face", "Size"}));
    EXPECT_TRUE(RawSubKeys(At("Editor\\Colors")).empty());
    EXPECT_TRUE(RawSubKeys(At("Editor\\Fonts\\Size")).empty());

    ZelRegistryQuonSet back = Node("Editor");
    EXPECT_EQ(back.Read(nullptr, nullptr), TRUE);
    // Children come in the registry's enumeration order, as plain nodes.
    EXPECT_EQ(ZelChildKeys(back), RawSubKeys(At("Editor")));
    ZelRegistryQuonSet* fontsBack = back.GetItem("Fonts");
    ASSERT_NE(fontsBack, nullptr);
    EXPECT_EQ(ClassOf(fontsBack), "ZelRegistryQuonSet");
    EXPECT_EQ(ZelChildKeys(*fontsBack), RawSubKeys(At("Editor\\Fonts")));
    EXPECT_EQ(fontsBack->GetItem("Size")->GetCount(), 0);
    EXPECT_EQ(back.GetItem("Colors")->GetCount(), 0);
    EXPECT_EQ(fontsBack->GetRegistryPath(), editor.GetRegistryPath()) << "children share the location";
    // Only key names are stored.
    EXPECT_EQ(std::string(back.GetLayoutName()), "");
    EXPECT_EQ(std::string(back.GetObjectID()), "");
    EXPECT_EQ(back.IsUsedAsSubObject(), FALSE);
}

TEST_F(TreePersistence, TheNameIsTheExplicitOneOrTheKeyAndAnEmptyNameDoesNothing) {
    ZelRegistryQuonSet unnamed = Node("");
    ZelAddChildren(unnamed, {"A"});
    EXPECT_EQ(unnamed.Read(nullptr, nullptr), FALSE);
    unnamed.Write(nullptr, nullptr);
    unnamed.Write(nullptr, "");
    unnamed.Delete(nullptr, nullptr);
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, At()));
    EXPECT_EQ(unnamed.GetCount(), 1);

    // An explicit name becomes the key, also when the key then proves missing.
    ZelRegistryQuonSet reader = Node("Old");
    EXPECT_EQ(reader.Read(nullptr, "Missing"), FALSE);
    EXPECT_EQ(std::string(reader.GetKey()), "Missing");

    ZelRegistryQuonSet writer = Node("Old");
    ZelAddChildren(writer, {"Child"});
    writer.Write(nullptr, "Renamed");
    EXPECT_EQ(std::string(writer.GetKey()), "Renamed");
    EXPECT_EQ(RawSubKeys(At()), ZelKeys({"Renamed"}));
    EXPECT_EQ(RawSubKeys(At("Renamed")), ZelKeys({"Child"}));

    // Below a parent key that the caller opened and still owns.
    HKEY hParent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, At("Renamed").c_str(), 0, KEY_READ | KEY_WRITE, &hParent), ERROR_SUCCESS);
    ZelRegistryQuonSet below = Node("Below");
    ZelAddChildren(below, {"Leaf"});
    below.Write(hParent, nullptr);
    ZelRegistryQuonSet belowBack = Node("Below");
    EXPECT_EQ(belowBack.Read(hParent, nullptr), TRUE);
    EXPECT_EQ(ZelChildKeys(belowBack), ZelKeys({"Leaf"}));
    below.Delete(hParent, nullptr);
    RegCloseKey(hParent);
    EXPECT_EQ(RawSubKeys(At("Renamed")), ZelKeys({"Child"}));
}

TEST_F(TreePersistence, AReadThatFailsMidwayKeepsWhatItReadAndReportsEveryLevel) {
    for (const char* sub : {"Root\\A", "Root\\Bad", "Root\\C", "Root\\D"}) CreateRaw(sub);
    const std::vector<std::string> order = RawSubKeys(At("Root"));
    const std::vector<std::string> before(order.begin(), std::find(order.begin(), order.end(), "Bad"));

    NamingContainer root(ZelRegistryBase(m_strFreePath.c_str(), FALSE, FALSE), "Root");
    auto e = ZelExpectConverted([&] { root.Read(nullptr, nullptr); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kRead);
    ZelPropertyObjectException* child = ZelObjectCause(*e);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(ZelDescribe(*child), ".\\TestLeaf | FailingLeaf | BOOL FailingLeaf::Read |  | 1001");
    EXPECT_EQ(ClassOf(child->GetCause()), "CInvalidArgException");

    EXPECT_EQ(ZelChildKeys(root), before);
    EXPECT_EQ(FailingLeaf::s_alive, 0) << "the child that failed is neither added nor kept";

    // One level deeper, the level between converts once more.
    CreateRaw("Outer\\Mid\\Bad");
    NamingContainer outer(ZelRegistryBase(m_strFreePath.c_str(), FALSE, FALSE), "Outer");
    auto deep = ZelExpectConverted([&] { outer.Read(nullptr, nullptr); });
    ASSERT_TRUE(deep);
    EXPECT_EQ(ZelDescribe(*deep), kRead);
    ZelPropertyObjectException* mid = ZelObjectCause(*deep);
    ASSERT_NE(mid, nullptr);
    EXPECT_EQ(ZelDescribe(*mid), kRead);
    ASSERT_NE(ZelObjectCause(*mid), nullptr);
    EXPECT_EQ(ZelText(ZelObjectCause(*mid)->GetClassText()), "FailingLeaf");
    EXPECT_EQ(outer.GetCount(), 0);
}

TEST_F(TreePersistence, ASecondReadIntoTheSameNodeFailsOnTheFirstKeyAlreadyThere) {
    for (const char* sub : {"Root\\A", "Root\\B", "Root\\C"}) CreateRaw(sub);
    const std::vector<std::string> order = RawSubKeys(At("Root"));
    ASSERT_EQ(order.size(), 3u);

    ZelRegistryQuonSet root = Node("Root");
    ASSERT_EQ(root.Read(nullptr, nullptr), TRUE);
    auto e = ZelExpectConverted([&] { root.Read(nullptr, nullptr); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kRead);
    ZelPropertyObjectException* add = ZelObjectCause(*e);
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(ZelDescribe(*add), kSet + "ZelRegistryQuonSet::AddItem(ZelRegistryQuonSet* pItem) | Catch am Methodenende | 1001");
    ASSERT_NE(add->GetCause(), nullptr);
    EXPECT_EQ(ClassOf(add->GetCause()), "ZelPropertyLocalException");
    EXPECT_EQ(static_cast<ZelPropertyLocalException*>(add->GetCause())->GetLocalErrorNo(), 2802u);
    EXPECT_EQ(ZelChildKeys(root), order);

    // Children added before the duplicate stay.
    ZelRegistryQuonSet partial = Node("Root");
    ZelAddChildren(partial, {order[1].c_str()});
    EXPECT_TRUE(ZelExpectConverted([&] { partial.Read(nullptr, nullptr); }));
    EXPECT_EQ(ZelChildKeys(partial), std::vector<std::string>({order[1], order[0]}));
}

TEST_F(TreePersistence, DeleteRemovesTheWholeSubtreeAndKeepsTheChildrenInMemory) {
    ZelRegistryQuonSet root = Node("Root");
    for (const char* key : {"K1", "K2", "K3", "K4", "K5"}) {
        auto* child = new ZelRegistryQuonSet(root, key);
        root.AddItem(child);
        ZelAddChildren(*child, {"S1", "S2"});
        ZelAddChildren(*child->GetItem("S1"), {"Deep"});
    }
    root.Write(nullptr, nullptr);
    CreateRaw("Root\\K3\\NotInMemory");
    ASSERT_EQ(RawSubKeys(At("Root")).size(), 5u);
    ASSERT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, At("Root\\K5\\S1\\Deep")));

    root.Delete(nullptr, nullptr);
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, At("Root")));
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, At()));
    EXPECT_EQ(root.GetCount(), 5);
    EXPECT_EQ(ZelChildKeys(*root.GetItem("K5")), ZelKeys({"S1", "S2"}));

    // Nothing there to delete is no failure.
    root.Delete(nullptr, nullptr);

    // Delete then Write leaves exactly the tree in memory; Write alone never removes.
    root.Write(nullptr, nullptr);
    root.Remove("K2");
    root.Write(nullptr, nullptr);
    EXPECT_EQ(RawSubKeys(At("Root")).size(), 5u);
    root.Delete(nullptr, nullptr);
    root.Write(nullptr, nullptr);
    EXPECT_EQ(Sorted(RawSubKeys(At("Root"))), ZelKeys({"K1", "K3", "K4", "K5"}));
}

TEST_F(TreePersistence, KeysDifferingOnlyInCaseShareOneRegistryKey) {
    ZelRegistryQuonSet root = Node("Root");
    ZelAddChildren(root, {"Alpha", "ALPHA"});
    ZelAddChildren(*root.GetItem("ALPHA"), {"Inner"});
    root.Write(nullptr, nullptr);
    ASSERT_EQ(RawSubKeys(At("Root")).size(), 1u);

    ZelRegistryQuonSet back = Node("Root");
    ASSERT_EQ(back.Read(nullptr, nullptr), TRUE);
    ASSERT_EQ(back.GetCount(), 1);
    EXPECT_EQ(ZelChildKeys(*back.GetItem(RawSubKeys(At("Root"))[0].c_str())), ZelKeys({"Inner"}));
}

TEST_F(TreePersistence, WriteProtectionStopsReadAndWriteButNotDelete) {
    ZelRegistryQuonSet writable = Node("Root");
    ZelAddChildren(writable, {"A", "B"});
    writable.Write(nullptr, nullptr);

    ZelRegistryQuonSet guarded = Node("Root", TRUE);
    EXPECT_EQ(guarded.Read(nullptr, nullptr), FALSE);
    EXPECT_EQ(guarded.GetCount(), 0);

    ZelAddChildren(guarded, {"New"});
    guarded.Write(nullptr, nullptr);
    EXPECT_EQ(Sorted(RawSubKeys(At("Root"))), ZelKeys({"A", "B"}));

    guarded.Delete(nullptr, nullptr);
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, At("Root")));
}

TEST_F(TreePersistence, ReadingSkipsWhatCannotBeCountedOrNamedAndAddsChildrenThatReadNothing) {
    for (const char* sub : {"Root\\A", "Root\\B", "Root\\C", "Root\\Silent\\Below"}) CreateRaw(sub);
    const std::vector<std::string> order = RawSubKeys(At("Root"));

    // Counting fails: no child, but the key was opened.
    class Uncountable : public ZelRegistryQuonSet {
    public:
        using ZelRegistryQuonSet::ZelRegistryQuonSet;
        LONG QueryInfoKey(HKEY, UINT*, UINT*) override { return ERROR_ACCESS_DENIED; }
    };
    Uncountable uncountable(m_strFreePath.c_str(), FALSE, FALSE);
    EXPECT_EQ(uncountable.Read(nullptr, "Root"), TRUE);
    EXPECT_EQ(uncountable.GetCount(), 0);

    // The name at index 1 cannot be had: that sub-key is skipped, the others are read.
    class Gappy : public ZelRegistryQuonSet {
    public:
        using ZelRegistryQuonSet::ZelRegistryQuonSet;
        LONG EnumKey(HKEY& hKey, UINT nIndex, LPTSTR pszName, DWORD cchName) override {
            EXPECT_EQ(cchName, 260u);
            return nIndex == 1 ? ERROR_MORE_DATA : ZelRegistryQuonSet::EnumKey(hKey, nIndex, pszName, cchName);
        }
    };
    Gappy gappy(m_strFreePath.c_str(), FALSE, FALSE);
    EXPECT_EQ(gappy.Read(nullptr, "Root"), TRUE);
    std::vector<std::string> expected = order;
    expected.erase(expected.begin() + 1);
    EXPECT_EQ(ZelChildKeys(gappy), expected);

    // A child that reads nothing is added all the same.
    NamingContainer named(ZelRegistryBase(m_strFreePath.c_str(), FALSE, FALSE), "Root");
    EXPECT_EQ(named.Read(nullptr, nullptr), TRUE);
    EXPECT_EQ(ZelChildKeys(named), order);
    EXPECT_NE(dynamic_cast<SilentLeaf*>(named.GetItem("Silent")), nullptr);
    EXPECT_EQ(named.GetItem("Silent")->GetCount(), 0);
}

TEST_F(TreePersistence, ANullFromTheReadingFactoryIsRefused) {
    for (const char* sub : {"Root\\Null"}) CreateRaw(sub);
    NamingContainer root(ZelRegistryBase(m_strFreePath.c_str(), FALSE, FALSE), "Root");
    auto e = ZelExpectConverted([&] { root.Read(nullptr, nullptr); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kRead);
    EXPECT_EQ(ClassOf(e->GetCause()), "CInvalidArgException");
    EXPECT_EQ(root.GetCount(), 0);
}

TEST_F(TreePersistence, AWriteThatFailsBelowClosesEveryLevelAndReportsEveryLevel) {
    class FailingWriter : public ZelRegistryQuonSet {
    public:
        using ZelRegistryQuonSet::ZelRegistryQuonSet;
        void Write(void* const, const char* const) override { AfxThrowInvalidArgException(); }
    };
    ZelRegistryQuonSet root = Node("Root");
    auto* mid = new ZelRegistryQuonSet(root, "Mid");
    root.AddItem(mid);
    mid->AddItem(new FailingWriter(root, CString("Bad")));

    auto e = ZelExpectConverted([&] { root.Write(nullptr, nullptr); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kWrite);
    ZelPropertyObjectException* inner = ZelObjectCause(*e);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(ZelDescribe(*inner), kWrite);
    EXPECT_EQ(ClassOf(inner->GetCause()), "CInvalidArgException");
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, At("Root\\Mid")));
}

}  // namespace
