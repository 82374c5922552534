// The module's version record as data the module exports, for platforms whose modules carry
// no resources.
#pragma once

#include "ZelPlatform.h"

/// @file
/// The settings module's version record.

/// A module's version: what the version resource of the Windows DLL holds.
struct ZelVersionRecord {
    WORD wLanguage;                  ///< the language of the texts, 1031 (German)
    const char* pszFileDescription;  ///< the module's description
    WORD fileVersion[4];             ///< the module's own version, most significant first
    WORD productVersion[4];          ///< the product's version, most significant first
};

/// The version record of the settings module, MORVAKOFSET111.
extern "C" ZEL_OFSET_API const ZelVersionRecord zelModuleVersion;
