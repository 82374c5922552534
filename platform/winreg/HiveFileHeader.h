// What the first bytes of a hive file say, read from the file itself without opening it as a
// database: nothing is locked, created or changed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zelreg {

struct HiveFileHeader {
    bool walMode = false;        // the store has opened it as a hive (a saved file or a backup has not)
    uint32_t applicationId = 0;  // kHiveApplicationId for a hive
    uint32_t format = 0;         // the user version: the hive's format
};

// Nothing when there is no such file, or it is no SQLite database.
std::optional<HiveFileHeader> ReadHiveFileHeader(const std::string& file);

}  // namespace zelreg
