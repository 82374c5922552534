#include "ZelRegistryBaseI.h"

#include "../frame/ZelConvert.h"
#include "ZelKeyPath.h"

ZelRegistryBase_Imp::ZelRegistryBase_Imp(ZelRegistryBase* pInt)
    : m_pInt(nullptr),
      m_eSubKey(ZelRegistryBase::eAdditionalInfos),
      m_bLocalMachine(FALSE),
      m_bReadOnly(FALSE),
      m_bComposed(false) {
    static constexpr ZelSite kSite{".\\Imp\\ZelRegistryBaseI", "ZelRegistryBase_Imp",
                                   "ZelRegistryBase_Imp :: ZelRegistryBase_Imp ( ZelRegistryBase * pInt )"};
    ZelCatchAtEnd(kSite, [&] { m_pInt = pInt; });
}

void ZelRegistryBase_Imp::UpdateNamePrefix() {
    CString strPath = m_bComposed ? m_strProfilePath : m_strComponent;
    ZelStripOuterBackslash(strPath);
    strPath += '\\';
    m_strNamePrefix = strPath;
}

// The destructor has nothing that can fail: the strings release their buffers without error.

ZelRegistryBase_Imp& ZelRegistryBase_Imp::operator=(const ZelRegistryBase_Imp& src) {
    static constexpr ZelSite kSite{".\\Imp\\ZelRegistryBaseI", "ZelRegistryBase_Imp",
                                   "ZelRegistryBase_Imp::operator=( const ZelRegistryBase_Imp& )"};
    return ZelCatchAtEnd(kSite, [&]() -> ZelRegistryBase_Imp& {
        m_strComponent = src.m_strComponent;
        m_strVersion = src.m_strVersion;
        m_strSubPath = src.m_strSubPath;
        m_strReserved = src.m_strReserved;
        m_strProfilePath = src.m_strProfilePath;
        m_strNamePrefix = src.m_strNamePrefix;
        m_eSubKey = src.m_eSubKey;
        m_bLocalMachine = src.m_bLocalMachine;
        m_bReadOnly = src.m_bReadOnly;
        m_bComposed = src.m_bComposed;
        return *this;
    });
}
