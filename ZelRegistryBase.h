// A registry location: the place in the registry under which an object's keys and values
// live, composed from component-level parameters or given as a free path.
#pragma once

#include "frame/ZelPlatform.h"

class ZelRegistryBase_Imp;

/// A registry location, with the key and value primitives and the profile accessors that
/// reach the registry there.
///
/// A location is composed from a component, a version and a standard sub-key,
/// `Software\Quellmar\Components\<component>\Versions\<version>\<sub-key>[\<sub-path>]`, or
/// it is a free path. Wherever the object resolves a name against its location itself (a
/// null key handle), the path lies below HKEY_CURRENT_USER, also when `bLocalMachine` is set:
/// that flag changes GetAppRegistryKey() alone.
///
/// The constructors, Create() and assignment throw ZelPropertyObjectException* on failure
/// (conversion number 1001). The primitives, the key-opening operations and the profile
/// accessors convert nothing: they report through their results (a status, FALSE, a null
/// handle, the default), and only memory exhaustion leaves them, as CMemoryException*.
///
/// An object is used by one thread at a time; it keeps no key handle between calls.
class ZEL_OFSET_API ZelRegistryBase : public CObject {
    DECLARE_DYNAMIC(ZelRegistryBase)
public:
    /// The standard sub-key that ends a composed path. Any other value selects
    /// "AdditionalInfos".
    enum eSubKey : int32_t {
        eOptions = 0,          ///< "Options"
        eProperties = 1,       ///< "Properties"
        eAdditionalInfos = 2,  ///< "AdditionalInfos", also for any value not listed here
        eSettings = 3,         ///< "Settings"
    };

    /// An empty location in the free-path form.
    /// @throws ZelPropertyObjectException* when the object cannot be made.
    ZelRegistryBase();
    /// A composed location, as the long Create() sets it.
    /// @throws ZelPropertyObjectException* when the object cannot be made.
    ZelRegistryBase(LPCTSTR pszComponent, LPCTSTR pszVersion, eSubKey eKey, LPCTSTR pszSubPath,
                    LPCTSTR pszReserved, BOOL bReadOnly, BOOL bLocalMachine);
    /// A free-path location, `pszPath` relative to HKEY_CURRENT_USER.
    /// @throws ZelPropertyObjectException* when the object cannot be made.
    ZelRegistryBase(LPCTSTR pszPath, BOOL bReadOnly, BOOL bLocalMachine);
    /// A copy of the location of `src`: its path, its form and both flags.
    /// @throws ZelPropertyObjectException* when the object cannot be made.
    ZelRegistryBase(const ZelRegistryBase& src);
    /// Releases the location; no registry key is touched.
    ~ZelRegistryBase() override;

    /// Makes this a composed location:
    /// `Software\Quellmar\Components\<component>\Versions\<version>\<sub-key>[\<sub-path>]`.
    ///
    /// No text is checked; a backslash inside one spans several keys. `pszReserved` is kept
    /// and copied, and read by nothing. With `bReadOnly` no value is set and no key created
    /// or opened through CreateKey(), which includes every section accessor: such a location
    /// cannot even read by section, only through keys opened with OpenKey(). Deleting stays
    /// possible. `bLocalMachine` makes GetAppRegistryKey() open HKEY_LOCAL_MACHINE and changes
    /// nothing else.
    /// @throws ZelPropertyObjectException* when it fails; the object then has no location
    ///         left (an empty path, and CreateKey() answers 232).
    void Create(LPCTSTR pszComponent, LPCTSTR pszVersion, eSubKey eKey, LPCTSTR pszSubPath,
                LPCTSTR pszReserved, BOOL bReadOnly, BOOL bLocalMachine);
    /// Sets the path text and both flags; the form stays as it is.
    ///
    /// On a composed location `pszPath` replaces the component name, so the path becomes
    /// `Software\Quellmar\Components\<pszPath>\...`.
    /// @throws ZelPropertyObjectException* when it fails.
    void Create(LPCTSTR pszPath, BOOL bReadOnly, BOOL bLocalMachine);

