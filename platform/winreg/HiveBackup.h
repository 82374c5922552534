// A copy of a whole hive while programs use it: SQLite's online backup, read in one snapshot of
// the hive, its log included, into a file that is a complete hive on its own.
#pragma once

#include <string>

#include "Hive.h"

namespace zelreg {

// Copies `hive` to `file`, which must not exist (ERROR_ALREADY_EXISTS); it appears there only
// once complete. The store opens the copy as it is, as a hive file.
void BackupHive(Hive& hive, const std::string& file);

}  // namespace zelreg
