#include "ZelVersion.h"

#include "ZelVersionInfo.h"

const ZelVersionRecord zelModuleVersion = {ZEL_VERSION_LANGUAGE,
                                           ZEL_VERSION_FILE_DESCRIPTION,
                                           {ZEL_VERSION_FILE},
                                           {ZEL_VERSION_PRODUCT}};