    /// The location's path, relative to the root key, as names given with a null key handle
    /// are joined to it.
    /// @return the path; empty for an empty location.
    /// @throws CMemoryException* when memory runs out.
    CString GetRegistryPath() const;

    /// Copies the location of `src`: its path, its form and both flags.
    /// @return this object.
    /// @throws ZelPropertyObjectException* when it fails.
    const ZelRegistryBase& operator=(const ZelRegistryBase& src);
    /// Tells whether both objects are intact: the locations themselves are not compared, so
    /// any two locations compare equal.
    /// @return TRUE when both objects are intact.
    BOOL operator==(const ZelRegistryBase& other) const;

    /// @name Key and value primitives
    /// Every registry access of the library goes through these virtual slots, and they call
    /// one another through them too, so an override changes everything built on them. A name
    /// given with a null key handle is joined to the location's path below
    /// HKEY_CURRENT_USER; for a value name that means a value of HKEY_CURRENT_USER itself
    /// named `<path>\<name>`. One backslash at either end of a name is dropped. They report
    /// through their results and throw only CMemoryException*, when memory runs out.
    ///@{

    /// Does nothing; an override point that the library never calls.
    virtual void Close();
    /// Closes `hKey` (through CloseKey()) unless it is null, then sets it to
    /// HKEY_LOCAL_MACHINE when `bLocalMachine` is set, otherwise to HKEY_CURRENT_USER.
    virtual void ResetHandle(HKEY& hKey, BOOL bLocalMachine);
    /// The number of sub-keys of the open key `hKey` and the length of the longest sub-key
    /// name; either pointer may be null. A null `hKey` is not resolved.
    /// @return the registry's status, 0 on success.
    virtual LONG QueryInfoKey(HKEY hKey, UINT* pnSubKeys, UINT* pnMaxSubKeyLen);
    /// Tells whether the key `pszKey` below `hKey` exists and can be opened for reading.
    /// Creates nothing and leaves `hKey` alone.
    /// @return TRUE when it opens; FALSE for an empty name or a missing key.
    virtual BOOL VerifyKey(HKEY hKey, LPCTSTR pszKey);
    /// Reads the value `pszValue` of `hKey`, as RegQueryValueExA does: a null `pData` asks
    /// for the size alone.
    /// @return the registry's status; 232 for an empty name, without asking the registry.
    virtual LONG QueryValue(HKEY hKey, LPCTSTR pszValue, DWORD* pdwType, BYTE* pData, DWORD* pcbData);
    /// Opens the key `pszKey` below `hKey`, creating it and every missing key above it.
    /// On success `hKey` holds the new handle, which the caller closes with CloseKey(); the
    /// key it held before is not closed. On failure `hKey` is left as it was.
    /// @return the registry's status; 5 on a write-protected location, 232 for an empty name
    ///         or an object without a location.
    virtual LONG CreateKey(HKEY& hKey, LPCTSTR pszKey, LPTSTR pszClass, DWORD dwOptions,
                           REGSAM samDesired, LPSECURITY_ATTRIBUTES pSecurity, DWORD* pdwDisposition);
    /// The full CreateKey() with no class, default options and no security attributes.
    /// @return TRUE on success.
    virtual BOOL CreateKey(HKEY& hKey, LPCTSTR pszKey, DWORD samDesired);
    /// The name of the sub-key at `nIndex` of the open key `hKey`, into the caller's buffer
    /// of `cchName` characters. `hKey` is neither resolved nor changed.
    /// @return the registry's status; ERROR_NO_MORE_ITEMS past the last sub-key.
    virtual LONG EnumKey(HKEY& hKey, UINT nIndex, LPTSTR pszName, DWORD cchName);
    /// Opens the existing key `pszKey` below `hKey` (null: below the location), also on a
    /// write-protected location. With a non-null `hKey` and an empty name it opens that key
    /// again. On success `hKey` holds the new handle, which the caller closes with
    /// CloseKey(); the key it held before is not closed. On failure `hKey` is left as it was.
    /// @return the registry's status.
    virtual LONG OpenKey(HKEY& hKey, LPCTSTR pszKey, DWORD samDesired);
    /// Closes `hKey` and sets it to null; a null handle is left alone.
    virtual void CloseKey(HKEY& hKey);
    /// Sets the value `pszValue` of `hKey`; an empty name sets the key's unnamed value.
    /// @return the registry's status; 5 on a write-protected location; 0, writing nothing,
    ///         for an object without a location.
    virtual LONG SetValue(HKEY hKey, LPCTSTR pszValue, DWORD dwType, const BYTE* pData, DWORD cbData);
    /// Deletes the value `pszValue` of `hKey`, also on a write-protected location.
    /// @return the registry's status.
    virtual LONG DeleteValue(HKEY hKey, LPCTSTR pszValue);
    /// Deletes the key `pszKey` below `hKey` with every key and value below it, whatever
    /// `bRecursive` says, also on a write-protected location. An empty name deletes nothing.
    /// @return the registry's status; 232 when the key does not exist.
    virtual LONG DeleteKey(HKEY hKey, LPCTSTR pszKey, BOOL bRecursive);

