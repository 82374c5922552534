// CObList: the framework's doubly linked list of CObject pointers with opaque positions.
#pragma once

#include "AfxCore.h"

struct __POSITION {};
typedef __POSITION* POSITION;

class ZEL_AFX_API CObList : public CObject {
    DECLARE_DYNAMIC(CObList)
public:
    explicit CObList(INT_PTR nBlockSize = 10);
    ~CObList() override;

    INT_PTR GetCount() const noexcept { return m_nCount; }
    INT_PTR GetSize() const noexcept { return m_nCount; }
    BOOL IsEmpty() const noexcept { return m_nCount == 0; }

    // Head and tail access on an empty list throws CInvalidArgException*.
    CObject*& GetHead();
    CObject* GetHead() const;
    CObject*& GetTail();
    CObject* GetTail() const;
    CObject* RemoveHead();
    CObject* RemoveTail();

    POSITION AddHead(CObject* newElement);
    POSITION AddTail(CObject* newElement);
    void AddHead(CObList* pNewList);
    void AddTail(CObList* pNewList);
    void RemoveAll() noexcept;  // unlinks only: the objects are not destroyed

    POSITION GetHeadPosition() const noexcept;
    POSITION GetTailPosition() const noexcept;
    // Return the element at rPosition and move it on; a null position throws
    // CInvalidArgException*. After the last element the position becomes null.
    CObject*& GetNext(POSITION& rPosition);
    CObject* GetNext(POSITION& rPosition) const;
    CObject*& GetPrev(POSITION& rPosition);
    CObject* GetPrev(POSITION& rPosition) const;

    CObject*& GetAt(POSITION position);
    CObject* GetAt(POSITION position) const;
    void SetAt(POSITION pos, CObject* newElement);
    void RemoveAt(POSITION position);

    POSITION InsertBefore(POSITION position, CObject* newElement);
    POSITION InsertAfter(POSITION position, CObject* newElement);

    POSITION Find(CObject* searchValue, POSITION startAfter = nullptr) const;
    POSITION FindIndex(INT_PTR nIndex) const;

private:
    struct CNode;
    struct CBlock;
    // Takes a node from the free list (allocating a block of m_nBlockSize nodes when it is
    // empty) and counts it; throws CMemoryException* with the list unchanged.
    CNode* NewNode(CNode* pPrev, CNode* pNext);
    // Returns an unlinked node to the free list; the blocks go back when the list is empty.
    void FreeNode(CNode* pNode) noexcept;
    static CNode* NodeAt(POSITION position);

    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    INT_PTR m_nCount = 0;
    CNode* m_pNodeFree = nullptr;
    CBlock* m_pBlocks = nullptr;
    INT_PTR m_nBlockSize;
};
