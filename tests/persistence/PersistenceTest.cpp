// Settings trees in the registry: nested keys written, read back through the reading factory and
// deleted, and every level reported when one fails. The fixture checks that no key stays open.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "support/ZelRegistryFixture.h"
#include "tree/ZelTreeTestSupport.h"

namespace {

const std::string kRead = kZelSet + "Read(const PVOID   pHandle,, const CString& szKey)" + kZelEnd;
const std::string kWrite = kZelSet + "Write(const PVOID   pHandle,)" + kZelEnd;
const std::string kLeaf = ".\\TestLeaf | FailingLeaf | BOOL FailingLeaf::Read |  | 1001";

ZelLines Sorted(ZelLines names) {
    std::sort(names.begin(), names.end());
    return names;
}

// A leaf whose reading fails as a derived class reports: its own conversion over the cause.
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
    using ZelRegistryQuonSet::ZelRegistryQuonSet;
    BOOL Read(void* const, const char* const) override { return FALSE; }
};

// Its reading factory decides by name, at every depth: "Bad" fails to read, "Silent" reads
// nothing, "Null" is refused with null, and any other sub-key is such a container again.
class NamingContainer : public ZelRegistryQuonSet {
public:
    using ZelRegistryQuonSet::ZelRegistryQuonSet;
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
    std::string At(const std::string& sub) const { return sub.empty() ? m_strFreePath : m_strFreePath + "\\" + sub; }

    // The sub-keys below At(sub), in the order the registry enumerates them.
    ZelLines SubKeys(const std::string& sub) const {
        ZelLines names;
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, At(sub).c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return names;
        char name[260];
        for (DWORD i = 0; RegEnumKeyA(hKey, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.emplace_back(name);
        RegCloseKey(hKey);
        return names;
    }

    bool Exists(const std::string& sub) const { return ZelRawKeyExists(HKEY_CURRENT_USER, At(sub)); }

    void CreateRaw(std::initializer_list<const char*> subs) {
        for (const char* sub : subs) ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, At(sub)), ERROR_SUCCESS) << sub;
    }

    // A node of the given class at this test's free path.
    template <class T = ZelRegistryQuonSet>
    T Node(const char* key, BOOL bReadOnly = FALSE) const {
        return T(ZelRegistryBase(m_strFreePath.c_str(), bReadOnly, FALSE), key);
    }
};

TEST_F(TreePersistence, NestedNodesAreWrittenAsKeysAndReadBackAsPlainNodesInEnumerationOrder) {
    ZelRegistryQuonSet editor = Node("Editor");
    editor.SetLayoutName("Wide");
    editor.SetObjectID("E-1");
    editor.SetUsedAsSubObject(TRUE);
    ZelAddChildren(editor, {"Fonts", "Colors"});
    ZelAddChildren(*editor.GetItem("Fonts"), {"Size", "Face"});
    editor.Write(nullptr, nullptr);
    EXPECT_EQ(Sorted(SubKeys("Editor")), (ZelLines{"Colors", "Fonts"}));
    EXPECT_EQ(Sorted(SubKeys("Editor\\Fonts")), (ZelLines{"Face", "Size"}));

    ZelRegistryQuonSet back = Node("Editor");
    EXPECT_EQ(back.Read(nullptr, nullptr), TRUE);
    EXPECT_EQ(ZelChildKeys(back), SubKeys("Editor"));
    ZelRegistryQuonSet* fonts = back.GetItem("Fonts");
    ASSERT_NE(fonts, nullptr);
    EXPECT_EQ(ZelClassOf(fonts), "ZelRegistryQuonSet");
    EXPECT_EQ(ZelChildKeys(*fonts), SubKeys("Editor\\Fonts"));
    EXPECT_EQ(fonts->GetItem("Size")->GetCount(), 0);
    EXPECT_EQ(fonts->GetRegistryPath(), editor.GetRegistryPath()) << "children share the location";
    // Only key names are stored.
    EXPECT_STREQ(back.GetLayoutName(), "");
    EXPECT_STREQ(back.GetObjectID(), "");
    EXPECT_EQ(back.IsUsedAsSubObject(), FALSE);
}