    ///@}

    /// @name Key-opening operations
    /// The caller closes what they return with CloseKey(). They throw only
    /// CMemoryException*, when memory runs out.
    ///@{

    /// Opens the root key itself for reading and writing: HKEY_LOCAL_MACHINE for a location
    /// made with `bLocalMachine`, otherwise HKEY_CURRENT_USER. The path takes no part.
    /// @return a new handle, or null on failure.
    HKEY GetAppRegistryKey();
    /// Opens the section `pszSection` below `hKey` (null: below the location): with
    /// `bCreate` for reading and writing, created with every missing key above it; without,
    /// for reading, only when it exists. It opens through CreateKey(), so a write-protected
    /// location gets null even for reading.
    /// @return a new handle, or null on failure.
    HKEY GetSectionKey(HKEY hKey, LPCTSTR pszSection, BOOL bCreate);
    /// GetSectionKey() below the location.
    /// @return a new handle, or null on failure.
    HKEY GetSectionKey(LPCTSTR pszSection, BOOL bCreate);

    ///@}

    /// @name Profile accessors on an open section key
    /// They read and write the entry `pszEntry` of the section key `hSection`, which they
    /// neither close nor change. The reads do not look at the stored type: an integer read
    /// takes any data of up to four bytes (the string "12", stored as 31 32 00, reads as
    /// 12849), a string read any data up to its first NUL. They report through their results
    /// and throw only CMemoryException*, when memory runs out.
    ///@{

    /// Reads an integer: data of up to four bytes, first byte lowest.
    /// @return the number, or `nDefault` when the entry is missing, holds more than four
    ///         bytes, its name is empty or `hSection` is null.
    UINT GetProfileIntA(HKEY hSection, LPCTSTR pszEntry, int nDefault);
    /// Reads a string: the data up to its first NUL.
    /// @return the text, or `pszDefault` (null: empty) when the entry is missing or its name
    ///         is empty.
    CString GetProfileStringA(HKEY hSection, LPCTSTR pszEntry, LPCTSTR pszDefault);
    /// Reads a byte block into a new array that the caller releases with `delete[]`, also
    /// when it holds no bytes.
    /// @return TRUE with `*ppData` and `*pBytes` set; FALSE with `*ppData` null, nothing to
    ///         release.
    BOOL GetProfileBinary(HKEY hSection, LPCTSTR pszEntry, BYTE** ppData, UINT* pBytes);
    /// Writes an integer as REG_DWORD; an empty name writes the key's unnamed value. A null
    /// `hSection` writes a value of HKEY_CURRENT_USER itself named `<path>\<entry>`.
    /// @return TRUE on success; FALSE on a write-protected location.
    BOOL WriteProfileInt(HKEY hSection, LPCTSTR pszEntry, int nValue);
    /// Writes a string as REG_SZ with its NUL; an empty name writes the key's unnamed
    /// value. A null `pszValue` deletes the entry instead.
    /// @return TRUE on success (for a deletion: when the entry existed); FALSE on a
    ///         write-protected location or for a null `hSection`.
    BOOL WriteProfileStringA(HKEY hSection, LPCTSTR pszEntry, LPCTSTR pszValue);
    /// Writes `nBytes` bytes as REG_BINARY; an empty name writes the key's unnamed value.
    /// @return TRUE on success; FALSE on a write-protected location or for a null `hSection`.
    BOOL WriteProfileBinary(HKEY hSection, LPCTSTR pszEntry, LPBYTE pData, UINT nBytes);

