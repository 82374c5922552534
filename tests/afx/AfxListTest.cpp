// CObList: walking, insertion and removal, bad positions, and running out of memory.
#include <functional>
#include <iterator>
#include <string>
#include <utility>

#include "AfxTestSupport.h"

namespace {

// An element; the list only stores the pointer.
struct CItem : CObject {
    explicit CItem(int n) : m_n(n) {}
    int m_n;
};

// "count:head to tail/tail to head", e.g. "2:12/21": every link is followed both ways.
std::string Walk(const CObList& list) {
    auto digit = [](const CObject* p) { return static_cast<char>('0' + static_cast<const CItem*>(p)->m_n); };
    std::string text = std::to_string(list.GetCount()) + ":";
    for (POSITION pos = list.GetHeadPosition(); pos;) text += digit(list.GetNext(pos));
    text += '/';
    for (POSITION pos = list.GetTailPosition(); pos;) text += digit(list.GetPrev(pos));
    return text;
}

class AfxObList : public AfxHeapGuard {};

TEST_F(AfxObList, WalksInsertsAndRemovesInOrder) {
    CItem i1(1), i2(2), i3(3), i4(4), i5(5);
    CObList list(2);  // small blocks: the nodes come from several
    list.AddTail(&i2);
    POSITION p3 = list.AddTail(&i3);
    list.AddHead(&i1);
    list.InsertBefore(p3, &i4);
    list.InsertAfter(p3, &i5);
    list.InsertBefore(list.GetHeadPosition(), &i5);
    list.InsertAfter(list.GetTailPosition(), &i4);
    EXPECT_EQ("7:5124354/4534215", Walk(list));
    EXPECT_EQ(list.FindIndex(3), list.Find(&i4));
    EXPECT_EQ(list.GetTailPosition(), list.Find(&i4, list.Find(&i4)));
    EXPECT_EQ(nullptr, list.FindIndex(7));
    EXPECT_EQ(nullptr, list.Find(&i1, list.Find(&i1)));
    list.RemoveAt(p3);
    list.RemoveAt(list.GetHeadPosition());
    list.RemoveAt(list.GetTailPosition());
    EXPECT_EQ("4:1245/5421", Walk(list));
    EXPECT_EQ(&i1, list.RemoveHead());
    EXPECT_EQ(&i5, list.RemoveTail());
    list.GetHead() = &i3;
    list.SetAt(list.GetTailPosition(), &i1);
    EXPECT_EQ("2:31/13", Walk(list));
    list.RemoveHead();
    list.RemoveHead();
    EXPECT_EQ("0:/", Walk(list));
    list.AddTail(&i1);  // blocks come back after the list emptied
    list.AddTail(&i2);
    CObList other;
    other.AddTail(&list);
    other.AddHead(&list);
    other.AddTail(&other);  // onto itself: doubles once
    EXPECT_EQ("8:12121212/21212121", Walk(other));
    other.RemoveAll();  // unlinks only: the elements on the stack must survive
    EXPECT_EQ("0:/", Walk(other));
    EXPECT_EQ("2:12/21", Walk(list));
}

TEST_F(AfxObList, NullPositionsEmptyListsAndEmptyBlocksThrowInvalidArg) {
    CObList list;
    const CObList& constList = list;
    CItem item(1);
    POSITION none = nullptr;
    const std::function<void()> calls[] = {
        [&] { list.GetNext(none); }, [&] { constList.GetNext(none); }, [&] { list.GetPrev(none); },
        [&] { constList.GetPrev(none); }, [&] { list.GetAt(none); }, [&] { constList.GetAt(none); },
        [&] { list.SetAt(none, &item); }, [&] { list.RemoveAt(none); }, [&] { list.InsertBefore(none, &item); },
        [&] { list.InsertAfter(none, &item); }, [&] { list.GetHead(); }, [&] { constList.GetTail(); },
        [&] { list.RemoveHead(); }, [&] { list.RemoveTail(); }, [&] { list.AddTail(static_cast<CObList*>(nullptr)); },
        [] { CObList bad(0); }};
    for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ("CInvalidArgException", AfxThrown(calls[i])) << i;
    EXPECT_EQ("0:/", Walk(list));
}

TEST_F(AfxObList, AdditionsThatRunOutOfMemoryLeaveTheListUnchanged) {
    CItem a(1), b(2), c(3);
    CObList fresh, more;
    EXPECT_TRUE(AfxFailsWithoutMemory([&] { fresh.AddHead(&a); }));
    EXPECT_EQ("0:/", Walk(fresh));
    for (int i = 0; i < 3; ++i) more.AddTail(&c);
    const std::pair<std::function<void(CObList&)>, const char*> additions[] = {
        {[&](CObList& l) { l.AddTail(&c); }, "3:123/321"},
        {[&](CObList& l) { l.InsertBefore(l.GetTailPosition(), &c); }, "3:132/231"},
        {[&](CObList& l) { l.AddTail(&more); }, "5:12333/33321"},
        {[&](CObList& l) { l.AddHead(&more); }, "5:33312/21333"}};
    for (const auto& [add, pszAfter] : additions) {
        CObList list(1);  // one node per block: every node added allocates
        list.AddTail(&a);
        list.AddTail(&b);
        int nFailures = 0;
        for (unsigned long nth = 1;; ++nth) {  // wherever it runs out, what was added is taken back
            AfxTestFailAllocation(nth);
            const std::string thrown = AfxThrown([&] { add(list); });
            if (thrown.empty()) break;
            ++nFailures;
            EXPECT_EQ("CMemoryException", thrown);
            EXPECT_EQ("2:12/21", Walk(list)) << pszAfter;
        }
        AfxTestFailAllocation(0);
        EXPECT_GE(nFailures, list.GetCount() > 3 ? 2 : 1);  // whole lists fail halfway too
        EXPECT_EQ(pszAfter, Walk(list));
    }
}

}  // namespace
