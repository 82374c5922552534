// Settings tree nodes in memory: construction, the child list and its failures.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ZelRegistrySet.h"
#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExceptionCheck.h"
#include "tree/ZelTreeTestSupport.h"

namespace {

const std::string kSet = ".\\ZelRegistrySet | ZelRegistryQuonSet | ";
const std::string kAddByPointer = "ZelRegistryQuonSet::AddItem(ZelRegistryQuonSet* pItem)";
const std::string kReplaceByPointer = "void ZelRegistryQuonSet::Replace(ZelRegistryQuonSet* pItem)";

std::string PathOf(const ZelRegistryBase& location) {
    return static_cast<const char*>(location.GetRegistryPath());
}

// The local error number under a conversion of the given operation.
DWORD LocalErrorOf(const ZelPropertyObjectException& e, const std::string& method) {
    EXPECT_EQ(ZelDescribe(e), kSet + method + " | Catch am Methodenende | 1001");
    return ZelLocalCauseNo(e);
}

TEST(TreeNode, ConstructorsTakeTheirLocationAndKey) {
    ZelRegistryQuonSet composed("Ledger", "2.0", ZelRegistryBase::eSettings, "Print", nullptr, FALSE, FALSE);
    EXPECT_EQ(PathOf(composed), "Software\\Quellmar\\Components\\Ledger\\Versions\\2.0\\Settings\\Print");
    EXPECT_EQ(std::string(composed.GetKey()), "");

    ZelRegistryQuonSet free("Software\\Free", FALSE, FALSE);
    EXPECT_EQ(PathOf(free), "Software\\Free");

    // A node made from a location shares its path and is not added anywhere.
    ZelRegistryQuonSet child(composed, "Width");
    EXPECT_EQ(PathOf(child), PathOf(composed));
    EXPECT_EQ(std::string(child.GetKey()), "Width");
    EXPECT_EQ(composed.GetCount(), 0);

}

TEST(TreeNode, RuntimeClassIsRecognisedButNotCreatable) {
    ZelRegistryQuonSet node;
    const CRuntimeClass* record = node.GetRuntimeClass();
    EXPECT_EQ(record, RUNTIME_CLASS(ZelRegistryQuonSet));
    EXPECT_EQ(record, ZelRegistryQuonSet::GetThisClass());
    EXPECT_EQ(std::string(record->m_lpszClassName), "ZelRegistryQuonSet");
    EXPECT_EQ(record->m_pBaseClass, RUNTIME_CLASS(ZelRegistryBase));
    EXPECT_EQ(record->m_wSchema, 0xFFFFu);
    EXPECT_EQ(RUNTIME_CLASS(ZelRegistryQuonSet)->CreateObject(), nullptr);
    EXPECT_TRUE(node.IsKindOf(RUNTIME_CLASS(ZelRegistryBase)));
}

TEST(TreeNode, AccessorsStoreWithoutChecks) {
    ZelRegistryQuonSet node;
    node.SetUsedAsSubObject(7);
    EXPECT_EQ(node.IsUsedAsSubObject(), 1);  // exactly 1, not the value given
    node.SetUsedAsSubObject(FALSE);
    EXPECT_EQ(node.IsUsedAsSubObject(), 0);

    // Renaming a child is not checked against its siblings.
    ZelAddChildren(node, {"A", "B"});
    node.GetItem("B")->SetKey("A");
    node.GetItem("A")->SetKey("");
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"", "A"}));
}

TEST(TreeList, EmptyKeyIsRefusedAndTheItemStaysTheCallers) {
    ZelRegistryQuonSet node;
    ZelAddChildren(node, {"A"});
    auto item = std::make_unique<ZelRegistryQuonSet>();

    auto added = ZelExpectConverted([&] { node.AddItem(item.get()); });
    ASSERT_TRUE(added);
    EXPECT_EQ(LocalErrorOf(*added, kAddByPointer), 2801u);

    auto replaced = ZelExpectConverted([&] { node.Replace(item.get()); });
    ASSERT_TRUE(replaced);
    EXPECT_EQ(LocalErrorOf(*replaced, kReplaceByPointer), 2801u);

    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"A"}));
    // item is still ours: the unique_ptr releases it, and a node that had taken it would
    // release it a second time.
}

