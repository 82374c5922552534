// The layout of a hive file and the check that a file is one.
#pragma once

#include <string>

#include "Sqlite.h"

namespace zelreg {

// Stored in the database header (PRAGMA application_id): the file is a registry hive.
constexpr int32_t kHiveApplicationId = 0x5A656C52;  // "ZelR"
// Stored as PRAGMA user_version: the layout of the tables. Any other number is refused: a newer
// one is for a newer program, and format 1 (separate key, value and change-journal tables) was
// never released, so nothing converts it.
constexpr int32_t kHiveFormat = 2;

enum class HiveState { Hive, Empty, Refused };

// Reads only: a file that is not a hive this store can use is never changed. On Refused,
// `reason` says why; a file that cannot be read (damaged, say) fails as Connection::Throw says.
HiveState ExamineHive(Connection& db, std::string& reason);

// Creates the tables and the root key in an empty database, within the caller's transaction.
void CreateHiveSchema(Connection& db);

}  // namespace zelreg
