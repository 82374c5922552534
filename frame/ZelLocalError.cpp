#include "ZelLocalError.h"

ZelLocalErrorScope::ZelLocalErrorScope()
    : m_resources(ZelLanguagePublisher::Instance()->GetLangDependentResource()) {}

void ZelRaiseLocalError(DWORD nLocalErrorNo) { throw new ZelPropertyLocalException(nLocalErrorNo); }
