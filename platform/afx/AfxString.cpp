// CString: one counted block per distinct text, shared by copies until one of them writes.
#include "AfxString.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "AfxException.h"

// Block header; the text (nAllocLength characters and a NUL) follows it directly.
struct CString::Data {
    std::atomic<long> nRefs;
    int nDataLength;   // characters of the text, embedded NULs included
    int nAllocLength;  // room for characters, without the terminating NUL

    char* Text() noexcept { return reinterpret_cast<char*>(this + 1); }

    // A new block with room for nAlloc characters, holding the empty text with one reference;
    // throws CMemoryException* when out of memory.
    static Data* Allocate(int nAlloc) {
        void* p = AfxAllocMemory(sizeof(Data) + static_cast<size_t>(nAlloc) + 1);
        Data* pData = new (p) Data{{1}, 0, nAlloc};
        pData->Text()[0] = '\0';
        return pData;
    }

    void SetLength(int nLength) noexcept {
        nDataLength = nLength;
        Text()[nLength] = '\0';
    }

    bool IsShared() const noexcept { return nRefs.load(std::memory_order_acquire) > 1; }
};

namespace {

// Every empty string points here, so that empty strings cost no allocation. It is never
// written: whoever asks for a writable buffer gets a block of its own.
const char g_szEmpty[1] = "";

LPTSTR EmptyText() noexcept { return const_cast<LPTSTR>(g_szEmpty); }

// Rejects a negative length and a null text with a length.
void CheckText(LPCTSTR pch, int nLength) {
    if (nLength < 0 || (pch == nullptr && nLength > 0)) AfxThrowInvalidArgException();
}

// Length of a terminated text (null: empty); longer than a CString can hold is exhaustion.
int TextLength(LPCTSTR psz) {
    if (psz == nullptr) return 0;
    size_t n = std::strlen(psz);
    if (n > INT_MAX) AfxThrowMemoryException();
    return static_cast<int>(n);
}

// a + b as a CString length; a result that cannot be represented cannot be allocated either.
int SumLength(int a, int b) {
    if (b > INT_MAX - a) AfxThrowMemoryException();
    return a + b;
}

bool IsAsciiSpace(char ch) noexcept {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

// Case mapping of ASCII letters only: other bytes belong to the code page and stay as they are.
char AsciiLower(char ch) noexcept {
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

char AsciiUpper(char ch) noexcept {
    return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
}

CString Concat(LPCTSTR pa, int na, LPCTSTR pb, int nb) {
    CString result;
    int nTotal = SumLength(na, nb);
    if (nTotal == 0) return result;
    // A null side has length 0 and is not touched.
    LPTSTR p = result.GetBufferSetLength(nTotal);
    if (na > 0) std::memcpy(p, pa, static_cast<size_t>(na));
    if (nb > 0) std::memcpy(p + na, pb, static_cast<size_t>(nb));
    return result;
}

}  // namespace

CString::Data* CString::GetData() const noexcept {
    return m_pszData == g_szEmpty ? nullptr : reinterpret_cast<Data*>(m_pszData) - 1;
}

void CString::Release() noexcept {
    Data* pData = GetData();
    if (pData != nullptr && pData->nRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        pData->~Data();
        AfxFreeMemory(pData);
    }
    m_pszData = EmptyText();
}

void CString::Attach(Data* pData) noexcept {
    Release();
    m_pszData = pData->Text();
}

// Writes in place when this string owns a block that is big enough; otherwise the text is
// copied into a new block before the old one is released, so pch may point into the old one.
void CString::Assign(LPCTSTR pch, int nLength) {
    CheckText(pch, nLength);
    if (nLength == 0) {
        Release();
        return;
    }
    Data* pData = GetData();
    if (pData != nullptr && !pData->IsShared() && pData->nAllocLength >= nLength) {
        std::memmove(m_pszData, pch, static_cast<size_t>(nLength));
        pData->SetLength(nLength);
        return;
    }
    Data* pNew = Data::Allocate(nLength);
    std::memcpy(pNew->Text(), pch, static_cast<size_t>(nLength));
    pNew->SetLength(nLength);
    Attach(pNew);
}

void CString::PrepareWrite(int nLength) {
    Data* pData = GetData();
    if (pData != nullptr && !pData->IsShared() && pData->nAllocLength >= nLength) return;
    int nOld = GetLength();
    Data* pNew = Data::Allocate(std::max(nLength, nOld));
    std::memcpy(pNew->Text(), m_pszData, static_cast<size_t>(nOld));
    pNew->SetLength(nOld);
    Attach(pNew);
}

CString::CString() noexcept : m_pszData(EmptyText()) {}

CString::CString(const CString& src) noexcept : m_pszData(src.m_pszData) {
    if (Data* pData = GetData()) pData->nRefs.fetch_add(1, std::memory_order_relaxed);
}

CString::CString(LPCTSTR psz) : m_pszData(EmptyText()) { Assign(psz, TextLength(psz)); }

CString::CString(LPCTSTR pch, int nLength) : m_pszData(EmptyText()) { Assign(pch, nLength); }

CString::CString(char ch, int nRepeat) : m_pszData(EmptyText()) {
    if (nRepeat < 0) AfxThrowInvalidArgException();
    if (nRepeat > 0) std::memset(GetBufferSetLength(nRepeat), ch, static_cast<size_t>(nRepeat));
}

CString::~CString() { Release(); }

CString& CString::operator=(const CString& src) noexcept {
    if (src.m_pszData != m_pszData) {
        if (Data* pData = src.GetData()) pData->nRefs.fetch_add(1, std::memory_order_relaxed);
        Release();
        m_pszData = src.m_pszData;
    }
    return *this;
}

CString& CString::operator=(LPCTSTR psz) {
    Assign(psz, TextLength(psz));
    return *this;
}

CString& CString::operator=(char ch) {
    Assign(&ch, 1);
    return *this;
}

int CString::GetLength() const noexcept {
    Data* pData = GetData();
    return pData != nullptr ? pData->nDataLength : 0;
}

BOOL CString::IsEmpty() const noexcept { return GetLength() == 0; }

void CString::Empty() noexcept { Release(); }

char CString::GetAt(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetLength()) AfxThrowInvalidArgException();
    return m_pszData[nIndex];
}

void CString::SetAt(int nIndex, char ch) {
    if (nIndex < 0 || nIndex >= GetLength()) AfxThrowInvalidArgException();
    PrepareWrite(0);
    m_pszData[nIndex] = ch;
}

LPTSTR CString::GetBuffer(int nMinBufLength) {
    if (nMinBufLength < 0) AfxThrowInvalidArgException();
    PrepareWrite(nMinBufLength);
    return m_pszData;
}

LPTSTR CString::GetBuffer() { return GetBuffer(0); }

LPTSTR CString::GetBufferSetLength(int nNewLength) {
    GetBuffer(nNewLength);
    GetData()->SetLength(nNewLength);
    return m_pszData;
}

void CString::ReleaseBuffer(int nNewLength) {
    if (nNewLength < -1) AfxThrowInvalidArgException();
    if (GetData() == nullptr) {
        // No buffer was handed out: only the empty text can be confirmed.
        if (nNewLength > 0) AfxThrowInvalidArgException();
        return;
    }
    PrepareWrite(0);  // never change the length of a block that copies still share
    Data* pData = GetData();
    if (nNewLength == -1) {
        const void* pNul = std::memchr(m_pszData, '\0', static_cast<size_t>(pData->nAllocLength));
        nNewLength = pNul != nullptr ? static_cast<int>(static_cast<LPCTSTR>(pNul) - m_pszData)
                                     : pData->nAllocLength;
    } else if (nNewLength > pData->nAllocLength) {
        AfxThrowInvalidArgException();
    }
    pData->SetLength(nNewLength);
}

// Appends in place when there is room; otherwise builds the new text in a larger block before
// releasing the old one, so that pch may point into this string (s += s).
void CString::Append(LPCTSTR pch, int nLength) {
    CheckText(pch, nLength);
    if (nLength == 0) return;
    int nOld = GetLength();
    int nNew = SumLength(nOld, nLength);
    Data* pData = GetData();
    if (pData != nullptr && !pData->IsShared() && pData->nAllocLength >= nNew) {
        std::memmove(m_pszData + nOld, pch, static_cast<size_t>(nLength));
        pData->SetLength(nNew);
        return;
    }
    // Half as much again, so that appending piecewise stays linear.
    int nAlloc = nNew <= INT_MAX - nNew / 2 ? nNew + nNew / 2 : INT_MAX;
    Data* pNew = Data::Allocate(nAlloc);
    std::memcpy(pNew->Text(), m_pszData, static_cast<size_t>(nOld));
    std::memcpy(pNew->Text() + nOld, pch, static_cast<size_t>(nLength));
    pNew->SetLength(nNew);
    Attach(pNew);
}

CString& CString::operator+=(const CString& str) {
    Append(str.m_pszData, str.GetLength());
    return *this;
}

CString& CString::operator+=(LPCTSTR psz) {
    Append(psz, TextLength(psz));
    return *this;
}

CString& CString::operator+=(char ch) {
    Append(&ch, 1);
    return *this;
}

int CString::Compare(LPCTSTR psz) const noexcept {
    return std::strcmp(m_pszData, psz != nullptr ? psz : g_szEmpty);
}

int CString::CompareNoCase(LPCTSTR psz) const noexcept {
    LPCTSTR a = m_pszData;
    LPCTSTR b = psz != nullptr ? psz : g_szEmpty;
    for (;; ++a, ++b) {
        // Bytes compare unsigned, as strcmp compares them.
        int ca = static_cast<unsigned char>(AsciiLower(*a));
        int cb = static_cast<unsigned char>(AsciiLower(*b));
        if (ca != cb || ca == 0) return ca - cb;
    }
}

int CString::Find(char ch, int nStart) const noexcept {
    int nLength = GetLength();
    if (nStart < 0 || nStart >= nLength) return -1;
    const void* p = std::memchr(m_pszData + nStart, ch, static_cast<size_t>(nLength - nStart));
    return p != nullptr ? static_cast<int>(static_cast<LPCTSTR>(p) - m_pszData) : -1;
}

int CString::Find(LPCTSTR pszSub, int nStart) const noexcept {
    int nLength = GetLength();
    if (pszSub == nullptr || nStart < 0 || nStart > nLength) return -1;
    std::string_view text(m_pszData, static_cast<size_t>(nLength));
    size_t nPos = text.find(pszSub, static_cast<size_t>(nStart));
    return nPos != std::string_view::npos ? static_cast<int>(nPos) : -1;
}

CString CString::Left(int nCount) const { return Mid(0, nCount); }

CString CString::Right(int nCount) const {
    int nLength = GetLength();
    nCount = std::clamp(nCount, 0, nLength);
    return Mid(nLength - nCount, nCount);
}

CString CString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

// Out-of-range positions and counts are clamped to the text rather than rejected.
CString CString::Mid(int nFirst, int nCount) const {
    int nLength = GetLength();
    nFirst = std::clamp(nFirst, 0, nLength);
    nCount = std::clamp(nCount, 0, nLength - nFirst);
    if (nFirst == 0 && nCount == nLength) return *this;
    return CString(m_pszData + nFirst, nCount);
}

CString& CString::MakeUpper() {
    if (IsEmpty()) return *this;
    PrepareWrite(0);
    for (char* p = m_pszData, *pEnd = p + GetLength(); p != pEnd; ++p) *p = AsciiUpper(*p);
    return *this;
}

CString& CString::MakeLower() {
    if (IsEmpty()) return *this;
    PrepareWrite(0);
    for (char* p = m_pszData, *pEnd = p + GetLength(); p != pEnd; ++p) *p = AsciiLower(*p);
    return *this;
}

CString& CString::TrimLeft() {
    int nLength = GetLength();
    int nSkip = 0;
    while (nSkip < nLength && IsAsciiSpace(m_pszData[nSkip])) ++nSkip;
    if (nSkip > 0) Assign(m_pszData + nSkip, nLength - nSkip);
    return *this;
}

CString& CString::TrimRight() {
    int nLength = GetLength();
    int nKeep = nLength;
    while (nKeep > 0 && IsAsciiSpace(m_pszData[nKeep - 1])) --nKeep;
    if (nKeep < nLength) Assign(m_pszData, nKeep);
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

// The text is formatted into a new block, so the arguments may include this string's text.
void CString::Format(LPCTSTR pszFormat, ...) {
    if (pszFormat == nullptr) AfxThrowInvalidArgException();
    va_list args;
    va_start(args, pszFormat);
    int nLength = std::vsnprintf(nullptr, 0, pszFormat, args);
    va_end(args);
    if (nLength < 0) AfxThrowInvalidArgException();  // not representable in the C locale
    if (nLength == 0) {
        Release();
        return;
    }
    Data* pNew = Data::Allocate(nLength);
    va_start(args, pszFormat);
    std::vsnprintf(pNew->Text(), static_cast<size_t>(nLength) + 1, pszFormat, args);
    va_end(args);
    pNew->SetLength(nLength);
    Attach(pNew);
}

CString AFXAPI operator+(const CString& a, const CString& b) {
    return Concat(a, a.GetLength(), b, b.GetLength());
}

CString AFXAPI operator+(const CString& a, LPCTSTR b) {
    return Concat(a, a.GetLength(), b, TextLength(b));
}

CString AFXAPI operator+(LPCTSTR a, const CString& b) {
    return Concat(a, TextLength(a), b, b.GetLength());
}

CString AFXAPI operator+(const CString& a, char b) { return Concat(a, a.GetLength(), &b, 1); }

CString AFXAPI operator+(char a, const CString& b) { return Concat(&a, 1, b, b.GetLength()); }
