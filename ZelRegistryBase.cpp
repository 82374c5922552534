#include "ZelRegistryBase.h"

#include <cstring>
#include <new>

#include "Imp/ZelKeyPath.h"
#include "Imp/ZelOpenedKey.h"
#include "Imp/ZelRegistryBaseI.h"
#include "frame/ZelConvert.h"

IMPLEMENT_DYNAMIC(ZelRegistryBase, CObject)

namespace {

constexpr const char* kSource = ".\\ZelRegistryBase";
constexpr const char* kClass = "ZelRegistryBase";
constexpr const char* kShortMethod = "ZelRegistryBase :: ZelRegistryBase( PVOID&, ... )";

// Access masks of the library's own opens.
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;  // 0x2001F
constexpr REGSAM kRead = KEY_READ;                   // 0x20019
// Enough to learn that a key exists, without the standard read right.
constexpr REGSAM kVerify = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;  // 0x19

// The library's own statuses beside the registry's.
constexpr LONG kStatusReadOnly = ERROR_ACCESS_DENIED;  // write-protected location
constexpr LONG kStatusNoData = ERROR_NO_DATA;          // empty name, no state, nothing to delete

const char* SubKeyName(ZelRegistryBase::eSubKey eKey) {
    switch (eKey) {
    case ZelRegistryBase::eOptions:
        return "Options";
    case ZelRegistryBase::eProperties:
        return "Properties";
    case ZelRegistryBase::eSettings:
        return "Settings";
    default:
        return "AdditionalInfos";
    }
}

// The path of a composed location, made when the location is set: every section and entry
// access starts from it.
CString ComposeProfilePath(const ZelRegistryBase_Imp& imp) {
    CString strPath;
    strPath += "Software\\Quellmar";
    strPath += '\\';
    strPath += "Components";
    strPath += '\\';
    strPath += imp.m_strComponent;
    strPath += '\\';
    strPath += "Versions";
    strPath += '\\';
    strPath += imp.m_strVersion;
    strPath += '\\';
    strPath += SubKeyName(imp.m_eSubKey);
    if (imp.m_strSubPath.GetLength() != 0) {
        strPath += '\\';
        strPath += imp.m_strSubPath;
    }
    return strPath;
}

// True when the text names at least one key, i.e. holds something besides separators.
bool NamesKey(LPCTSTR psz) {
    for (; psz != nullptr && *psz != '\0'; ++psz) {
        if (*psz != '\\') return true;
    }
    return false;
}

// REG_DWORD data is little-endian whatever the host: first byte lowest.
void EncodeDword(DWORD dwValue, BYTE (&abData)[sizeof(DWORD)]) {
    for (size_t i = 0; i < sizeof(DWORD); ++i) abData[i] = static_cast<BYTE>(dwValue >> (8 * i));
}

DWORD DecodeDword(const BYTE (&abData)[sizeof(DWORD)]) {
    DWORD dwValue = 0;
    for (size_t i = 0; i < sizeof(DWORD); ++i) dwValue |= static_cast<DWORD>(abData[i]) << (8 * i);
    return dwValue;
}


}  // namespace

ZelRegistryBase::ZelRegistryBase() : m_pImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryBase :: ZelRegistryBase ( VOID )"};
    ZelCatchAtEnd(kSite, [&] { m_pImp = new ZelRegistryBase_Imp(this); });
}

ZelRegistryBase::ZelRegistryBase(LPCTSTR pszComponent, LPCTSTR pszVersion, eSubKey eKey,
                                 LPCTSTR pszSubPath, LPCTSTR pszReserved, BOOL bReadOnly,
                                 BOOL bLocalMachine)
    : m_pImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryBase :: ZelRegistryBase( LPCTSTR, LPCTSTR,... )"};
    ZelCatchAtEnd(kSite, [&] {
        m_pImp = new ZelRegistryBase_Imp(this);
        Create(pszComponent, pszVersion, eKey, pszSubPath, pszReserved, bReadOnly, bLocalMachine);
    }, [this]() noexcept { DropImp(); });
}

