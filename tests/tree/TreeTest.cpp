// Settings tree nodes in memory: the child list, lookups, deep copies through the target's own
// copy factory, equality, and what each reports when it fails or runs out of memory.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExhaustion.h"
#include "tree/ZelTreeTestSupport.h"

namespace {

const std::string kAdd = kZelSet + "ZelRegistryQuonSet::AddItem(ZelRegistryQuonSet* pItem)" + kZelEnd;
const std::string kAddCopy = kZelSet + "ZelRegistryQuonSet::AddItem(const ZelRegistryQuonSet& Item)" + kZelEnd;
const std::string kAssign = kZelSet + "const ZelRegistryQuonSet& operator= (const ZelRegistryQuonSet& p)" + kZelEnd;
const std::string kImp = ".\\Imp\\ZelRegistrySetI | ZelRegistryQuonSet_Imp | ";
const std::string kImpAssign = kImp + "ZelRegistryQuonSet_Imp::operator=( const ZelRegistryQuonSet_Imp& )" + kZelEnd;
const std::string kEmptyKey = "ZelPropertyLocalException 2801";
const std::string kDuplicate = "ZelPropertyLocalException 2802";

TEST(TreeList, NodesTakeLocationAndKeyAndTheListRefusesEmptyAndDuplicateKeys) {
    ZelRegistryQuonSet node("Ledger", "2.0", ZelRegistryBase::eSettings, "Print", nullptr, FALSE, FALSE);
    EXPECT_EQ(ZelPathOf(node), "Software\\Quellmar\\Components\\Ledger\\Versions\\2.0\\Settings\\Print");
    EXPECT_EQ(ZelPathOf(ZelRegistryQuonSet("Software\\Free", FALSE, FALSE)), "Software\\Free");
    node.SetUsedAsSubObject(7);
    EXPECT_EQ(node.IsUsedAsSubObject(), 1);  // exactly 1, not the value given
    const ZelRegistryQuonSet width(node, "Width");  // a node made from a location shares its path
    EXPECT_EQ(ZelPathOf(width), ZelPathOf(node));

    node.AddItem(width);  // by reference: a copy is added
    EXPECT_NE(node.GetItem("Width"), &width);
    // Still ours after the refusal: a node that had taken one would release it a second time.
    const auto empty = std::make_unique<ZelRegistryQuonSet>();
    const auto twin = std::make_unique<ZelRegistryQuonSet>(node, "Width");
    EXPECT_EQ(ZelFailure([&] { node.AddItem(empty.get()); }), (ZelLines{kAdd, kEmptyKey}));
    EXPECT_EQ(ZelFailure([&] { node.Replace(empty.get()); }),
              (ZelLines{kZelSet + "void ZelRegistryQuonSet::Replace(ZelRegistryQuonSet* pItem)" + kZelEnd, kEmptyKey}));
    EXPECT_EQ(ZelFailure([&] { node.AddItem(twin.get()); }), (ZelLines{kAdd, kDuplicate}));
    // By reference, the copy's conversion wraps the pointer form's.
    EXPECT_EQ(ZelFailure([&] { node.AddItem(width); }), (ZelLines{kAddCopy, kAdd, kDuplicate}));
    EXPECT_NO_THROW(node.AddItem(new ZelRegistryQuonSet(node, "width")));  // keys compare case-sensitively
}

TEST(TreeList, LocalErrorsAreRaisedWithTheLanguageModuleCurrent) {
    // Notes which resource module is current while the list is consulted.
    struct Probe : ZelRegistryQuonSet {
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
        ~Restore() { publisher.SetLangDependentResource(language, name); AfxSetResourceHandle(host); }
    } restore;
    const auto language = reinterpret_cast<HINSTANCE>(0x5a0000);
    const auto host = reinterpret_cast<HINSTANCE>(0x4a0000);
    restore.publisher.SetLangDependentResource(language, "MORVAKTEST.DLL");
    AfxSetResourceHandle(host);

    Probe node;
    ZelAddChildren(node, {"A"});
    EXPECT_EQ(node.seen, language);
    ZelRegistryQuonSet twin(node, "A");
    EXPECT_EQ(ZelFailure([&] { node.AddItem(&twin); }), (ZelLines{kAdd, kDuplicate}));
    EXPECT_EQ(AfxGetResourceHandle(), host) << "the scope must end before the failure leaves";
}

TEST(TreeList, ReplaceDestroysTheOldChildAndAppendsAtTheTailAndRemoveAllDestroysEveryLevel) {
    {
        ZelRegistryQuonSet node;
        for (const char* key : {"A", "B", "C"}) node.AddItem(new ZelTrackedNode(key));
        auto* newB = new ZelTrackedNode("B", 2);
        node.Replace(newB);
        EXPECT_EQ(ZelChildKeys(node), (ZelLines{"A", "C", "B"}));
        EXPECT_EQ(node.GetItem("B"), newB);
        EXPECT_EQ(ZelTrackedNode::s_alive, 3) << "the old B must be destroyed";
        node.Replace(new ZelTrackedNode("D"));
        // By reference a copy takes the place; a child replaced by itself moves and lives on.
        const ZelRegistryQuonSet a(node, "A");
        node.Replace(a);
        EXPECT_NE(node.GetItem("A"), &a);
        EXPECT_EQ(ZelTrackedNode::s_alive, 3);
        ZelRegistryQuonSet* c = node.GetItem("C");
        node.Replace(c);
        EXPECT_EQ(ZelChildKeys(node), (ZelLines{"B", "D", "A", "C"}));
        EXPECT_EQ(node.GetItem("C"), c);

        node.GetItem("B")->AddItem(new ZelTrackedNode("B1"));
        EXPECT_TRUE(node.RemoveAll());
        EXPECT_EQ(ZelTrackedNode::s_alive, 0);
        EXPECT_EQ(node.GetHeadPosition(), nullptr);
        node.AddItem(new ZelTrackedNode("E"));
        node.GetItem("E")->AddItem(new ZelTrackedNode("E1"));
    }
    EXPECT_EQ(ZelTrackedNode::s_alive, 0) << "the destructor destroys every level";
}

TEST(TreeList, AmongEqualKeysTheFirstIsFoundAndRemovedAndCopiesKeepThemAll) {
    ZelRegistryQuonSet node;
    ZelAddChildren(node, {"A", "X", "Y"});
    ZelRegistryQuonSet* first = node.GetItem("A");
    ZelRegistryQuonSet* second = node.GetItem("X");
    ZelRegistryQuonSet* third = node.GetItem("Y");
    second->SetKey("A");
    third->SetKey("A");
    EXPECT_EQ(node.GetItem("A"), first);
    EXPECT_FALSE(node.Remove("a"));

    node.Replace(first);  // moves behind the others
    EXPECT_EQ(node.GetItem("A"), second);
    EXPECT_TRUE(node.Remove("A"));
    EXPECT_EQ(node.GetItem("A"), third);
    EXPECT_EQ(node.GetCount(), 2);

    third->SetLayoutName("first");
    const ZelRegistryQuonSet copy(node);
    EXPECT_EQ(ZelChildKeys(copy), (ZelLines{"A", "A"}));
    EXPECT_STREQ(copy.GetItem("A")->GetLayoutName(), "first");
    EXPECT_TRUE(node.Remove("A"));
    EXPECT_EQ(node.GetItem("A"), first);
}

TEST(TreeList, LookupsAndWalksSeeDirectChildrenUnderTheirCurrentKeysOnly) {
    ZelRegistryQuonSet node;
    ZelAddChildren(node, {"A", "B"});
    ZelAddChildren(*node.GetItem("A"), {"Deep"});
    EXPECT_EQ(node.GetItem("Deep"), nullptr);
    EXPECT_EQ(node.GetItem("b"), nullptr);

    ZelRegistryQuonSet* b = node.GetItem("B");
    b->SetKey("C");
    EXPECT_EQ(node.GetItem("C"), b);
    EXPECT_EQ(node.GetItem("B"), nullptr);
    *node.GetItem("A") = ZelRegistryQuonSet(node, "Z");  // assigning to a listed child renames it too
    EXPECT_EQ(node.GetItem("A"), nullptr);
    EXPECT_NE(node.GetItem("Z"), nullptr);
    EXPECT_NO_THROW(node.AddItem(new ZelRegistryQuonSet(node, "B"))) << "the old key is free again";

    // Only the (current) key is looked at: a stranger with a child's key is "in" the list.
    ZelRegistryQuonSet again(node, "C");
    EXPECT_TRUE(node.CheckObject(&again));
    again.SetKey("Deep");
    EXPECT_FALSE(node.CheckObject(&again));

    // Walking on from the null position that ends every walk fails.
    POSITION pos = nullptr;
    EXPECT_EQ(ZelFailure([&] { node.GetNext(pos); }),
              (ZelLines{kZelSet + "ZelRegistryQuonSet* ZelRegistryQuonSet::GetNext(POSITION&" + kZelEnd,
                        "CInvalidArgException"}));
}

TEST(TreeMemory, LookupsStayRightWhicheverAllocationFails) {
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

        EXPECT_EQ(ZelChildKeys(node), (added ? ZelLines{"A", "B", "D", "E"} : ZelLines{"A", "B", "D"})) << n;
        ASSERT_NE(d, nullptr) << n;
        EXPECT_STREQ(d->GetKey(), "D") << n;
        EXPECT_EQ(node.GetItem("C"), nullptr) << n;
        EXPECT_EQ(node.GetItem("E") != nullptr, added) << n;
        EXPECT_STREQ(node.GetItem("A")->GetKey(), "A") << n;
    }
}

