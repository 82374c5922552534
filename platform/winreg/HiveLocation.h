// Where the hive files live and how they are created.
#pragma once

#include <string>

namespace zelreg {

enum class HiveKind { User = 0, Machine = 1 };
constexpr int kHiveKinds = 2;

struct HiveLocation {
    std::string directory;
    std::string file;
    // The user hive and a directory named by ZEL_REGISTRY_DIR are private to the user (0700
    // directories, 0600 file); the machine hive is readable by everyone (0644).
    bool privateFile = false;
};

// ZEL_REGISTRY_DIR when set (both hives); otherwise $XDG_CONFIG_HOME/zelregistry (default
// ~/.config/zelregistry) for the user hive and /var/lib/zelregistry for the machine hive.
// Reads the environment each time: it is called when a hive is first opened, never during
// static initialisation.
HiveLocation LocateHive(HiveKind kind);

enum class PrepareResult { Ready, Missing };

// Creates the directory (with missing parents) and an empty hive file with the permissions the
// location asks for, unless they exist. Missing: the file does not exist and cannot be created
// (a machine hive that only the administrator may create).
PrepareResult PrepareHiveFile(const HiveLocation& location);

}  // namespace zelreg
