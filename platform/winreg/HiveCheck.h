// Whether a hive file is sound: SQLite's integrity check of every page and index, and the
// store's check that the file is a hive of a format it reads.
#pragma once

#include <string>

#include "HiveLocation.h"
#include "RegError.h"

namespace zelreg {

struct HiveVerdict {
    // ERROR_SUCCESS: sound; ERROR_FILE_NOT_FOUND: no hive file; ERROR_BADDB: not a hive this
    // store reads; ERROR_REGISTRY_CORRUPT: damaged; another status when it could not be read.
    LONG status;
    // One line: the file and the verdict, and for a hive that is not sound what to do about it.
    std::string message;
};

// Checks the hive of this kind where the store finds it, never creating it. A sound hive is
// checked within one snapshot while other processes go on using it.
HiveVerdict CheckHive(HiveKind kind);

}  // namespace zelreg
