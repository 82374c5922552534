// Settings tree nodes in memory: deep copying through the target's own copy factory,
// comparison, and constructors that run out of memory.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ZelRegistrySet.h"
#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExceptionCheck.h"
#include "tree/ZelTreeTestSupport.h"

namespace {

const std::string kSet = ".\\ZelRegistrySet | ZelRegistryQuonSet | ";
const std::string kAssign = "const ZelRegistryQuonSet& operator= (const ZelRegistryQuonSet& p)";
const std::string kImpAssign = ".\\Imp\\ZelRegistrySetI | ZelRegistryQuonSet_Imp | "
                               "ZelRegistryQuonSet_Imp::operator=( const ZelRegistryQuonSet_Imp& ) | "
                               "Catch am Methodenende | 1001";

std::string PathOf(const ZelRegistryBase& location) {
    return static_cast<const char*>(location.GetRegistryPath());
}

std::string ClassOf(const CObject* object) {
    return object ? object->GetRuntimeClass()->m_lpszClassName : "(none)";
}

// The node's own assignment, whatever class the target has.
void Assign(ZelRegistryQuonSet& target, const ZelRegistryQuonSet& source) { target = source; }

// A container of tracked nodes only, as a container of one kind of child is: its copy factory
// copies a tracked node as a tracked node and answers null for anything else. It can be told
// to fail at its nth copy.
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

TEST(TreeCopy, CopyIsDeepAndEqualToItsSource) {
    ZelRegistryQuonSet source("Software\\Source", TRUE, FALSE);
    source.SetKey("Root");
    source.SetLayoutName("Layout");
    source.SetObjectID("Id");
    source.SetUsedAsSubObject(TRUE);
    ZelAddChildren(source, {"A", "B"});
    ZelAddChildren(*source.GetItem("A"), {"A1"});

    ZelRegistryQuonSet copy(source);
    EXPECT_TRUE(copy == source);
    EXPECT_EQ(PathOf(copy), "Software\\Source");
    EXPECT_EQ(std::string(copy.GetKey()), "Root");
    EXPECT_EQ(std::string(copy.GetLayoutName()), "Layout");
    EXPECT_EQ(std::string(copy.GetObjectID()), "Id");
    EXPECT_EQ(copy.IsUsedAsSubObject(), TRUE);
    ASSERT_EQ(ZelChildKeys(copy), ZelKeys({"A", "B"}));
    EXPECT_NE(copy.GetItem("A"), source.GetItem("A"));
    ASSERT_NE(copy.GetItem("A")->GetItem("A1"), nullptr);
    EXPECT_NE(copy.GetItem("A")->GetItem("A1"), source.GetItem("A")->GetItem("A1"));

    copy.GetItem("A")->GetItem("A1")->SetKey("Changed");
    copy.GetItem("B")->AddItem(new ZelRegistryQuonSet(copy, "New"));
    EXPECT_EQ(ZelChildKeys(*source.GetItem("A")), ZelKeys({"A1"}));
    EXPECT_EQ(source.GetItem("B")->GetCount(), 0);
    EXPECT_FALSE(copy == source);
}

TEST(TreeCopy, AssignmentDestroysTheFormerChildrenAndCopiesTheSources) {
    ZelRegistryQuonSet target;
    target.AddItem(new ZelTrackedNode("X"));
    target.AddItem(new ZelTrackedNode("Y"));
    target.AddItem(new ZelTrackedNode("Z"));
    ZelRegistryQuonSet source;
    source.SetKey("S");
    ZelAddChildren(source, {"A", "B"});

    Assign(target, source);
    EXPECT_EQ(ZelTrackedNode::s_alive, 0);
    EXPECT_EQ(ZelChildKeys(target), ZelKeys({"A", "B"}));
    EXPECT_TRUE(target == source);

    ZelRegistryQuonSet* first = target.GetItem("A");
    Assign(target, target);
    EXPECT_EQ(target.GetItem("A"), first);
    EXPECT_EQ(target.GetCount(), 2);
}

TEST(TreeCopy, ANodeCanBeAssignedFromItsOwnDescendant) {
    ZelRegistryQuonSet root("Software\\Root", FALSE, FALSE);
    root.SetKey("Root");
    ZelAddChildren(root, {"A", "B"});
    ZelRegistryQuonSet& a = *root.GetItem("A");
    a.SetLayoutName("from A");
    ZelAddChildren(a, {"X", "Y"});
    ZelAddChildren(*a.GetItem("X"), {"X1"});

    Assign(root, a);  // a goes with root's former children
    EXPECT_EQ(std::string(root.GetKey()), "A");
    EXPECT_EQ(std::string(root.GetLayoutName()), "from A");
    ASSERT_EQ(ZelChildKeys(root), ZelKeys({"X", "Y"}));
    EXPECT_EQ(ZelChildKeys(*root.GetItem("X")), ZelKeys({"X1"}));
}

TEST(TreeCopy, ChildrenAreCopiedByTheTargetsOwnFactory) {
    TrackedContainer source;
    source.AddItem(new ZelTrackedNode("T1", 5));
    source.AddItem(new ZelTrackedNode("T2", 6));
    source.GetItem("T1")->AddItem(new ZelTrackedNode("Deep", 7));
    ASSERT_EQ(ZelTrackedNode::s_alive, 3);

    // The container's copy constructor makes a default container first, so its own
    // factory copies the children; below them the tracked nodes' (plain) factory copies.
    TrackedContainer copy(source);
    EXPECT_EQ(copy.m_copies, 2);
    auto* t1 = dynamic_cast<ZelTrackedNode*>(copy.GetItem("T1"));
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(t1->m_payload, 5);
    EXPECT_EQ(ClassOf(t1->GetItem("Deep")), "ZelRegistryQuonSet");
    EXPECT_EQ(dynamic_cast<ZelTrackedNode*>(t1->GetItem("Deep")), nullptr);
    EXPECT_EQ(ZelTrackedNode::s_alive, 5);

    // A plain target copies the same children as plain nodes.
    ZelRegistryQuonSet plain;
    Assign(plain, source);
    EXPECT_EQ(dynamic_cast<ZelTrackedNode*>(plain.GetItem("T1")), nullptr);
    EXPECT_EQ(ZelTrackedNode::s_alive, 5);
    EXPECT_TRUE(plain == source);
}

TEST(TreeCopy, ANullCopyIsRefusedAndNothingChanges) {
    TrackedContainer source(ZelRegistryBase("Software\\Source", FALSE, FALSE), "Source");
    source.AddItem(new ZelTrackedNode("T"));
    source.AddItem(new ZelRegistryQuonSet(source, "Plain"));  // not the container's kind

    TrackedContainer target(ZelRegistryBase("Software\\Target", FALSE, FALSE), "Target");
    target.SetLayoutName("kept");
    target.AddItem(new ZelTrackedNode("Old1"));
    target.AddItem(new ZelTrackedNode("Old2"));
    ZelRegistryQuonSet* old1 = target.GetItem("Old1");
    const int alive = ZelTrackedNode::s_alive;

    auto assigned = ZelExpectConverted([&] { Assign(target, source); });
    ASSERT_TRUE(assigned);
    EXPECT_EQ(ZelDescribe(*assigned), kSet + kAssign + " | Catch am Methodenende | 1001");
    ZelPropertyObjectException* imp = ZelObjectCause(*assigned);
    ASSERT_NE(imp, nullptr);
    EXPECT_EQ(ZelDescribe(*imp), kImpAssign);
    EXPECT_EQ(ClassOf(imp->GetCause()), "CInvalidArgException");

    EXPECT_EQ(PathOf(target), "Software\\Target");
    EXPECT_EQ(std::string(target.GetKey()), "Target");
    EXPECT_EQ(std::string(target.GetLayoutName()), "kept");
    EXPECT_EQ(ZelChildKeys(target), ZelKeys({"Old1", "Old2"}));
    EXPECT_EQ(target.GetItem("Old1"), old1);
    EXPECT_EQ(ZelTrackedNode::s_alive, alive) << "the copy of T made before the refusal must go";

    ZelRegistryQuonSet stranger(target, "Old1");
    auto added = ZelExpectConverted([&] { target.AddItem(stranger); });
    ASSERT_TRUE(added);
    EXPECT_EQ(ZelDescribe(*added), kSet + "ZelRegistryQuonSet::AddItem(const ZelRegistryQuonSet& Item) | "
                                          "Catch am Methodenende | 1001");
    EXPECT_EQ(ClassOf(added->GetCause()), "CInvalidArgException");

    // Refused before anything is replaced: Old1 lives on.
    auto replaced = ZelExpectConverted([&] { target.Replace(stranger); });
    ASSERT_TRUE(replaced);
    EXPECT_EQ(ZelDescribe(*replaced), kSet + "Replace(const ZelRegistryQuonSet* pItem) |  | 1001");
    EXPECT_EQ(ClassOf(replaced->GetCause()), "CInvalidArgException");
    EXPECT_EQ(ZelChildKeys(target), ZelKeys({"Old1", "Old2"}));
    EXPECT_EQ(target.GetItem("Old1"), old1);
}

TEST(TreeCopy, AnAssignmentThatFailsHalfwayLeavesTheTargetAsItWas) {
    TrackedContainer source;
    for (const char* key : {"T1", "T2", "T3"}) source.AddItem(new ZelTrackedNode(key));
    TrackedContainer target;
    target.SetKey("Target");
    target.AddItem(new ZelTrackedNode("Old"));
    const int alive = ZelTrackedNode::s_alive;

    target.m_failAt = 2;
    auto e = ZelExpectConverted([&] { Assign(target, source); });
    ASSERT_TRUE(e);
    EXPECT_EQ(ZelDescribe(*e), kSet + kAssign + " | Catch am Methodenende | 1001");
    ZelPropertyObjectException* imp = ZelObjectCause(*e);
    ASSERT_NE(imp, nullptr);
    EXPECT_EQ(ZelDescribe(*imp), kImpAssign);
    EXPECT_EQ(ClassOf(imp->GetCause()), "CMemoryException");

    EXPECT_EQ(std::string(target.GetKey()), "Target");
    EXPECT_EQ(ZelChildKeys(target), ZelKeys({"Old"}));
    EXPECT_EQ(ZelTrackedNode::s_alive, alive);
}

TEST(TreeEquality, ComparesTheFieldsThenTheChildrenInOrder) {
    auto build = [](const char* path) {
        auto node = std::make_unique<ZelRegistryQuonSet>(path, FALSE, FALSE);
        node->SetKey("K");
        node->SetLayoutName("L");
        node->SetObjectID("O");
        ZelAddChildren(*node, {"A", "B"});
        ZelAddChildren(*node->GetItem("B"), {"B1"});
        return node;
    };
    const auto base = build("Software\\One");
    // Locations take no part: only their being intact does.
    EXPECT_TRUE(*build("Software\\Two") == *base);

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
}

TEST(TreeEquality, ChildrenAreComparedAsNodes) {
    ZelRegistryQuonSet one;
    ZelRegistryQuonSet two;
    one.AddItem(new ZelTrackedNode("T", 1));
    two.AddItem(new ZelTrackedNode("T", 2));
    EXPECT_TRUE(one == two);
    two.GetItem("T")->SetLayoutName("differs");
    EXPECT_FALSE(one == two);
}

// Fails each allocation of make() in turn and collects what the constructor with the given
// text reported itself, with the class of the cause, until make() gets through.
template <class Make>
std::vector<std::string> OwnReports(const std::string& method, Make make) {
    std::vector<std::string> reports;
    for (unsigned long n = 1; n < 100; ++n) {
        AfxTestFailAllocation(n);
        try {
            make();
            AfxTestFailAllocation(0);
            return reports;
        } catch (ZelPropertyObjectException* e) {
            ZelCaught<ZelPropertyObjectException> owned(e);
            if (ZelText(e->GetMethodText()) == method)
                reports.push_back(ZelDescribe(*e) + " <- " + ClassOf(e->GetCause()));
        } catch (CException* e) {
            e->Delete();  // the node's own storage: nothing was constructed
        }
    }
    AfxTestFailAllocation(0);
    ADD_FAILURE() << method << " never got through";
    return reports;
}

TEST(TreeMemory, ConstructorsTellMemoryExhaustionApartAndLeakNothing) {
    ZelRegistryBase location("Software\\Location", FALSE, FALSE);
    ZelRegistryQuonSet source(location, "Source");
    ZelAddChildren(source, {"A", "B"});
    using Node = std::unique_ptr<ZelRegistryQuonSet>;
    const std::vector<std::pair<std::string, std::function<void()>>> constructors = {
        {"ZelRegistryQuonSet:: ZelRegistryQuonSet( const CString& szKey)",
         [&] { Node(new ZelRegistryQuonSet(location, "Key")); }},
        {"ZelRegistryQuonSet :: ZelRegistryQuonSet( LPCTSTR, LPCTSTR,... )",
         [&] { Node(new ZelRegistryQuonSet("Ledger", "2.0", ZelRegistryBase::eOptions, "Sub", "R", FALSE, FALSE)); }},
        {"ZelRegistryQuonSet :: ZelRegistryQuonSet( PVOID&, ... )",
         [&] { Node(new ZelRegistryQuonSet("Software\\Path", FALSE, FALSE)); }},
        {"ZelRegistryQuonSet::ZelRegistryQuonSet()", [&] { Node(new ZelRegistryQuonSet()); }},
        {"ZelRegistryQuonSet:: ZelRegistryQuonSet(const ZelRegistryQuonSet & p)",
         [&] { Node(new ZelRegistryQuonSet(source)); }},
    };
    for (const auto& [method, make] : constructors) {
        const std::vector<std::string> reports = OwnReports(method, make);
        // The implementation object itself, then the list inside it, whose constructor has
        // already converted the failure.
        ASSERT_GE(reports.size(), 2u) << method;
        EXPECT_EQ(reports[0], kSet + method + " |  | 1002 <- CMemoryException");
        EXPECT_EQ(reports[1], kSet + method + " |  | 1001 <- ZelPropertyObjectException");
        for (const std::string& report : reports) EXPECT_NE(report.find(" |  | 100"), std::string::npos) << report;
    }
}

TEST(TreeMemory, ChainsNameTheImplementationAndLeaveTheLocationsOwnReport) {
    AfxTestFailAllocation(3);  // location, node state, then the node state's list
    auto list = ZelExpectConverted([] { ZelRegistryQuonSet node; });
    ASSERT_TRUE(list);
    ZelPropertyObjectException* imp = ZelObjectCause(*list);
    ASSERT_NE(imp, nullptr);
    EXPECT_EQ(ZelDescribe(*imp), ".\\Imp\\ZelRegistrySetI | ZelRegistryQuonSet_Imp | "
                                 "ZelRegistryQuonSet_Imp :: ZelRegistryQuonSet_Imp ( ZelRegistrySet * pInt ) | "
                                 "Catch am Methodenende | 1001");
    EXPECT_EQ(ClassOf(imp->GetCause()), "CMemoryException");

    // The location is built before the node's own body runs, so its failure arrives as the
    // location reported it.
    AfxTestFailAllocation(1);
    auto location = ZelExpectConverted([] { ZelRegistryQuonSet node; });
    ASSERT_TRUE(location);
    EXPECT_EQ(ZelDescribe(*location), ".\\ZelRegistryBase | ZelRegistryBase | "
                                      "ZelRegistryBase :: ZelRegistryBase ( VOID ) | Catch am Methodenende | 1001");
}

}  // namespace