// The node's own assignment, whatever class the target has.
void Assign(ZelRegistryQuonSet& target, const ZelRegistryQuonSet& source) { target = source; }

// A container of tracked nodes only: its copy factory copies a tracked node as one and answers
// null for anything else. It can be told to fail at its nth copy.
class TrackedContainer : public ZelRegistryQuonSet {
public:
    TrackedContainer() = default;
    TrackedContainer(const ZelRegistryBase& location, const char* key) : ZelRegistryQuonSet(location, key) {}
    TrackedContainer(const TrackedContainer& other) : ZelRegistryQuonSet() { ZelRegistryQuonSet::operator=(other); }

    using ZelRegistryQuonSet::CreateChildObject;
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& CopyObj) override {
        if (++m_copies == m_failAt) AfxThrowMemoryException();
        const auto* tracked = dynamic_cast<const ZelTrackedNode*>(&CopyObj);
        return tracked ? new ZelTrackedNode(*tracked) : nullptr;
    }

    int m_copies = 0;
    int m_failAt = 0;
};

TEST(TreeCopy, CopiesAreDeepAndAssignmentReplacesTheChildrenAlsoFromItselfOrItsOwnDescendant) {
    ZelRegistryQuonSet source("Software\\Source", TRUE, FALSE);
    source.SetKey("Root");
    source.SetLayoutName("Layout");
    source.SetObjectID("Id");
    source.SetUsedAsSubObject(TRUE);
    ZelAddChildren(source, {"A", "B"});
    ZelAddChildren(*source.GetItem("A"), {"A1"});
    ZelRegistryQuonSet copy(source);
    ASSERT_TRUE(copy == source);
    EXPECT_EQ(ZelPathOf(copy), "Software\\Source");
    copy.GetItem("A")->GetItem("A1")->SetKey("Changed");
    copy.GetItem("B")->AddItem(new ZelRegistryQuonSet(copy, "New"));
    EXPECT_EQ(ZelChildKeys(*source.GetItem("A")), ZelLines{"A1"});
    EXPECT_EQ(source.GetItem("B")->GetCount(), 0);

    ZelRegistryQuonSet target;
    for (const char* key : {"X", "Y"}) target.AddItem(new ZelTrackedNode(key));
    Assign(target, source);
    EXPECT_EQ(ZelTrackedNode::s_alive, 0);
    EXPECT_TRUE(target == source);
    ZelRegistryQuonSet* a = target.GetItem("A");
    Assign(target, target);
    EXPECT_EQ(target.GetItem("A"), a);
    // The descendant goes with the target's former children while it is copied.
    a->SetLayoutName("from A");
    Assign(target, *a);
    EXPECT_STREQ(target.GetKey(), "A");
    EXPECT_STREQ(target.GetLayoutName(), "from A");
    EXPECT_EQ(ZelChildKeys(target), ZelLines{"A1"});
}