TEST(TreeList, DuplicateKeyIsRefusedCaseSensitively) {
    ZelRegistryQuonSet node;
    ZelAddChildren(node, {"Width", "Height"});
    auto twin = std::make_unique<ZelRegistryQuonSet>(node, "Width");

    auto e = ZelExpectConverted([&] { node.AddItem(twin.get()); });
    ASSERT_TRUE(e);
    EXPECT_EQ(LocalErrorOf(*e, kAddByPointer), 2802u);
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"Width", "Height"}));

    node.AddItem(new ZelRegistryQuonSet(node, "width"));
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"Width", "Height", "width"}));
}

TEST(TreeList, AddingByReferenceCopiesAndDestroysARefusedCopy) {
    ZelRegistryQuonSet node;
    ZelTrackedNode item("Font", 3);
    ZelAddChildren(item, {"Size"});
    node.AddItem(item);
    ASSERT_EQ(ZelChildKeys(node), ZelKeys({"Font"}));
    ZelRegistryQuonSet* copy = node.GetItem("Font");
    EXPECT_NE(copy, &item);
    EXPECT_EQ(ZelChildKeys(*copy), ZelKeys({"Size"}));
    EXPECT_EQ(item.GetCount(), 1);

    // The second add fails below the first: the copy's own conversion wraps the pointer
    // form's, which wraps the duplicate-key error.
    auto e = ZelExpectConverted([&] { node.AddItem(item); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kSet + "ZelRegistryQuonSet::AddItem(const ZelRegistryQuonSet& Item) | "
                                      "Catch am Methodenende | 1001");
    ZelPropertyObjectException* inner = ZelObjectCause(*e);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(LocalErrorOf(*inner, kAddByPointer), 2802u);
    EXPECT_EQ(node.GetCount(), 1);
}

TEST(TreeList, LocalErrorsAreRaisedWithTheLanguageModuleCurrent) {
    // A node that notes which resource module is current while the list is consulted.
    class Probe : public ZelRegistryQuonSet {
    public:
        BOOL CheckObject(const ZelRegistryQuonSet* pObject) override {
            seen = AfxGetResourceHandle();
            return ZelRegistryQuonSet::CheckObject(pObject);
        }
        HINSTANCE seen = nullptr;
    };
    // Puts the process's resource modules back however the test ends.
    struct Restore {
        ZelLanguagePublisher& publisher = *ZelLanguagePublisher::Instance();
        const HINSTANCE language = publisher.GetLangDependentResource();
        const CString name = publisher.GetLangDependentResourceName();
        const HINSTANCE host = AfxGetResourceHandle();
        ~Restore() {
            publisher.SetLangDependentResource(language, name);
            AfxSetResourceHandle(host);
        }
    } restore;
    ZelLanguagePublisher& publisher = restore.publisher;
    const HINSTANCE language = reinterpret_cast<HINSTANCE>(0x5a0000);
    const HINSTANCE host = reinterpret_cast<HINSTANCE>(0x4a0000);
    publisher.SetLangDependentResource(language, "MORVAKTEST.DLL");
    AfxSetResourceHandle(host);

    Probe node;
    ZelAddChildren(node, {"A"});
    EXPECT_EQ(node.seen, language);
    EXPECT_EQ(AfxGetResourceHandle(), host);

    node.seen = nullptr;
    ZelRegistryQuonSet twin(node, "A");
    auto e = ZelExpectConverted([&] { node.AddItem(&twin); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelLocalCauseNo(*e), 2802u);
    EXPECT_EQ(node.seen, language);
    EXPECT_EQ(AfxGetResourceHandle(), host) << "the scope must end before the failure leaves";
}

TEST(TreeList, ReplaceDestroysTheOldChildAndAppendsAtTheTail) {
    ZelRegistryQuonSet node;
    node.AddItem(new ZelTrackedNode("A"));
    node.AddItem(new ZelTrackedNode("B", 1));
    node.AddItem(new ZelTrackedNode("C"));
    ASSERT_EQ(ZelTrackedNode::s_alive, 3);

    auto* newB = new ZelTrackedNode("B", 2);
    node.Replace(newB);
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"A", "C", "B"}));
    EXPECT_EQ(node.GetItem("B"), newB);
    EXPECT_EQ(ZelTrackedNode::s_alive, 3) << "the old B must be destroyed";

    node.Replace(new ZelTrackedNode("D"));
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"A", "C", "B", "D"}));

    // By reference: a copy takes the place at the tail.
    ZelRegistryQuonSet a(node, "A");
    node.Replace(a);
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"C", "B", "D", "A"}));
    EXPECT_NE(node.GetItem("A"), &a);
    EXPECT_EQ(ZelTrackedNode::s_alive, 3);

    // A child replaced by itself moves to the tail and lives on.
    ZelRegistryQuonSet* c = node.GetItem("C");
    node.Replace(c);
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"B", "D", "A", "C"}));
    EXPECT_EQ(node.GetItem("C"), c);

    node.RemoveAll();
    EXPECT_EQ(ZelTrackedNode::s_alive, 0);
}

