// The layout of a hive file and the check that a file is one.
#pragma once

#include <memory>
#include <string>

#include "Sqlite.h"

namespace zelreg {

// Stored in the database header (PRAGMA application_id): the file is a registry hive.
constexpr int32_t kHiveApplicationId = 0x5A656C52;  // "ZelR"
// Stored as PRAGMA user_version: the layout of the tables. Format 2 (a released version's) is
// upgraded in place when a writer first opens it; a newer format is for a newer program, and
// format 1 (separate key, value and change-journal tables) was never released, so nothing
// converts it.
constexpr int32_t kHiveFormat = 3;

// Outdated: a hive of format 2, which UpgradeHiveSchema turns into the current format.
enum class HiveState { Hive, Empty, Outdated, Refused };

// Reads only: a file that is not a hive this store can use is never changed. On Refused,
// `reason` says why; a file that cannot be read (damaged, say) fails as Connection::Throw says.
// Reads in the caller's transaction, or else in one of its own that ends before it returns
// (and SQLite's message for a failure with it).
HiveState ExamineHive(Connection& db, std::string& reason);

// Creates the tables and the root key in an empty database, within the caller's transaction.
void CreateHiveSchema(Connection& db);

// Brings an Outdated hive to the current format within the caller's (write) transaction, so
// that a hive is upgraded whole or not at all.
void UpgradeHiveSchema(Connection& db);

// A hive of the current format in memory, made from an Outdated one this process may only
// read: what the file holds now, to be read as it was when the copy was made.
std::unique_ptr<Connection> UpgradedCopy(Connection& db);

}  // namespace zelreg
