// CString: the framework's reference-counted 8-bit string. Copies share one buffer until
// one of them is changed; a null character pointer counts as the empty text.
#pragma once

#include "AfxCore.h"

// Lets the compiler check Format's arguments against its format text.
#if defined(__GNUC__) && defined(__MINGW_PRINTF_FORMAT)
#define ZEL_AFX_PRINTF(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#elif defined(__GNUC__)
#define ZEL_AFX_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define ZEL_AFX_PRINTF(fmt, first)
#endif

class ZEL_AFX_API CString {
public:
    CString() noexcept;
    CString(const CString& src) noexcept;
    CString(LPCTSTR psz);
    CString(LPCTSTR pch, int nLength);
    CString(char ch, int nRepeat = 1);
    ~CString();

    CString& operator=(const CString& src) noexcept;
    CString& operator=(LPCTSTR psz);
    CString& operator=(char ch);

    int GetLength() const noexcept;
    BOOL IsEmpty() const noexcept;
    void Empty() noexcept;
    LPCTSTR GetString() const noexcept { return m_pszData; }
    operator LPCTSTR() const noexcept { return m_pszData; }

    char GetAt(int nIndex) const;
    char operator[](int nIndex) const { return GetAt(nIndex); }
    void SetAt(int nIndex, char ch);

    // Direct access to a private, writable buffer of at least nMinBufLength characters plus
    // the terminating NUL; ReleaseBuffer sets the length (-1: up to the first NUL).
    LPTSTR GetBuffer(int nMinBufLength);
    LPTSTR GetBuffer();
    LPTSTR GetBufferSetLength(int nNewLength);
    void ReleaseBuffer(int nNewLength = -1);

    CString& operator+=(const CString& str);
    CString& operator+=(LPCTSTR psz);
    CString& operator+=(char ch);
    void Append(LPCTSTR pch, int nLength);

    int Compare(LPCTSTR psz) const noexcept;
    int CompareNoCase(LPCTSTR psz) const noexcept;

    int Find(char ch, int nStart = 0) const noexcept;
    int Find(LPCTSTR pszSub, int nStart = 0) const noexcept;
    CString Left(int nCount) const;
    CString Right(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString& MakeUpper();
    CString& MakeLower();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim();

    // Counting the hidden object argument, the format text is argument 2.
    void Format(LPCTSTR pszFormat, ...) ZEL_AFX_PRINTF(2, 3);

private:
    struct Data;
    Data* GetData() const noexcept;  // null while the string points at the static empty text
    void Release() noexcept;
    void Attach(Data* pData) noexcept;  // releases the current block and takes over pData
    void Assign(LPCTSTR pch, int nLength);
    void PrepareWrite(int nLength);  // unique block with room for nLength, text kept

    LPTSTR m_pszData;  // points into a shared, counted block, or at a static empty text
};

ZEL_AFX_API CString AFXAPI operator+(const CString& a, const CString& b);
ZEL_AFX_API CString AFXAPI operator+(const CString& a, LPCTSTR b);
ZEL_AFX_API CString AFXAPI operator+(LPCTSTR a, const CString& b);
ZEL_AFX_API CString AFXAPI operator+(const CString& a, char b);
ZEL_AFX_API CString AFXAPI operator+(char a, const CString& b);

inline bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
inline bool operator==(const CString& a, LPCTSTR b) { return a.Compare(b) == 0; }
inline bool operator==(LPCTSTR a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return a.Compare(b) != 0; }
inline bool operator!=(const CString& a, LPCTSTR b) { return a.Compare(b) != 0; }
inline bool operator!=(LPCTSTR a, const CString& b) { return b.Compare(a) != 0; }
inline bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
inline bool operator<(const CString& a, LPCTSTR b) { return a.Compare(b) < 0; }
inline bool operator<(LPCTSTR a, const CString& b) { return b.Compare(a) > 0; }
inline bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }
inline bool operator>(const CString& a, LPCTSTR b) { return a.Compare(b) > 0; }
inline bool operator>(LPCTSTR a, const CString& b) { return b.Compare(a) < 0; }
inline bool operator<=(const CString& a, const CString& b) { return a.Compare(b) <= 0; }
inline bool operator<=(const CString& a, LPCTSTR b) { return a.Compare(b) <= 0; }
inline bool operator<=(LPCTSTR a, const CString& b) { return b.Compare(a) >= 0; }
inline bool operator>=(const CString& a, const CString& b) { return a.Compare(b) >= 0; }
inline bool operator>=(const CString& a, LPCTSTR b) { return a.Compare(b) >= 0; }
inline bool operator>=(LPCTSTR a, const CString& b) { return b.Compare(a) <= 0; }
