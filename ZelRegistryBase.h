// A registry location: the place in the registry under which an object's keys and values
// live, composed from component-level parameters or given as a free path.
#pragma once

#include "frame/ZelPlatform.h"

class ZelRegistryBase_Imp;

class ZEL_OFSET_API ZelRegistryBase : public CObject {
    DECLARE_DYNAMIC(ZelRegistryBase)
public:
    // Standard sub-keys of a composed location. Any other value selects "AdditionalInfos".
    enum eSubKey : int32_t {
        eOptions = 0,
        eProperties = 1,
        eAdditionalInfos = 2,
        eSettings = 3,
    };

    ZelRegistryBase();
    ZelRegistryBase(LPCTSTR pszComponent, LPCTSTR pszVersion, eSubKey eKey, LPCTSTR pszSubPath,
                    LPCTSTR pszReserved, BOOL bReadOnly, BOOL bLocalMachine);
    ZelRegistryBase(LPCTSTR pszPath, BOOL bReadOnly, BOOL bLocalMachine);
    ZelRegistryBase(const ZelRegistryBase& src);
    ~ZelRegistryBase() override;

    // Composed form: Software\Quellmar\Components\<component>\Versions\<version>\<sub-key>[\<sub-path>].
    void Create(LPCTSTR pszComponent, LPCTSTR pszVersion, eSubKey eKey, LPCTSTR pszSubPath,
                LPCTSTR pszReserved, BOOL bReadOnly, BOOL bLocalMachine);
    // Sets the path text and the flags; the form stays as it is.
    void Create(LPCTSTR pszPath, BOOL bReadOnly, BOOL bLocalMachine);

    CString GetRegistryPath() const;

    const ZelRegistryBase& operator=(const ZelRegistryBase& src);
    // TRUE when both objects are intact; the locations themselves are not compared.
    BOOL operator==(const ZelRegistryBase& other) const;

    // Key and value primitives: the only way the library reaches the registry. They call one
    // another through these virtual slots, so an override changes everything built on them.
    // A null key handle given with a name stands for this object's location under
    // HKEY_CURRENT_USER.
    virtual void Close();
    virtual void ResetHandle(HKEY& hKey, BOOL bLocalMachine);
    virtual LONG QueryInfoKey(HKEY hKey, UINT* pnSubKeys, UINT* pnMaxSubKeyLen);
    virtual BOOL VerifyKey(HKEY hKey, LPCTSTR pszKey);
    virtual LONG QueryValue(HKEY hKey, LPCTSTR pszValue, DWORD* pdwType, BYTE* pData, DWORD* pcbData);
    virtual LONG CreateKey(HKEY& hKey, LPCTSTR pszKey, LPTSTR pszClass, DWORD dwOptions,
                           REGSAM samDesired, LPSECURITY_ATTRIBUTES pSecurity, DWORD* pdwDisposition);
    virtual BOOL CreateKey(HKEY& hKey, LPCTSTR pszKey, DWORD samDesired);
    virtual LONG EnumKey(HKEY& hKey, UINT nIndex, LPTSTR pszName, DWORD cchName);
    virtual LONG OpenKey(HKEY& hKey, LPCTSTR pszKey, DWORD samDesired);
    virtual void CloseKey(HKEY& hKey);
    virtual LONG SetValue(HKEY hKey, LPCTSTR pszValue, DWORD dwType, const BYTE* pData, DWORD cbData);
    virtual LONG DeleteValue(HKEY hKey, LPCTSTR pszValue);
    virtual LONG DeleteKey(HKEY hKey, LPCTSTR pszKey, BOOL bRecursive);

    // Key-opening operations; the caller closes what they return with CloseKey.
    HKEY GetAppRegistryKey();
    HKEY GetSectionKey(HKEY hKey, LPCTSTR pszSection, BOOL bCreate);
    HKEY GetSectionKey(LPCTSTR pszSection, BOOL bCreate);

    // Profile accessors on an open section key.
    UINT GetProfileIntA(HKEY hSection, LPCTSTR pszEntry, int nDefault);
    CString GetProfileStringA(HKEY hSection, LPCTSTR pszEntry, LPCTSTR pszDefault);
    BOOL GetProfileBinary(HKEY hSection, LPCTSTR pszEntry, BYTE** ppData, UINT* pBytes);
    BOOL WriteProfileInt(HKEY hSection, LPCTSTR pszEntry, int nValue);
    BOOL WriteProfileStringA(HKEY hSection, LPCTSTR pszEntry, LPCTSTR pszValue);
    BOOL WriteProfileBinary(HKEY hSection, LPCTSTR pszEntry, LPBYTE pData, UINT nBytes);

    // Profile accessors on a section below this object's location.
    UINT GetProfileIntA(LPCTSTR pszSection, LPCTSTR pszEntry, int nDefault);
    CString GetProfileStringA(LPCTSTR pszSection, LPCTSTR pszEntry, LPCTSTR pszDefault);
    BOOL GetProfileBinary(LPCTSTR pszSection, LPCTSTR pszEntry, BYTE** ppData, UINT* pBytes);
    BOOL WriteProfileInt(LPCTSTR pszSection, LPCTSTR pszEntry, int nValue);
    BOOL WriteProfileStringA(LPCTSTR pszSection, LPCTSTR pszEntry, LPCTSTR pszValue);
    BOOL WriteProfileBinary(LPCTSTR pszSection, LPCTSTR pszEntry, LPBYTE pData, UINT nBytes);

    // The framework's recent-file list is not kept in the registry by this class.
    CRecentFileList* LoadStdProfileSettings(UINT nMaxMRU);
    void SaveStdProfileSettings(CRecentFileList*& pRecentFileList);

private:
    CString BuildProfileString() const;
    BOOL NormalizeParams(HKEY& hKey, CString& strName);
    void DropImp() noexcept;

    ZelRegistryBase_Imp* m_pImp;
};