ZelRegistryBase::ZelRegistryBase(LPCTSTR pszPath, BOOL bReadOnly, BOOL bLocalMachine)
    : m_pImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, kShortMethod};
    ZelCatchAtEnd(kSite, [&] {
        m_pImp = new ZelRegistryBase_Imp(this);
        Create(pszPath, bReadOnly, bLocalMachine);
    }, [this]() noexcept { DropImp(); });
}

ZelRegistryBase::ZelRegistryBase(const ZelRegistryBase& src) : CObject(), m_pImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryBase :: ZelRegistryBase( const ZelRegistryBase & )"};
    ZelCatchAtEnd(kSite, [&] {
        m_pImp = new ZelRegistryBase_Imp(this);
        *this = src;
    }, [this]() noexcept { DropImp(); });
}

ZelRegistryBase::~ZelRegistryBase() { DropImp(); }

// Also the clean-up of a failing constructor: no destructor runs for an object whose
// constructor threw.
void ZelRegistryBase::DropImp() noexcept {
    delete m_pImp;
    m_pImp = nullptr;
}

void ZelRegistryBase::Create(LPCTSTR pszComponent, LPCTSTR pszVersion, eSubKey eKey,
                             LPCTSTR pszSubPath, LPCTSTR pszReserved, BOOL bReadOnly,
                             BOOL bLocalMachine) {
    static constexpr ZelSite kSite{kSource, kClass, "PVOID ZelRegistryBase :: Create ( LPCTSTR, LPCTSTR,... )"};
    // A location half set from new parameters would point somewhere nobody asked for, so
    // a failure leaves the object without a location at all.
    ZelCatchAtEnd(
        kSite,
        [&] {
            if (!m_pImp) return;
            m_pImp->m_strComponent = pszComponent;
            m_pImp->m_strVersion = pszVersion;
            m_pImp->m_eSubKey = eKey;
            m_pImp->m_strSubPath = pszSubPath;
            m_pImp->m_strReserved = pszReserved;
            m_pImp->m_bReadOnly = bReadOnly;
            m_pImp->m_bLocalMachine = bLocalMachine;
            m_pImp->m_bComposed = true;
            m_pImp->m_strProfilePath = ComposeProfilePath(*m_pImp);
            m_pImp->UpdateNamePrefix();
        },
        [this]() noexcept { DropImp(); });
}

void ZelRegistryBase::Create(LPCTSTR pszPath, BOOL bReadOnly, BOOL bLocalMachine) {
    static constexpr ZelSite kSite{kSource, kClass, kShortMethod};
    ZelCatchAtEnd(kSite, [&] {
        if (!m_pImp) return;
        m_pImp->m_bLocalMachine = bLocalMachine;
        m_pImp->m_bReadOnly = bReadOnly;
        m_pImp->m_strComponent = pszPath;
        if (m_pImp->m_bComposed) m_pImp->m_strProfilePath = ComposeProfilePath(*m_pImp);
        m_pImp->UpdateNamePrefix();
    });
}

CString ZelRegistryBase::GetRegistryPath() const { return BuildProfileString(); }

const ZelRegistryBase& ZelRegistryBase::operator=(const ZelRegistryBase& src) {
    if (m_pImp && src.m_pImp) *m_pImp = *src.m_pImp;
    return *this;
}

BOOL ZelRegistryBase::operator==(const ZelRegistryBase& other) const {
    return m_pImp != nullptr && other.m_pImp != nullptr;
}

CString ZelRegistryBase::BuildProfileString() const {
    if (!m_pImp) return CString();
    return m_pImp->m_bComposed ? m_pImp->m_strProfilePath : m_pImp->m_strComponent;
}

