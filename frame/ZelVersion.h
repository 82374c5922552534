// The module's version record as data the module exports, for platforms whose modules carry
// no resources.
#pragma once

#include "ZelPlatform.h"

struct ZelVersionRecord {
    WORD wLanguage;
    const char* pszFileDescription;
    WORD fileVersion[4];
    WORD productVersion[4];
};

extern "C" ZEL_OFSET_API const ZelVersionRecord zelModuleVersion;