TEST(TreeCopy, ChildrenAreCopiedByTheTargetsOwnFactory) {
    TrackedContainer source;
    source.AddItem(new ZelTrackedNode("T1", 5));
    source.AddItem(new ZelTrackedNode("T2", 6));
    source.GetItem("T1")->AddItem(new ZelTrackedNode("Deep", 7));

    // The container's copy makes a default container first, so its own factory copies the
    // children; below them the tracked nodes' (plain) factory copies: 3 + 2 tracked alive.
    TrackedContainer copy(source);
    EXPECT_EQ(copy.m_copies, 2);
    auto* t1 = dynamic_cast<ZelTrackedNode*>(copy.GetItem("T1"));
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(t1->m_payload, 5);
    EXPECT_EQ(ZelChildKeys(*t1), ZelLines{"Deep"});
    EXPECT_EQ(ZelTrackedNode::s_alive, 5);

    ZelRegistryQuonSet plain;  // copies the same children as plain nodes
    Assign(plain, source);
    EXPECT_EQ(ZelTrackedNode::s_alive, 5);
    EXPECT_TRUE(plain == source);
}

TEST(TreeCopy, ACopyThatFailsHalfwayLeavesTheTargetAsItWas) {
    TrackedContainer source(ZelRegistryBase("Software\\Source", FALSE, FALSE), "Source");
    for (const char* key : {"T1", "T2"}) source.AddItem(new ZelTrackedNode(key));
    source.AddItem(new ZelRegistryQuonSet(source, "Plain"));  // not the container's kind: a null copy
    TrackedContainer target(ZelRegistryBase("Software\\Target", FALSE, FALSE), "Target");
    target.SetLayoutName("kept");
    target.AddItem(new ZelTrackedNode("Old1"));
    target.AddItem(new ZelTrackedNode("Old2"));
    ZelRegistryQuonSet* old1 = target.GetItem("Old1");
    const int alive = ZelTrackedNode::s_alive;

    target.m_failAt = 2;  // out of memory at the second copy
    EXPECT_EQ(ZelFailure([&] { Assign(target, source); }), (ZelLines{kAssign, kImpAssign, "CMemoryException"}));
    target.m_failAt = 0;  // then refused at the null copy
    EXPECT_EQ(ZelFailure([&] { Assign(target, source); }), (ZelLines{kAssign, kImpAssign, "CInvalidArgException"}));
    EXPECT_EQ(ZelTrackedNode::s_alive, alive) << "the copies made before the failure must go";
    // By reference, adding and replacing are refused before anything is replaced.
    const ZelRegistryQuonSet stranger(target, "Old1");
    EXPECT_EQ(ZelFailure([&] { target.AddItem(stranger); }), (ZelLines{kAddCopy, "CInvalidArgException"}));
    EXPECT_EQ(ZelFailure([&] { target.Replace(stranger); }),
              (ZelLines{kZelSet + "Replace(const ZelRegistryQuonSet* pItem) |  | 1001", "CInvalidArgException"}));
    EXPECT_EQ(ZelPathOf(target), "Software\\Target");
    EXPECT_STREQ(target.GetKey(), "Target");
    EXPECT_STREQ(target.GetLayoutName(), "kept");
    EXPECT_EQ(ZelChildKeys(target), (ZelLines{"Old1", "Old2"}));
    EXPECT_EQ(target.GetItem("Old1"), old1);
}

