// Where the hive files live and how they are created.
#pragma once

#include <string>

#include "../win32/ZelWinTypes.h"

namespace zelreg {

enum class HiveKind { User = 0, Machine = 1 };
constexpr int kHiveKinds = 2;

// What chose a hive's directory.
enum class HiveSource { Environment = 1, UserDefault = 2, MachineDefault = 3 };

struct HiveLocation {
    std::string directory;
    std::string file;
    // The user hive and a directory named by ZEL_REGISTRY_DIR are private to the user (0700
    // directories, 0600 file); the machine hive is readable by everyone (0644).
    bool privateFile = false;
    HiveSource source = HiveSource::Environment;
};

// How a message names where a directory came from: "set by ZEL_REGISTRY_DIR", ...
std::string DescribeSource(HiveSource source);

// Whether opening a hive may create it and its directory: process-wide, true unless a program
// that only reads (a tool's query) turns it off, so that a misspelt directory is reported
// instead of answered with a new, empty registry.
void AllowHiveCreation(bool allow);

// ZEL_REGISTRY_DIR when set (both hives); otherwise $XDG_CONFIG_HOME/zelregistry (default
// ~/.config/zelregistry) for the user hive and /var/lib/zelregistry for the machine hive.
// Reads the environment each time: it is called when a hive is first opened, never during
// static initialisation.
HiveLocation LocateHive(HiveKind kind);

enum class PrepareResult { Ready, Missing };

// Creates the directory (with missing parents) and an empty hive file with the permissions the
// location asks for, unless they exist; while creation is not allowed, a missing hive file fails
// with ERROR_FILE_NOT_FOUND (and a message saying where it was looked for) and nothing is made.
// Missing: the file does not exist and cannot be created (a machine hive that only the
// administrator may create; errno says why). Refuses, touching nothing, a directory or file
// that cannot be trusted (see FileTrust.h), and a hive file that is missing or empty while its
// log holds data.
PrepareResult PrepareHiveFile(const HiveLocation& location);

// Says why the hive file is not used (once per process) and fails with `status`; the files stay
// as they were.
[[noreturn]] void RefuseHive(const std::string& file, const std::string& reason, LONG status);

}  // namespace zelreg
