// The store's own functions for the files behind the registry: where they are, whether they
// may be created, a backup of a whole hive while programs use it, and its check.
#include <algorithm>
#include <optional>

#include "HiveBackup.h"
#include "HiveCheck.h"
#include "HiveFileHeader.h"
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

// The format a hive file's header names; 0 when there is no file or it is no hive. A format
// change is copied into the file at once (see Hive.cpp), so the header never lags behind the
// log in this.
DWORD HiveFileFormat(const std::string& file) {
    const std::optional<HiveFileHeader> header = ReadHiveFileHeader(file);
    if (!header || header->applicationId != static_cast<uint32_t>(kHiveApplicationId)) return 0;
    return header->format;
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
            while (length > 0 && (static_cast<unsigned char>(verdict.message[length]) & 0xC0) == 0x80) --length;
            CopyName(std::string_view(verdict.message).substr(0, length), lpMessage);
        }
        return verdict.status;
    });
}
