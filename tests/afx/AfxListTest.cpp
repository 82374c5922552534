// CObList: walking, insertion and removal, bad positions, and running out of memory.
#include <string>

#include "AfxTestSupport.h"

namespace {

// An element; the list only stores the pointer.
class CItem : public CObject {
public:
    explicit CItem(int n) : m_n(n) {}
    int m_n;
};

std::string Forward(const CObList& list) {
    std::string text;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        text += std::to_string(static_cast<const CItem*>(list.GetNext(pos))->m_n);
    }
    return text;
}

std::string Backward(const CObList& list) {
    std::string text;
    for (POSITION pos = list.GetTailPosition(); pos != nullptr;) {
        text += std::to_string(static_cast<const CItem*>(list.GetPrev(pos))->m_n);
    }
    return text;
}

class AfxObList : public AfxHeapGuard {};

TEST_F(AfxObList, WalksInsertsAndRemovesInOrder) {
    CItem i1(1), i2(2), i3(3), i4(4), i5(5);
    CObList list(2);  // small blocks: the nodes come from several
    list.AddTail(&i2);
    POSITION p3 = list.AddTail(&i3);
    list.AddHead(&i1);
    EXPECT_EQ("123", Forward(list));
    EXPECT_EQ("321", Backward(list));
    list.InsertBefore(p3, &i4);
    list.InsertAfter(p3, &i5);
    list.InsertBefore(list.GetHeadPosition(), &i5);
    list.InsertAfter(list.GetTailPosition(), &i4);
    EXPECT_EQ("5124354", Forward(list));
    EXPECT_EQ("4534215", Backward(list));
    EXPECT_EQ(7, list.GetCount());
    EXPECT_EQ(list.FindIndex(3), list.Find(&i4));
    EXPECT_EQ(list.GetTailPosition(), list.Find(&i4, list.Find(&i4)));
    EXPECT_EQ(nullptr, list.FindIndex(7));
    EXPECT_EQ(nullptr, list.Find(&i1, list.Find(&i1)));

    list.RemoveAt(p3);
    list.RemoveAt(list.GetHeadPosition());
    list.RemoveAt(list.GetTailPosition());
    EXPECT_EQ("1245", Forward(list));
    EXPECT_EQ("5421", Backward(list));
    EXPECT_EQ(&i1, list.RemoveHead());
    EXPECT_EQ(&i5, list.RemoveTail());
    list.GetHead() = &i3;
    list.SetAt(list.GetTailPosition(), &i1);
    EXPECT_EQ("31", Forward(list));
    list.RemoveHead();
    list.RemoveHead();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(nullptr, list.GetHeadPosition());
    EXPECT_EQ(nullptr, list.GetTailPosition());

    list.AddTail(&i1);  // blocks come back after the list emptied
    list.AddTail(&i2);
    CObList other;
    other.AddTail(&list);
    other.AddHead(&list);
    other.AddTail(&other);  // onto itself: doubles once
    EXPECT_EQ("12121212", Forward(other));
    EXPECT_EQ("21212121", Backward(other));
    other.RemoveAll();  // unlinks only: the stack elements must survive
    EXPECT_TRUE(other.IsEmpty());
    EXPECT_EQ("12", Forward(list));
}

TEST_F(AfxObList, NullPositionsAndEmptyListsThrowInvalidArg) {
    CObList list;
    const CObList& constList = list;
    CItem item(1);
    POSITION none = nullptr;
    const char* const kInvalid = "CInvalidArgException";
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.GetNext(none); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { constList.GetNext(none); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.GetPrev(none); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { constList.GetPrev(none); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.GetAt(none); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { constList.GetAt(none); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.SetAt(none, &item); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.RemoveAt(none); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.InsertBefore(none, &item); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.InsertAfter(none, &item); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.GetHead(); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { constList.GetTail(); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.RemoveHead(); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.RemoveTail(); }));
    EXPECT_EQ(kInvalid, AfxThrown([&] { list.AddTail(static_cast<CObList*>(nullptr)); }));
    EXPECT_EQ(kInvalid, AfxThrown([] { CObList bad(0); }));
    EXPECT_TRUE(list.IsEmpty());

    // Walking past the last element ends in a null position, which then fails as the
    // framework's own class, caught by its type across the library boundary.
    POSITION pos = list.AddTail(&item);
    list.GetNext(pos);
    EXPECT_EQ(nullptr, pos);
    bool caught = false;
    try {
        list.GetNext(pos);
    } catch (CInvalidArgException* e) {
        caught = true;
        e->Delete();
    }
    EXPECT_TRUE(caught);
}

TEST_F(AfxObList, AdditionsThatRunOutOfMemoryLeaveTheListUnchanged) {
    CItem a(1), b(2), c(3);
    CObList list(1);  // one node per block: every addition allocates
    list.AddTail(&a);
    list.AddTail(&b);
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([&] { list.AddTail(&c); }));
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([&] { list.InsertBefore(list.GetTailPosition(), &c); }));
    EXPECT_EQ("12", Forward(list));
    EXPECT_EQ("21", Backward(list));

    list.AddTail(&c);
    EXPECT_EQ("123", Forward(list));
    CObList fresh;
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([&] { fresh.AddHead(&a); }));
    EXPECT_TRUE(fresh.IsEmpty());
    EXPECT_EQ(nullptr, fresh.GetHeadPosition());

    // Whole lists: wherever the allocations run out, what was added so far is taken back.
    CObList more;
    for (int i = 0; i < 3; ++i) more.AddTail(&c);
    for (bool bAtHead : {false, true}) {
        CObList target(1);
        target.AddTail(&a);
        target.AddTail(&b);
        int nFailures = 0;
        for (unsigned long nth = 1;; ++nth) {
            AfxTestFailAllocation(nth);
            auto add = [&] { bAtHead ? target.AddHead(&more) : target.AddTail(&more); };
            if (AfxThrown(add).empty()) break;
            ++nFailures;
            EXPECT_EQ(2, target.GetCount());
            EXPECT_EQ("12", Forward(target));
            EXPECT_EQ("21", Backward(target));
        }
        AfxTestFailAllocation(0);
        EXPECT_GE(nFailures, 2);  // one of them halfway
        EXPECT_EQ(bAtHead ? "33312" : "12333", Forward(target));
    }
}

}  // namespace
