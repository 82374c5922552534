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

/// The framework's reference-counted 8-bit string. Copies share one buffer until one of
/// them is changed; a null character pointer counts as the empty text. Running out of memory
/// throws CMemoryException*; a position or length outside the text, where one is checked,
/// throws CInvalidArgException*.
class ZEL_AFX_API CString {
public:
    /// The empty text.
    CString() noexcept;
    /// A copy sharing the buffer of `src`.
    CString(const CString& src) noexcept;
    /// A copy of the text `psz` (null: empty).
    CString(LPCTSTR psz);
    /// A copy of the `nLength` characters at `pch`, NULs included.
    CString(LPCTSTR pch, int nLength);
    /// `nRepeat` times the character `ch`.
    CString(char ch, int nRepeat = 1);
    /// Releases the buffer when no copy shares it.
    ~CString();

    /// Shares the text of `src`.
    /// @return this string.
    CString& operator=(const CString& src) noexcept;
    /// Copies the text `psz` (null: empty).
    /// @return this string.
    CString& operator=(LPCTSTR psz);
    /// Makes the text the one character `ch`.
    /// @return this string.
    CString& operator=(char ch);

    /// @return the length in characters, without the NUL.
    int GetLength() const noexcept;
    /// @return TRUE for the empty text.
    BOOL IsEmpty() const noexcept;
    /// Makes the text empty.
    void Empty() noexcept;
    /// @return the text, terminated; valid until the string changes or goes.
    LPCTSTR GetString() const noexcept { return m_pszData; }
    /// @return the text, as GetString().
    operator LPCTSTR() const noexcept { return m_pszData; }

    /// @return the character at `nIndex`.
    /// @throws CInvalidArgException* for an index outside the text.
    char GetAt(int nIndex) const;
    /// @return the character at `nIndex`, as GetAt().
    char operator[](int nIndex) const { return GetAt(nIndex); }
    /// Replaces the character at `nIndex`.
    /// @throws CInvalidArgException* for an index outside the text.
    void SetAt(int nIndex, char ch);

    /// Direct access to a private, writable buffer of at least `nMinBufLength` characters
    /// plus the terminating NUL, holding the text; ReleaseBuffer() ends it.
    /// @return the buffer.
    LPTSTR GetBuffer(int nMinBufLength);
    /// GetBuffer() with room for the present text.
    /// @return the buffer.
    LPTSTR GetBuffer();
    /// GetBuffer() of `nNewLength` characters, which become the length.
    /// @return the buffer.
    LPTSTR GetBufferSetLength(int nNewLength);
    /// Ends direct access and sets the length: `nNewLength`, or up to the first NUL for -1.
    /// @throws CInvalidArgException* for a length beyond the buffer.
    void ReleaseBuffer(int nNewLength = -1);

    /// Appends the text of `str`.
    /// @return this string.
    CString& operator+=(const CString& str);
    /// Appends the text `psz` (null: nothing).
    /// @return this string.
    CString& operator+=(LPCTSTR psz);
    /// Appends the character `ch`.
    /// @return this string.
    CString& operator+=(char ch);
    /// Appends the `nLength` characters at `pch`, which may lie in this string.
    void Append(LPCTSTR pch, int nLength);

    /// Compares byte by byte, as `strcmp` does.
    /// @return less than, equal to or greater than 0.
    int Compare(LPCTSTR psz) const noexcept;
    /// Compares without regard to the case of ASCII letters.
    /// @return less than, equal to or greater than 0.
    int CompareNoCase(LPCTSTR psz) const noexcept;

    /// @return the position of the first `ch` at or after `nStart`, or -1.
    int Find(char ch, int nStart = 0) const noexcept;
    /// @return the position of the first `pszSub` at or after `nStart`, or -1.
    int Find(LPCTSTR pszSub, int nStart = 0) const noexcept;
    /// @return the first `nCount` characters (fewer when the text is shorter).
    CString Left(int nCount) const;
    /// @return the last `nCount` characters (fewer when the text is shorter).
    CString Right(int nCount) const;
    /// @return the characters from `nFirst` to the end.
    CString Mid(int nFirst) const;
    /// @return `nCount` characters from `nFirst`, clamped to the text.
    CString Mid(int nFirst, int nCount) const;
    /// Maps ASCII letters to upper case; other bytes stay.
    /// @return this string.
    CString& MakeUpper();
    /// Maps ASCII letters to lower case; other bytes stay.
    /// @return this string.
    CString& MakeLower();
    /// Removes leading white space.
    /// @return this string.
    CString& TrimLeft();
    /// Removes trailing white space.
    /// @return this string.
    CString& TrimRight();
    /// Removes leading and trailing white space.
    /// @return this string.
    CString& Trim();

    /// Replaces the text by `pszFormat` formatted as `printf` does; the arguments may
    /// include this string's own text.
    /// @throws CInvalidArgException* for a null format.
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
