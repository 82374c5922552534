// Heap copies of texts that outlive their source.
#pragma once

#include "../afx/ZelAfx.h"

// Returns a copy the caller owns (null for null); throws CMemoryException* when out of memory.
ZEL_EH_API char* AFXAPI ZelEhCopyString(const char* psz);
// Releases a copy made by ZelEhCopyString; null is ignored.
ZEL_EH_API void AFXAPI ZelEhDeleteString(char* psz) noexcept;
