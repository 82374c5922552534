// State of a registry location.
#pragma once

#include "../ZelRegistryBase.h"

class ZelRegistryBase_Imp : public CAfxHeapObject {
public:
    explicit ZelRegistryBase_Imp(ZelRegistryBase* pInt);
    ZelRegistryBase_Imp(const ZelRegistryBase_Imp&) = delete;
    ZelRegistryBase_Imp& operator=(const ZelRegistryBase_Imp& src);

    // After the path has changed.
    void UpdateNamePrefix();

    ZelRegistryBase* m_pInt;  // the owner; never copied
    CString m_strComponent;   // composed form: the component; free-path form: the whole path
    CString m_strVersion;
    CString m_strSubPath;
    CString m_strReserved;  // kept and copied with the location, read by nothing
    CString m_strProfilePath;  // composed form: the whole path, made once with the location
    // The location's path without backslashes at its ends, and one after it: every name given
    // with a null key is joined to it, so it is made once with the location (empty until then).
    CString m_strNamePrefix;
    ZelRegistryBase::eSubKey m_eSubKey;
    BOOL m_bLocalMachine;  // the application key is opened in HKEY_LOCAL_MACHINE
    BOOL m_bReadOnly;      // write protection: no value is set and no key created
    bool m_bComposed;
};