TEST(TreeList, RemoveTakesOnlyTheFirstMatch) {
    ZelRegistryQuonSet node;
    ZelAddChildren(node, {"A", "B", "C"});
    ZelRegistryQuonSet* second = node.GetItem("C");
    second->SetKey("A");

    EXPECT_FALSE(node.Remove("Z"));
    EXPECT_FALSE(node.Remove("a"));
    EXPECT_EQ(node.GetCount(), 3);

    EXPECT_TRUE(node.Remove("A"));
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"B", "A"}));
    EXPECT_EQ(node.GetItem("A"), second);
    EXPECT_TRUE(node.Remove("A"));
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"B"}));
}

TEST(TreeList, LookupsSeeDirectChildrenOnly) {
    ZelRegistryQuonSet node;
    ZelAddChildren(node, {"A", "B"});
    ZelAddChildren(*node.GetItem("A"), {"Deep", "Deeper"});

    EXPECT_EQ(node.GetCount(), 2);
    EXPECT_EQ(node.GetItem("Deep"), nullptr);
    EXPECT_EQ(node.GetItem("b"), nullptr);
    ASSERT_NE(node.GetItem("A"), nullptr);
    EXPECT_EQ(node.GetItem("A")->GetCount(), 2);

    // Only the key is looked at: a stranger with a child's key is "in" the list.
    ZelRegistryQuonSet stranger(node, "B");
    EXPECT_TRUE(node.CheckObject(&stranger));
    stranger.SetKey("Deep");
    EXPECT_FALSE(node.CheckObject(&stranger));
}