TEST_F(TreePersistence, TheNameIsTheExplicitOneOrTheKeyAndAnEmptyNameDoesNothing) {
    ZelRegistryQuonSet unnamed = Node("");
    ZelAddChildren(unnamed, {"A"});
    EXPECT_EQ(unnamed.Read(nullptr, nullptr), FALSE);
    unnamed.Write(nullptr, nullptr);
    unnamed.Write(nullptr, "");
    unnamed.Delete(nullptr, nullptr);
    EXPECT_FALSE(Exists(""));
    EXPECT_EQ(unnamed.GetCount(), 1);

    // An explicit name becomes the key, also when the key then proves missing.
    ZelRegistryQuonSet node = Node("Old");
    EXPECT_EQ(node.Read(nullptr, "Missing"), FALSE);
    EXPECT_STREQ(node.GetKey(), "Missing");
    ZelAddChildren(node, {"Child"});
    node.Write(nullptr, "Renamed");
    EXPECT_STREQ(node.GetKey(), "Renamed");
    EXPECT_EQ(SubKeys(""), ZelLines{"Renamed"});
    EXPECT_EQ(SubKeys("Renamed"), ZelLines{"Child"});

    // Below a parent key that the caller opened and still owns.
    HKEY hParent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, At("Renamed").c_str(), 0, KEY_READ | KEY_WRITE, &hParent),
              ERROR_SUCCESS);
    ZelRegistryQuonSet below = Node("Below");
    ZelAddChildren(below, {"Leaf"});
    below.Write(hParent, nullptr);
    ZelRegistryQuonSet belowBack = Node("Below");
    EXPECT_EQ(belowBack.Read(hParent, nullptr), TRUE);
    EXPECT_EQ(ZelChildKeys(belowBack), ZelLines{"Leaf"});
    below.Delete(hParent, nullptr);
    RegCloseKey(hParent);
    EXPECT_EQ(SubKeys("Renamed"), ZelLines{"Child"});
}

TEST_F(TreePersistence, AReadThatFailsKeepsWhatItReadAndReportsEveryLevel) {
    CreateRaw({"Root\\A", "Root\\Bad", "Root\\C", "Root\\D", "Outer\\Mid\\Bad", "Nulls\\Null"});
    const ZelLines order = SubKeys("Root");
    auto root = Node<NamingContainer>("Root");
    EXPECT_EQ(ZelFailure([&] { root.Read(nullptr, nullptr); }), (ZelLines{kRead, kLeaf, "CInvalidArgException"}));
    EXPECT_EQ(ZelChildKeys(root), ZelLines(order.begin(), std::find(order.begin(), order.end(), "Bad")));
    EXPECT_EQ(FailingLeaf::s_alive, 0) << "the child that failed is neither added nor kept";

    auto outer = Node<NamingContainer>("Outer");  // the level between converts once more
    EXPECT_EQ(ZelFailure([&] { outer.Read(nullptr, nullptr); }),
              (ZelLines{kRead, kRead, kLeaf, "CInvalidArgException"}));
    EXPECT_EQ(outer.GetCount(), 0);

    auto nulls = Node<NamingContainer>("Nulls");  // a null from the reading factory is refused
    EXPECT_EQ(ZelFailure([&] { nulls.Read(nullptr, nullptr); }), (ZelLines{kRead, "CInvalidArgException"}));
    EXPECT_EQ(nulls.GetCount(), 0);

    // Reading again into the same node fails on the first key already there.
    ZelRegistryQuonSet again = Node("Outer");
    ASSERT_EQ(again.Read(nullptr, nullptr), TRUE);
    EXPECT_EQ(ZelFailure([&] { again.Read(nullptr, nullptr); }),
              (ZelLines{kRead, kZelSet + "ZelRegistryQuonSet::AddItem(ZelRegistryQuonSet* pItem)" + kZelEnd,
                        "ZelPropertyLocalException 2802"}));
    EXPECT_EQ(ZelChildKeys(again), ZelLines{"Mid"});
}

