#include "HiveBackup.h"

#include "NewFile.h"
#include "RegError.h"

namespace zelreg {

void BackupHive(Hive& hive, const std::string& file) {
    NewFile copy(file);
    hive.Read([&](Connection& db) {
        // The copy is read within the hive's snapshot, which this begins: one moment's hive,
        // however long the copy takes, while other processes go on writing.
        db.BeforeQuery();
        Connection target(copy.Begin(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        sqlite3_backup* backup = sqlite3_backup_init(target.handle(), "main", db.handle(), "main");
        if (!backup) target.Throw(sqlite3_errcode(target.handle()));
        const int rc = sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE) target.Throw(rc);
        // The hive's header says write-ahead log; the copy keeps no log beside it, so that it is
        // one file, to be moved or mailed as it is.
        target.Exec("PRAGMA journal_mode = DELETE");
        return 0;
    });
    copy.Publish();
}

}  // namespace zelreg
