// CObList: nodes come from blocks of m_nBlockSize, recycled through a free list, so that a
// list costs one allocation per block rather than one per element.
#include "AfxList.h"

#include <cstdint>
#include <new>

#include "AfxException.h"

struct CObList::CNode : __POSITION {
    CNode* pNext;
    CNode* pPrev;
    CObject* data;
};

// Block header; m_nBlockSize nodes follow it directly.
struct CObList::CBlock {
    CBlock* pNext;

    CNode* Nodes() noexcept { return reinterpret_cast<CNode*>(this + 1); }
};

IMPLEMENT_DYNAMIC(CObList, CObject)

CObList::CObList(INT_PTR nBlockSize) : m_nBlockSize(nBlockSize) {
    if (nBlockSize <= 0) AfxThrowInvalidArgException();
}

CObList::~CObList() { RemoveAll(); }

CObList::CNode* CObList::NodeAt(POSITION position) {
    if (position == nullptr) AfxThrowInvalidArgException();
    return static_cast<CNode*>(position);
}

CObList::CNode* CObList::NewNode(CNode* pPrev, CNode* pNext) {
    if (m_pNodeFree == nullptr) {
        const size_t nNodes = static_cast<size_t>(m_nBlockSize);
        if (nNodes > (SIZE_MAX - sizeof(CBlock)) / sizeof(CNode)) AfxThrowMemoryException();
        void* p = AfxAllocMemory(sizeof(CBlock) + nNodes * sizeof(CNode));
        CBlock* pBlock = new (p) CBlock{m_pBlocks};
        m_pBlocks = pBlock;
        CNode* pNodes = pBlock->Nodes();
        for (size_t i = nNodes; i-- > 0;) {
            CNode* pNode = new (&pNodes[i]) CNode;
            pNode->pNext = m_pNodeFree;
            m_pNodeFree = pNode;
        }
    }
    CNode* pNode = m_pNodeFree;
    m_pNodeFree = pNode->pNext;
    pNode->pPrev = pPrev;
    pNode->pNext = pNext;
    pNode->data = nullptr;
    ++m_nCount;
    return pNode;
}

void CObList::FreeNode(CNode* pNode) noexcept {
    pNode->pNext = m_pNodeFree;
    m_pNodeFree = pNode;
    if (--m_nCount == 0) RemoveAll();
}

void CObList::RemoveAll() noexcept {
    while (m_pBlocks != nullptr) {
        CBlock* pBlock = m_pBlocks;
        m_pBlocks = pBlock->pNext;
        AfxFreeMemory(pBlock);
    }
    m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
    m_nCount = 0;
}

CObject*& CObList::GetHead() {
    if (m_pNodeHead == nullptr) AfxThrowInvalidArgException();
    return m_pNodeHead->data;
}

CObject* CObList::GetHead() const { return const_cast<CObList*>(this)->GetHead(); }

CObject*& CObList::GetTail() {
    if (m_pNodeTail == nullptr) AfxThrowInvalidArgException();
    return m_pNodeTail->data;
}

CObject* CObList::GetTail() const { return const_cast<CObList*>(this)->GetTail(); }

CObject* CObList::RemoveHead() {
    CObject* pObject = GetHead();
    RemoveAt(m_pNodeHead);
    return pObject;
}

CObject* CObList::RemoveTail() {
    CObject* pObject = GetTail();
    RemoveAt(m_pNodeTail);
    return pObject;
}

POSITION CObList::AddHead(CObject* newElement) {
    CNode* pNode = NewNode(nullptr, m_pNodeHead);
    pNode->data = newElement;
    if (m_pNodeHead != nullptr) {
        m_pNodeHead->pPrev = pNode;
    } else {
        m_pNodeTail = pNode;
    }
    m_pNodeHead = pNode;
    return pNode;
}

POSITION CObList::AddTail(CObject* newElement) {
    CNode* pNode = NewNode(m_pNodeTail, nullptr);
    pNode->data = newElement;
    if (m_pNodeTail != nullptr) {
        m_pNodeTail->pNext = pNode;
    } else {
        m_pNodeHead = pNode;
    }
    m_pNodeTail = pNode;
    return pNode;
}