// A name is taken relative to the key it comes with. A null key stands for this object's
// location, which is looked up in HKEY_CURRENT_USER whatever the local-machine flag says: the
// flag chooses only the application key. Value names are joined to the path the same way.
BOOL ZelRegistryBase::NormalizeParams(HKEY& hKey, CString& strName) {
    if (strName.IsEmpty()) return FALSE;
    ZelStripOuterBackslash(strName);
    if (hKey != nullptr) return TRUE;
    CString strPath = m_pImp ? m_pImp->m_strNamePrefix : CString();
    if (strPath.IsEmpty()) strPath = '\\';
    strPath += strName;
    strName = strPath;
    ResetHandle(hKey, FALSE);
    return TRUE;
}

// An override point for derived classes; the library itself never calls it.
void ZelRegistryBase::Close() {}

void ZelRegistryBase::ResetHandle(HKEY& hKey, BOOL bLocalMachine) {
    if (hKey != nullptr) CloseKey(hKey);
    hKey = bLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

LONG ZelRegistryBase::QueryInfoKey(HKEY hKey, UINT* pnSubKeys, UINT* pnMaxSubKeyLen) {
    // UINT and DWORD are distinct types on Windows, though both 32 bits wide, so the counts
    // travel through DWORDs; a null pointer still asks the registry for nothing.
    DWORD dwSubKeys = 0;
    DWORD dwMaxSubKeyLen = 0;
    const LONG lStatus = RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr,
                                          pnSubKeys != nullptr ? &dwSubKeys : nullptr,
                                          pnMaxSubKeyLen != nullptr ? &dwMaxSubKeyLen : nullptr,
                                          nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (lStatus == ERROR_SUCCESS) {
        if (pnSubKeys != nullptr) *pnSubKeys = dwSubKeys;
        if (pnMaxSubKeyLen != nullptr) *pnMaxSubKeyLen = dwMaxSubKeyLen;
    }
    return lStatus;
}

BOOL ZelRegistryBase::VerifyKey(HKEY hKey, LPCTSTR pszKey) {
    if (!m_pImp) return FALSE;
    CString strKey(pszKey);
    if (!NormalizeParams(hKey, strKey)) return FALSE;
    // The key never leaves this function, so it is closed here directly.
    if (RegOpenKeyExA(hKey, strKey, 0, kVerify, &hKey) != ERROR_SUCCESS) return FALSE;
    RegCloseKey(hKey);
    return TRUE;
}

LONG ZelRegistryBase::QueryValue(HKEY hKey, LPCTSTR pszValue, DWORD* pdwType, BYTE* pData,
                                 DWORD* pcbData) {
    // Below a key, a name without a backslash at either end is what NormalizeParams would
    // make of it: it goes to the registry without a copy.
    if (hKey != nullptr && pszValue != nullptr && pszValue[0] != '\0' && pszValue[0] != '\\' &&
        pszValue[std::strlen(pszValue) - 1] != '\\') {
        return RegQueryValueExA(hKey, pszValue, nullptr, pdwType, pData, pcbData);
    }
    CString strValue(pszValue);
    if (!NormalizeParams(hKey, strValue)) return kStatusNoData;
    return RegQueryValueExA(hKey, strValue, nullptr, pdwType, pData, pcbData);
}

LONG ZelRegistryBase::CreateKey(HKEY& hKey, LPCTSTR pszKey, LPTSTR pszClass, DWORD dwOptions,
                                REGSAM samDesired, LPSECURITY_ATTRIBUTES pSecurity,
                                DWORD* pdwDisposition) {
    if (!m_pImp) return kStatusNoData;
    if (m_pImp->m_bReadOnly) return kStatusReadOnly;
    const HKEY hBefore = hKey;
    CString strKey(pszKey);
    if (!NormalizeParams(hKey, strKey)) return kStatusNoData;  // the handle is untouched then
    const LONG lStatus = RegCreateKeyExA(hKey, strKey, 0, pszClass, dwOptions, samDesired,
                                         pSecurity, &hKey, pdwDisposition);
    if (lStatus != ERROR_SUCCESS) hKey = hBefore;
    return lStatus;
}

BOOL ZelRegistryBase::CreateKey(HKEY& hKey, LPCTSTR pszKey, DWORD samDesired) {
    DWORD dwDisposition = 0;
    return CreateKey(hKey, pszKey, nullptr, REG_OPTION_NON_VOLATILE, samDesired, nullptr,
                     &dwDisposition) == ERROR_SUCCESS;
}

LONG ZelRegistryBase::EnumKey(HKEY& hKey, UINT nIndex, LPTSTR pszName, DWORD cchName) {
    return RegEnumKeyA(hKey, nIndex, pszName, cchName);
}

LONG ZelRegistryBase::OpenKey(HKEY& hKey, LPCTSTR pszKey, DWORD samDesired) {
    const HKEY hBefore = hKey;
    CString strKey(pszKey);
    NormalizeParams(hKey, strKey);
    // On failure the caller's variable gets back what it held, also where a null key had
    // been resolved to HKEY_CURRENT_USER.
    const LONG lStatus = RegOpenKeyExA(hKey, strKey, 0, samDesired, &hKey);
    if (lStatus != ERROR_SUCCESS) hKey = hBefore;
    return lStatus;
}

void ZelRegistryBase::CloseKey(HKEY& hKey) {
    if (hKey == nullptr) return;
    RegCloseKey(hKey);
    hKey = nullptr;
}

LONG ZelRegistryBase::SetValue(HKEY hKey, LPCTSTR pszValue, DWORD dwType, const BYTE* pData,
                               DWORD cbData) {
    if (!m_pImp) return ERROR_SUCCESS;
    if (m_pImp->m_bReadOnly) return kStatusReadOnly;
    // An empty name is not refused: it addresses the key's unnamed value.
    CString strValue(pszValue);
    NormalizeParams(hKey, strValue);
    return RegSetValueExA(hKey, strValue, 0, dwType, pData, cbData);
}

LONG ZelRegistryBase::DeleteValue(HKEY hKey, LPCTSTR pszValue) {
    CString strValue(pszValue);
    NormalizeParams(hKey, strValue);
    return RegDeleteValueA(hKey, strValue);
}

// Always takes the whole sub-tree, so the third argument changes nothing. An empty name
// never deletes the key it comes with, because VerifyKey refuses it.
LONG ZelRegistryBase::DeleteKey(HKEY hKey, LPCTSTR pszKey, BOOL) {
    CString strKey(pszKey);
    NormalizeParams(hKey, strKey);
    if (!VerifyKey(hKey, strKey)) return kStatusNoData;
    return SHDeleteKeyA(hKey, strKey);
}

// The root key itself, opened anew for reading and writing; the location's path takes no
// part. The caller closes it with CloseKey.
HKEY ZelRegistryBase::GetAppRegistryKey() {
    if (!m_pImp) return nullptr;
    HKEY hKey = m_pImp->m_bLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (OpenKey(hKey, nullptr, kReadWrite) != ERROR_SUCCESS) return nullptr;
    return hKey;
}

// Both ways open through CreateKey, so a write-protected location gets no section key even
// for reading; reading never creates the section, since it must pass VerifyKey first.
HKEY ZelRegistryBase::GetSectionKey(HKEY hKey, LPCTSTR pszSection, BOOL bCreate) {
    REGSAM samDesired = kReadWrite;
    if (!bCreate) {
        if (!VerifyKey(hKey, pszSection)) return nullptr;
        samDesired = kRead;
    }
    HKEY hSection = hKey;
    if (!CreateKey(hSection, pszSection, samDesired)) return nullptr;
    return hSection;
}

HKEY ZelRegistryBase::GetSectionKey(LPCTSTR pszSection, BOOL bCreate) {
    return GetSectionKey(HKEY{nullptr}, pszSection, bCreate);
}

UINT ZelRegistryBase::GetProfileIntA(HKEY hSection, LPCTSTR pszEntry, int nDefault) {
    if (hSection == nullptr) return static_cast<UINT>(nDefault);
    DWORD dwType = REG_NONE;
    // Shorter data fills the low-order bytes; the rest stays zero. Longer data does not fit
    // and the registry refuses it, which yields the default.
    BYTE abData[sizeof(DWORD)] = {};
    DWORD cbData = sizeof(abData);
    if (QueryValue(hSection, pszEntry, &dwType, abData, &cbData) != ERROR_SUCCESS)
        return static_cast<UINT>(nDefault);
    return DecodeDword(abData);
}

CString ZelRegistryBase::GetProfileStringA(HKEY hSection, LPCTSTR pszEntry, LPCTSTR pszDefault) {
    DWORD dwType = REG_NONE;
    DWORD cbData = 0;
    if (QueryValue(hSection, pszEntry, &dwType, nullptr, &cbData) != ERROR_SUCCESS)
        return CString(pszDefault);
    CString strValue;
    LPTSTR pszBuffer = strValue.GetBuffer(static_cast<int>(cbData));
    const LONG lStatus =
        QueryValue(hSection, pszEntry, &dwType, reinterpret_cast<BYTE*>(pszBuffer), &cbData);
    if (lStatus != ERROR_SUCCESS) {
        strValue.ReleaseBuffer(0);
        return CString(pszDefault);
    }
    // The text ends at its first NUL; data stored without one is taken whole.
    const void* pNul = std::memchr(pszBuffer, '\0', cbData);
    strValue.ReleaseBuffer(pNul != nullptr ? static_cast<int>(static_cast<LPCTSTR>(pNul) - pszBuffer)
                                           : static_cast<int>(cbData));
    return strValue;
}

// The block is the caller's, released with delete[]; after FALSE there is nothing to free.
BOOL ZelRegistryBase::GetProfileBinary(HKEY hSection, LPCTSTR pszEntry, BYTE** ppData,
                                       UINT* pBytes) {
    if (ppData == nullptr || pBytes == nullptr) return FALSE;
    *ppData = nullptr;
    *pBytes = 0;
    DWORD dwType = REG_NONE;
    DWORD cbData = 0;
    LONG lStatus = QueryValue(hSection, pszEntry, &dwType, nullptr, &cbData);
    *pBytes = cbData;
    if (lStatus == ERROR_SUCCESS) {
        // Exhaustion reaches the caller as the framework's exception, like every other
        // allocation of the library.
        *ppData = new (std::nothrow) BYTE[cbData];
        if (*ppData == nullptr) AfxThrowMemoryException();
        lStatus = QueryValue(hSection, pszEntry, &dwType, *ppData, &cbData);
        if (lStatus == ERROR_SUCCESS) return TRUE;
    }
    delete[] *ppData;
    *ppData = nullptr;
    return FALSE;
}

BOOL ZelRegistryBase::WriteProfileInt(HKEY hSection, LPCTSTR pszEntry, int nValue) {
    BYTE abData[sizeof(DWORD)];
    EncodeDword(static_cast<DWORD>(nValue), abData);
    return SetValue(hSection, pszEntry, REG_DWORD, abData, sizeof(abData)) == ERROR_SUCCESS;
}

BOOL ZelRegistryBase::WriteProfileStringA(HKEY hSection, LPCTSTR pszEntry, LPCTSTR pszValue) {
    if (!m_pImp || m_pImp->m_bReadOnly) return FALSE;
    if (hSection == nullptr) return FALSE;
    if (pszValue == nullptr) return DeleteValue(hSection, pszEntry) == ERROR_SUCCESS;
    const DWORD cbData = static_cast<DWORD>(std::strlen(pszValue) + 1);
    return SetValue(hSection, pszEntry, REG_SZ, reinterpret_cast<const BYTE*>(pszValue), cbData) ==
           ERROR_SUCCESS;
}

BOOL ZelRegistryBase::WriteProfileBinary(HKEY hSection, LPCTSTR pszEntry, LPBYTE pData,
                                         UINT nBytes) {
    if (hSection == nullptr) return FALSE;
    return SetValue(hSection, pszEntry, REG_BINARY, pData, nBytes) == ERROR_SUCCESS;
}

UINT ZelRegistryBase::GetProfileIntA(LPCTSTR pszSection, LPCTSTR pszEntry, int nDefault) {
    ZelOpenedKey section(*this, GetSectionKey(pszSection, FALSE));
    if (!section) return static_cast<UINT>(nDefault);
    return GetProfileIntA(section.Get(), pszEntry, nDefault);
}

CString ZelRegistryBase::GetProfileStringA(LPCTSTR pszSection, LPCTSTR pszEntry,
                                           LPCTSTR pszDefault) {
    ZelOpenedKey section(*this, GetSectionKey(pszSection, FALSE));
    if (!section) return CString(pszDefault);
    return GetProfileStringA(section.Get(), pszEntry, pszDefault);
}

BOOL ZelRegistryBase::GetProfileBinary(LPCTSTR pszSection, LPCTSTR pszEntry, BYTE** ppData,
                                       UINT* pBytes) {
    if (ppData == nullptr || pBytes == nullptr) return FALSE;
    *ppData = nullptr;
    *pBytes = 0;
    ZelOpenedKey section(*this, GetSectionKey(pszSection, FALSE));
    if (!section) return FALSE;
    return GetProfileBinary(section.Get(), pszEntry, ppData, pBytes);
}

BOOL ZelRegistryBase::WriteProfileInt(LPCTSTR pszSection, LPCTSTR pszEntry, int nValue) {
    ZelOpenedKey section(*this, GetSectionKey(pszSection, TRUE));
    if (!section) return FALSE;
    return WriteProfileInt(section.Get(), pszEntry, nValue);
}

BOOL ZelRegistryBase::WriteProfileStringA(LPCTSTR pszSection, LPCTSTR pszEntry,
                                          LPCTSTR pszValue) {
    if (!m_pImp || m_pImp->m_bReadOnly) return FALSE;
    if (pszEntry == nullptr) {
        // A null entry deletes the whole section. The section deleted is the one every other
        // accessor of this family reads and writes: the named key below this object's path
        // in HKEY_CURRENT_USER. Looking it up below the bare root key instead would let a
        // section named "Software" wipe the user's whole software key, and for a
        // local-machine location would delete in HKEY_LOCAL_MACHINE a section that these
        // accessors never wrote there. The application key is still asked for first, so
        // that whatever keeps it from opening also keeps the deletion from happening.
        // A location without a path, or a section name made only of separators, would put
        // the key to delete at the root or make it the location itself: both are refused.
        if (!NamesKey(BuildProfileString()) || !NamesKey(pszSection)) return FALSE;
        ZelOpenedKey application(*this, GetAppRegistryKey());
        if (!application) return FALSE;
        return DeleteKey(HKEY{nullptr}, pszSection, FALSE) == ERROR_SUCCESS;
    }
    ZelOpenedKey section(*this, GetSectionKey(pszSection, TRUE));
    if (!section) return FALSE;
    return WriteProfileStringA(section.Get(), pszEntry, pszValue);
}

BOOL ZelRegistryBase::WriteProfileBinary(LPCTSTR pszSection, LPCTSTR pszEntry, LPBYTE pData,
                                         UINT nBytes) {
    ZelOpenedKey section(*this, GetSectionKey(pszSection, TRUE));
    if (!section) return FALSE;
    return WriteProfileBinary(section.Get(), pszEntry, pData, nBytes);
}

// The framework's recent-file list is not kept in the registry by this class.
CRecentFileList* ZelRegistryBase::LoadStdProfileSettings(UINT) { return nullptr; }

void ZelRegistryBase::SaveStdProfileSettings(CRecentFileList*&) {}