TEST(TreeEquality, ComparesTheFieldsThenTheChildrenInOrderAsNodes) {
    const auto build = [](const char* path) {
        auto node = std::make_unique<ZelRegistryQuonSet>(path, FALSE, FALSE);
        node->SetKey("K");
        node->SetLayoutName("L");
        node->SetObjectID("O");
        ZelAddChildren(*node, {"A", "B"});
        ZelAddChildren(*node->GetItem("B"), {"B1"});
        return node;
    };
    const auto base = build("Software\\One");
    EXPECT_TRUE(*build("Software\\Two") == *base) << "locations take no part, only their being intact";
    const std::vector<std::pair<const char*, void (*)(ZelRegistryQuonSet&)>> changes = {
        {"key", [](ZelRegistryQuonSet& n) { n.SetKey("k"); }},
        {"layout name", [](ZelRegistryQuonSet& n) { n.SetLayoutName("l"); }},
        {"object id", [](ZelRegistryQuonSet& n) { n.SetObjectID("o"); }},
        {"mark", [](ZelRegistryQuonSet& n) { n.SetUsedAsSubObject(TRUE); }},
        {"order", [](ZelRegistryQuonSet& n) { n.Replace(new ZelRegistryQuonSet(n, "A")); }},
        {"extra child", [](ZelRegistryQuonSet& n) { ZelAddChildren(n, {"C"}); }},
        {"grandchild", [](ZelRegistryQuonSet& n) { n.GetItem("B")->GetItem("B1")->SetObjectID("x"); }},
    };
    for (const auto& [what, change] : changes) {
        auto other = build("Software\\One");
        change(*other);
        EXPECT_FALSE(*other == *base) << what;
        EXPECT_FALSE(*base == *other) << what;
    }
    // What a derived child adds takes no part.
    ZelRegistryQuonSet one;
    ZelRegistryQuonSet two;
    one.AddItem(new ZelTrackedNode("T", 1));
    two.AddItem(new ZelTrackedNode("T", 2));
    EXPECT_TRUE(one == two);
}