    ///@}

    /// @name Profile accessors on a section below the location
    /// The section is a key below the location's path in HKEY_CURRENT_USER. Reading never
    /// creates it; writing creates it with every missing key above it. Every one of them
    /// opens the section through CreateKey(), so on a write-protected location the reads
    /// return their defaults and the writes FALSE. The reads do not look at the stored type,
    /// as those on an open key. They throw only CMemoryException*, when memory runs out.
    ///@{

    /// Reads an integer: data of up to four bytes, first byte lowest.
    /// @return the number, or `nDefault` when the section or entry is missing or the data
    ///         holds more than four bytes.
    UINT GetProfileIntA(LPCTSTR pszSection, LPCTSTR pszEntry, int nDefault);
    /// Reads a string: the data up to its first NUL.
    /// @return the text, or `pszDefault` (null: empty) when the section or entry is missing.
    CString GetProfileStringA(LPCTSTR pszSection, LPCTSTR pszEntry, LPCTSTR pszDefault);
    /// Reads a byte block into a new array that the caller releases with `delete[]`, also
    /// when it holds no bytes.
    /// @return TRUE with `*ppData` and `*pBytes` set; FALSE with `*ppData` null, nothing to
    ///         release.
    BOOL GetProfileBinary(LPCTSTR pszSection, LPCTSTR pszEntry, BYTE** ppData, UINT* pBytes);
    /// Writes an integer as REG_DWORD.
    /// @return TRUE on success.
    BOOL WriteProfileInt(LPCTSTR pszSection, LPCTSTR pszEntry, int nValue);
    /// Writes a string as REG_SZ with its NUL. A null `pszValue` deletes the entry; a null
    /// `pszEntry` deletes the whole section with everything below it.
    ///
    /// A section is deleted only when the application key (GetAppRegistryKey()) opens, so a
    /// local-machine location whose user may not write HKEY_LOCAL_MACHINE deletes nothing;
    /// a location without a path, or a section name made of backslashes alone, is refused.
    /// @return TRUE on success (for a deletion: when there was something to delete).
    BOOL WriteProfileStringA(LPCTSTR pszSection, LPCTSTR pszEntry, LPCTSTR pszValue);
    /// Writes `nBytes` bytes as REG_BINARY.
    /// @return TRUE on success.
    BOOL WriteProfileBinary(LPCTSTR pszSection, LPCTSTR pszEntry, LPBYTE pData, UINT nBytes);

    ///@}

    /// The framework's recent-file list is not kept in the registry by this class.
    /// @return null, always.
    CRecentFileList* LoadStdProfileSettings(UINT nMaxMRU);
    /// Does nothing: the list and the pointer are left alone.
    void SaveStdProfileSettings(CRecentFileList*& pRecentFileList);

private:
    CString BuildProfileString() const;
    BOOL NormalizeParams(HKEY& hKey, CString& strName);
    void DropImp() noexcept;

    ZelRegistryBase_Imp* m_pImp;
};
