// A file that a save or a backup makes: written under a name of its own beside where it goes,
// and put in place whole, only if nothing is there by then. A reader never sees it half
// written, and a file that appeared meanwhile is never replaced.
#pragma once

#include <string>

#include "../win32/ZelWinTypes.h"

namespace zelreg {

class NewFile {
public:
    // Fails (RegError) with ERROR_ALREADY_EXISTS when something is at `path` already, and with
    // the status for why the file cannot be made there (ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
    // ERROR_DISK_FULL, ...).
    explicit NewFile(std::string path);
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    // Removes what was written unless it was put in place.
    ~NewFile();

    // An empty private (0600) file to write, made anew by each call: a write that has to start
    // over starts from nothing.
    const std::string& Begin();
    // Puts the written file at its path, synced to the disk; ERROR_ALREADY_EXISTS when something
    // came there meanwhile.
    void Publish();

private:
    void RemoveWritten();

    std::string path_;
    std::string written_;
};

// The Win32 status for a failed file operation's errno.
LONG FileStatus(int error);

}  // namespace zelreg