TEST(TreeMemory, ConstructorsTellMemoryExhaustionApartNameTheirLevelsAndLeakNothing) {
    const ZelRegistryBase location("Software\\Location", FALSE, FALSE);
    ZelRegistryQuonSet source(location, "Source");
    ZelAddChildren(source, {"A", "B"});
    const CString key("Key");  // made outside, where a failure would not be the node's
    const std::vector<std::pair<std::string, std::function<void()>>> constructors = {
        {"ZelRegistryQuonSet:: ZelRegistryQuonSet( const CString& szKey)",
         [&] { ZelRegistryQuonSet node(location, key); }},
        {"ZelRegistryQuonSet :: ZelRegistryQuonSet( LPCTSTR, LPCTSTR,... )",
         [] { ZelRegistryQuonSet node("Ledger", "2.0", ZelRegistryBase::eOptions, "Sub", "R", FALSE, FALSE); }},
        {"ZelRegistryQuonSet :: ZelRegistryQuonSet( PVOID&, ... )",
         [] { ZelRegistryQuonSet node("Software\\Path", FALSE, FALSE); }},
        {"ZelRegistryQuonSet::ZelRegistryQuonSet()", [] { ZelRegistryQuonSet node; }},
        {"ZelRegistryQuonSet:: ZelRegistryQuonSet(const ZelRegistryQuonSet & p)",
         [&] { ZelRegistryQuonSet node(source); }},
    };
    for (const auto& [method, make] : constructors) {
        // The implementation object, then the list inside it, whose constructor converted already.
        const ZelLines own = ZelReportsOf(ZelExhaustionReports(make), kZelSet + method);
        ASSERT_GE(own.size(), 2u) << method;
        EXPECT_EQ(own[0], " |  | 1002 <- CMemoryException") << method;
        EXPECT_EQ(own[1], " |  | 1001 <- ZelPropertyObjectException") << method;
    }
    // The level inside the node's own names the implementation.
    AfxTestFailAllocation(3);  // location, node state, then the node state's list
    const ZelLines list = ZelFailure([] { ZelRegistryQuonSet node; });
    AfxTestFailAllocation(0);
    const std::string imp = kImp + "ZelRegistryQuonSet_Imp :: ZelRegistryQuonSet_Imp ( ZelRegistrySet * pInt )";
    EXPECT_EQ(list, (ZelLines{kZelSet + "ZelRegistryQuonSet::ZelRegistryQuonSet() |  | 1001", imp + kZelEnd,
                              "CMemoryException"}));
}

}  // namespace
