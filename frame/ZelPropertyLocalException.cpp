#include "ZelPropertyLocalException.h"

CObject* PASCAL ZelPropertyLocalException::CreateObject() { return new ZelPropertyLocalException(0); }

IMPLEMENT_RUNTIMECLASS(ZelPropertyLocalException, CException, 0xFFFF,
                       ZelPropertyLocalException::CreateObject)

ZelPropertyLocalException::ZelPropertyLocalException(DWORD nLocalErrorNo)
    : m_nLocalErrorNo(nLocalErrorNo) {}

ZelPropertyLocalException::~ZelPropertyLocalException() = default;

ZelLocalErrorScope::ZelLocalErrorScope()
    : m_resources(ZelLanguagePublisher::Instance()->GetLangDependentResource()) {}

void ZelRaiseLocalError(DWORD nLocalErrorNo) { throw new ZelPropertyLocalException(nLocalErrorNo); }