// Both list forms take a count first, so that a list can be added to itself, and take back
// what they added when they run out of memory halfway.
void CObList::AddHead(CObList* pNewList) {
    if (pNewList == nullptr) AfxThrowInvalidArgException();
    INT_PTR nAdded = 0;
    const INT_PTR nCount = pNewList->m_nCount;
    try {
        for (CNode* p = pNewList->m_pNodeTail; nAdded < nCount; p = p->pPrev, ++nAdded) {
            AddHead(p->data);
        }
    } catch (...) {
        while (nAdded-- > 0) RemoveHead();
        throw;
    }
}

void CObList::AddTail(CObList* pNewList) {
    if (pNewList == nullptr) AfxThrowInvalidArgException();
    INT_PTR nAdded = 0;
    const INT_PTR nCount = pNewList->m_nCount;
    try {
        for (CNode* p = pNewList->m_pNodeHead; nAdded < nCount; p = p->pNext, ++nAdded) {
            AddTail(p->data);
        }
    } catch (...) {
        while (nAdded-- > 0) RemoveTail();
        throw;
    }
}

POSITION CObList::GetHeadPosition() const noexcept { return m_pNodeHead; }

POSITION CObList::GetTailPosition() const noexcept { return m_pNodeTail; }

CObject*& CObList::GetNext(POSITION& rPosition) {
    CNode* pNode = NodeAt(rPosition);
    rPosition = pNode->pNext;
    return pNode->data;
}

CObject* CObList::GetNext(POSITION& rPosition) const {
    return const_cast<CObList*>(this)->GetNext(rPosition);
}

CObject*& CObList::GetPrev(POSITION& rPosition) {
    CNode* pNode = NodeAt(rPosition);
    rPosition = pNode->pPrev;
    return pNode->data;
}

CObject* CObList::GetPrev(POSITION& rPosition) const {
    return const_cast<CObList*>(this)->GetPrev(rPosition);
}

CObject*& CObList::GetAt(POSITION position) { return NodeAt(position)->data; }

CObject* CObList::GetAt(POSITION position) const { return NodeAt(position)->data; }

void CObList::SetAt(POSITION pos, CObject* newElement) { NodeAt(pos)->data = newElement; }

void CObList::RemoveAt(POSITION position) {
    CNode* pNode = NodeAt(position);
    if (pNode == m_pNodeHead) {
        m_pNodeHead = pNode->pNext;
    } else {
        pNode->pPrev->pNext = pNode->pNext;
    }
    if (pNode == m_pNodeTail) {
        m_pNodeTail = pNode->pPrev;
    } else {
        pNode->pNext->pPrev = pNode->pPrev;
    }
    FreeNode(pNode);
}

POSITION CObList::InsertBefore(POSITION position, CObject* newElement) {
    CNode* pOld = NodeAt(position);
    CNode* pNode = NewNode(pOld->pPrev, pOld);
    pNode->data = newElement;
    if (pOld->pPrev != nullptr) {
        pOld->pPrev->pNext = pNode;
    } else {
        m_pNodeHead = pNode;
    }
    pOld->pPrev = pNode;
    return pNode;
}

POSITION CObList::InsertAfter(POSITION position, CObject* newElement) {
    CNode* pOld = NodeAt(position);
    CNode* pNode = NewNode(pOld, pOld->pNext);
    pNode->data = newElement;
    if (pOld->pNext != nullptr) {
        pOld->pNext->pPrev = pNode;
    } else {
        m_pNodeTail = pNode;
    }
    pOld->pNext = pNode;
    return pNode;
}

POSITION CObList::Find(CObject* searchValue, POSITION startAfter) const {
    CNode* pNode = startAfter != nullptr ? NodeAt(startAfter)->pNext : m_pNodeHead;
    while (pNode != nullptr && pNode->data != searchValue) pNode = pNode->pNext;
    return pNode;
}

POSITION CObList::FindIndex(INT_PTR nIndex) const {
    if (nIndex < 0 || nIndex >= m_nCount) return nullptr;
    CNode* pNode = m_pNodeHead;
    while (nIndex-- > 0) pNode = pNode->pNext;
    return pNode;
}
