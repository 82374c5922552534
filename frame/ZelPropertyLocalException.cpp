#include "ZelPropertyLocalException.h"

CObject* PASCAL ZelPropertyLocalException::CreateObject() { return new ZelPropertyLocalException(0); }

IMPLEMENT_RUNTIMECLASS(ZelPropertyLocalException, CException, 0xFFFF,
                       ZelPropertyLocalException::CreateObject)

ZelPropertyLocalException::ZelPropertyLocalException(DWORD nLocalErrorNo)
    : m_nLocalErrorNo(nLocalErrorNo) {}

ZelPropertyLocalException::~ZelPropertyLocalException() = default;