TEST_F(TreePersistence, DeleteRemovesTheWholeSubtreeAndWriteNeverRemoves) {
    ZelRegistryQuonSet root = Node("Root");
    for (const char* key : {"K1", "K2", "K3", "K4", "K5"}) {
        auto* child = new ZelRegistryQuonSet(root, key);
        root.AddItem(child);
        ZelAddChildren(*child, {"S1", "S2"});
        ZelAddChildren(*child->GetItem("S1"), {"Deep"});
    }
    root.Write(nullptr, nullptr);
    CreateRaw({"Root\\K3\\NotInMemory"});
    ASSERT_TRUE(Exists("Root\\K3\\S1\\Deep"));

    root.Delete(nullptr, nullptr);
    EXPECT_FALSE(Exists("Root"));
    EXPECT_TRUE(Exists(""));
    EXPECT_EQ(root.GetCount(), 5);
    EXPECT_EQ(ZelChildKeys(*root.GetItem("K3")), (ZelLines{"S1", "S2"}));
    root.Delete(nullptr, nullptr);  // nothing there to delete is no failure

    // Delete then Write leaves exactly the tree in memory.
    root.Write(nullptr, nullptr);
    root.Remove("K2");
    root.Write(nullptr, nullptr);
    EXPECT_EQ(SubKeys("Root").size(), 5u);
    root.Delete(nullptr, nullptr);
    root.Write(nullptr, nullptr);
    EXPECT_EQ(Sorted(SubKeys("Root")), (ZelLines{"K1", "K3", "K4", "K5"}));
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
    EXPECT_EQ(Sorted(SubKeys("Root")), (ZelLines{"A", "B"}));
    guarded.Delete(nullptr, nullptr);
    EXPECT_FALSE(Exists("Root"));
}

TEST_F(TreePersistence, ReadingSkipsWhatCannotBeCountedOrNamedAndAddsChildrenThatReadNothing) {
    CreateRaw({"Root\\A", "Root\\B", "Root\\C", "Root\\Silent\\Below"});
    const ZelLines order = SubKeys("Root");
    // Counting fails: no child, but the key was opened.
    struct Uncountable : ZelRegistryQuonSet {
        using ZelRegistryQuonSet::ZelRegistryQuonSet;
        LONG QueryInfoKey(HKEY, UINT*, UINT*) override { return ERROR_ACCESS_DENIED; }
    } uncountable(m_strFreePath.c_str(), FALSE, FALSE);
    EXPECT_EQ(uncountable.Read(nullptr, "Root"), TRUE);
    EXPECT_EQ(uncountable.GetCount(), 0);

    // The name at index 1 cannot be had: that sub-key is skipped, the others are read.
    struct Gappy : ZelRegistryQuonSet {
        using ZelRegistryQuonSet::ZelRegistryQuonSet;
        LONG EnumKey(HKEY& hKey, UINT nIndex, LPTSTR pszName, DWORD cchName) override {
            EXPECT_EQ(cchName, 260u);
            return nIndex == 1 ? ERROR_MORE_DATA : ZelRegistryQuonSet::EnumKey(hKey, nIndex, pszName, cchName);
        }
    } gappy(m_strFreePath.c_str(), FALSE, FALSE);
    EXPECT_EQ(gappy.Read(nullptr, "Root"), TRUE);
    ZelLines expected = order;
    expected.erase(expected.begin() + 1);
    EXPECT_EQ(ZelChildKeys(gappy), expected);

    auto named = Node<NamingContainer>("Root");  // a child that reads nothing is added all the same
    EXPECT_EQ(named.Read(nullptr, nullptr), TRUE);
    EXPECT_EQ(ZelChildKeys(named), order);
    EXPECT_NE(dynamic_cast<SilentLeaf*>(named.GetItem("Silent")), nullptr);
    EXPECT_EQ(named.GetItem("Silent")->GetCount(), 0);
}

TEST_F(TreePersistence, AWriteThatFailsBelowReportsEveryLevel) {
    struct FailingWriter : ZelRegistryQuonSet {
        using ZelRegistryQuonSet::ZelRegistryQuonSet;
        void Write(void* const, const char* const) override { AfxThrowInvalidArgException(); }
    };
    ZelRegistryQuonSet root = Node("Root");
    auto* mid = new ZelRegistryQuonSet(root, "Mid");
    root.AddItem(mid);
    mid->AddItem(new FailingWriter(root, CString("Bad")));
    EXPECT_EQ(ZelFailure([&] { root.Write(nullptr, nullptr); }), (ZelLines{kWrite, kWrite, "CInvalidArgException"}));
    EXPECT_TRUE(Exists("Root\\Mid"));
}

}  // namespace
