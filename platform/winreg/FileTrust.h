// Whether the files of a hive, and the directory they are in, may be trusted: another user who
// can plant or replace one of them could read what this user writes, or hold the hive's locks.
// A user hive's files must be plain files of this user that no one else may write, in a
// directory no one else may write (or one with the sticky bit, where no one can replace another
// user's files). The machine hive, which every user reads, must not be writable by everyone.
#pragma once

#include <sys/stat.h>

#include <string>

namespace zelreg {

// Empty when the file described by `st` (from lstat) may be used, else why not.
std::string UntrustedFile(const struct stat& st, bool privateFile);

// Empty when the directory at `path` may hold the hive's files, else why not.
std::string UntrustedDirectory(const std::string& path, bool privateFile);

// Opens a private file with `flags` (O_RDWR, say), creating it when missing with mode 0600,
// never through a symbolic link. An existing file must pass UntrustedFile.
// Returns -1 and sets `problem` when it does not; on other failures `problem` stays empty and
// errno says why.
int OpenPrivateFile(const std::string& path, int flags, std::string& problem);

}  // namespace zelreg
