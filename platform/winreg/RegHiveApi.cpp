// The store's own functions for the files behind the registry: where they are, whether they
// may be created, a backup of a whole hive while programs use it, and its check.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "HiveBackup.h"
#include "HiveCheck.h"
#include "HiveSchema.h"
#include "RegApiSupport.h"
#include "ZelWinReg.h"

using namespace zelreg;

namespace {

std::optional<HiveKind> RootHive(HKEY root) {
    switch (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root))) {
    case 0x80000001u: return HiveKind::User;     // HKEY_CURRENT_USER
    case 0x80000002u: return HiveKind::Machine;  // HKEY_LOCAL_MACHINE
    default: return std::nullopt;
    }
}

uint32_t BigEndian(const unsigned char* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

// The format a hive file's header names, read from the file itself without opening it as a
// database; 0 when there is no file or it is no hive. A format change is copied into the file
// at once (see Hive.cpp), so the header never lags behind the log in this.
DWORD HiveFileFormat(const std::string& file) {
    unsigned char header[100] = {};
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const ssize_t got = read(fd, header, sizeof header);
    close(fd);
    // The database header: the magic text, the user version at 60, the application id at 68.
    if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0) return 0;
    if (BigEndian(header + 68) != static_cast<uint32_t>(kHiveApplicationId)) return 0;
    return BigEndian(header + 60);
}

}  // namespace

void WINAPI ZelRegCreateHives(BOOL bCreate) { AllowHiveCreation(bCreate != FALSE); }

LONG WINAPI ZelRegQueryHiveFile(HKEY hRoot, LPSTR lpFile, LPDWORD lpcchFile, LPDWORD lpdwSource, LPDWORD lpdwFormat) {
    const std::optional<HiveKind> kind = RootHive(hRoot);
    if (!kind) return ERROR_INVALID_HANDLE;
    if (lpFile && !lpcchFile) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const HiveLocation location = LocateHive(*kind);
        if (lpdwSource) *lpdwSource = static_cast<DWORD>(location.source);
        if (lpdwFormat) *lpdwFormat = HiveFileFormat(location.file);
        if (!lpcchFile) return ERROR_SUCCESS;
        const auto needed = static_cast<DWORD>(location.file.size() + 1);
        if (!lpFile || *lpcchFile < needed) {
            *lpcchFile = needed;
            return lpFile ? ERROR_MORE_DATA : ERROR_SUCCESS;
        }
        CopyName(location.file, lpFile);
        *lpcchFile = needed - 1;
        return ERROR_SUCCESS;
    });
}

LONG WINAPI ZelRegBackupHive(HKEY hRoot, LPCSTR lpFile) {
    const std::optional<HiveKind> kind = RootHive(hRoot);
    if (!kind) return ERROR_INVALID_HANDLE;
    if (!lpFile) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        BackupHive(Store::Get().GetHive(*kind), lpFile);
        return ERROR_SUCCESS;
    });
}

LONG WINAPI ZelRegCheckHive(HKEY hRoot, LPSTR lpMessage, DWORD cchMessage) {
    const std::optional<HiveKind> kind = RootHive(hRoot);
    if (!kind) return ERROR_INVALID_HANDLE;
    if (!lpMessage && cchMessage) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const HiveVerdict verdict = CheckHive(*kind);
        if (cchMessage) {
            // Cut to fit, on a character's boundary.
            std::size_t length = std::min<std::size_t>(verdict.message.size(), cchMessage - 1);
            while (length > 0 && (static_cast<unsigned char>(verdict.message[length]) & 0xC0) == 0x80 &&
                   length < verdict.message.size())
                --length;
            CopyName(std::string_view(verdict.message).substr(0, length), lpMessage);
        }
        return verdict.status;
    });
}