TEST(TreeList, WalkingEndsWithANullPositionAndANullPositionFails) {
    ZelRegistryQuonSet empty;
    EXPECT_EQ(empty.GetHeadPosition(), nullptr);

    ZelRegistryQuonSet node;
    ZelAddChildren(node, {"A"});
    POSITION pos = node.GetHeadPosition();
    EXPECT_EQ(std::string(node.GetNext(pos)->GetKey()), "A");
    EXPECT_EQ(pos, nullptr);

    auto e = ZelExpectConverted([&] { node.GetNext(pos); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kSet + "ZelRegistryQuonSet* ZelRegistryQuonSet::GetNext(POSITION& | "
                                      "Catch am Methodenende | 1001");
    ASSERT_NE(e->GetCause(), nullptr);
    EXPECT_TRUE(e->GetCause()->IsKindOf(RUNTIME_CLASS(CInvalidArgException)));
}

TEST(TreeList, RemoveAllAndTheDestructorDestroyEveryChild) {
    {
        ZelRegistryQuonSet node;
        node.AddItem(new ZelTrackedNode("A"));
        node.AddItem(new ZelTrackedNode("B"));
        node.GetItem("A")->AddItem(new ZelTrackedNode("A1"));
        EXPECT_EQ(ZelTrackedNode::s_alive, 3);
        EXPECT_TRUE(node.RemoveAll());
        EXPECT_EQ(ZelTrackedNode::s_alive, 0);
        EXPECT_EQ(node.GetHeadPosition(), nullptr);

        node.AddItem(new ZelTrackedNode("C"));
    }
    EXPECT_EQ(ZelTrackedNode::s_alive, 0);
}

TEST(TreeLookup, RenamedChildrenAreFoundUnderTheirNewKeysOnly) {
    ZelRegistryQuonSet node;
    ZelAddChildren(node, {"A", "B"});
    ZelRegistryQuonSet* b = node.GetItem("B");
    b->SetKey("C");
    EXPECT_EQ(node.GetItem("C"), b);
    EXPECT_EQ(node.GetItem("B"), nullptr);
    node.AddItem(new ZelRegistryQuonSet(node, "B"));
    ZelRegistryQuonSet again(node, "C");
    auto e = ZelExpectConverted([&] { node.AddItem(&again); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelLocalCauseNo(*e), 2802u);

    // Assigning to a listed child renames it as well.
    ZelRegistryQuonSet source(node, "Z");
    *node.GetItem("A") = source;
    EXPECT_EQ(node.GetItem("A"), nullptr);
    ASSERT_NE(node.GetItem("Z"), nullptr);
    EXPECT_EQ(ZelChildKeys(node), ZelKeys({"Z", "C", "B"}));
}

TEST(TreeLookup, AmongEqualKeysTheFirstInTheListIsFound) {
    ZelRegistryQuonSet node;
    ZelAddChildren(node, {"A", "X", "Y"});
    ZelRegistryQuonSet* first = node.GetItem("A");
    ZelRegistryQuonSet* second = node.GetItem("X");
    second->SetKey("A");
    node.GetItem("Y")->SetKey("A");
    EXPECT_EQ(node.GetItem("A"), first);

    // The first moves behind the others: the next one is found.
    node.Replace(first);
    EXPECT_EQ(node.GetItem("A"), second);
    EXPECT_TRUE(node.Remove("A"));
    EXPECT_NE(node.GetItem("A"), second);
    EXPECT_NE(node.GetItem("A"), first);
    EXPECT_TRUE(node.Remove("A"));
    EXPECT_EQ(node.GetItem("A"), first);

    // Copies keep equal keys and their order.
    second = nullptr;
    ZelAddChildren(node, {"B"});
    node.GetItem("B")->SetKey("A");
    node.GetItem("A")->SetLayoutName("first");
    ZelRegistryQuonSet copy(node);
    EXPECT_EQ(ZelChildKeys(copy), ZelKeys({"A", "A"}));
    EXPECT_EQ(std::string(copy.GetItem("A")->GetLayoutName()), "first");
}

TEST(TreeLookup, LookupsStayRightWhicheverAllocationFails) {
    for (unsigned long n = 1; n <= 6; ++n) {
        ZelRegistryQuonSet node;
        ZelAddChildren(node, {"A", "B", "C"});
        node.GetItem("C")->SetKey("D");  // the next lookup rebuilds what it knows
        auto item = std::make_unique<ZelRegistryQuonSet>(node, "E");
        bool added = true;
        AfxTestFailAllocation(n);
        try {
            node.AddItem(item.get());
        } catch (CException* e) {
            e->Delete();
            added = false;
        }
        const CString keyD("D");  // made before the failure is armed
        AfxTestFailAllocation(n);
        ZelRegistryQuonSet* d = node.GetItem(keyD);
        AfxTestFailAllocation(0);
        if (added) item.release();

        EXPECT_EQ(ZelChildKeys(node), added ? ZelKeys({"A", "B", "D", "E"}) : ZelKeys({"A", "B", "D"})) << n;
        ASSERT_NE(d, nullptr) << n;
        EXPECT_EQ(std::string(d->GetKey()), "D");
        EXPECT_EQ(node.GetItem("C"), nullptr) << n;
        EXPECT_EQ(node.GetItem("E") != nullptr, added) << n;
        EXPECT_EQ(std::string(node.GetItem("A")->GetKey()), "A") << n;
    }
}

TEST(TreeMemory, AddingWithoutMemoryIsConvertedWithoutTellingItApart) {
    ZelRegistryQuonSet warm;
    ZelAddChildren(warm, {"Warm"});  // sets up what every later add shares
    ZelRegistryQuonSet node;
    auto item = std::make_unique<ZelRegistryQuonSet>(node, "A");
    AfxTestFailAllocation(1);  // the list's storage for the new entry
    auto e = ZelExpectConverted([&] { node.AddItem(item.get()); });
    AfxTestFailAllocation(0);
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kSet + kAddByPointer + " | Catch am Methodenende | 1001");
    ASSERT_NE(e->GetCause(), nullptr);
    EXPECT_TRUE(e->GetCause()->IsKindOf(RUNTIME_CLASS(CMemoryException)));
    EXPECT_EQ(node.GetCount(), 0);
}

}  // namespace
