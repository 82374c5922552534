// The SQLite VFS that hive files are opened with: the system's own, with two differences.
//
// The writes a transaction makes to the write-ahead log reach the system in one call instead of
// two for every page (a frame header and the page). System calls are what a commit costs most
// here. The log's writes are gathered while they follow on one another and handed on
//  - when the page after the header of a commit frame (one that names the database size) has
//    arrived: the transaction is then complete, and the commit fails if the write does;
//  - before anything reads, measures, truncates, syncs or closes the log;
//  - before they would grow past kMaxPending bytes (the system's VFS takes at most 128 KiB in
//    one write);
//  - when the connection unlocks anything in the shared-memory index or publishes a new index
//    header. Only the frames of a transaction that did not commit can still be waiting then;
//    they are written (or dropped if that fails) so that nothing of them lands in the log after
//    the write lock has passed to another connection.
// Other processes see a commit only through the index header, which the connection writes after
// the commit frame, so they never read a frame that is still waiting here.
//
// With shared locks (see HiveLocks.h), a database opened for writing keeps the locks of its
// shared-memory index in a lock file of its own instead of as record locks. Every process that
// uses the database must then open it this way: hives whose users all run this store.
#pragma once

namespace zelreg {

enum class IndexLocks { System, Shared };

// sqlite3_file_control() of the main database with this opcode stores its HiveLocks* (null for
// System locks, or before the index is mapped) where its argument points.
constexpr int kFileControlHiveLocks = 0x5A4C0001;

// The name of the VFS to open hive files with; registers it on first use.
const char* HiveVfs(IndexLocks locks);

}  // namespace zelreg
