// How many registry key handles the test process holds open, to check that code under test
// closed every key it opened: take the count before and compare it afterwards.
//
// With our registry store (Linux) this is the store's own count. On Windows it is the number
// of this process's handles to key objects in the system's handle table. Windows opens a
// handle for a predefined key such as HKEY_CURRENT_USER on its first use and keeps it for the
// life of the process; those are opened here before counting, so that a first use inside the
// measured code does not read as a leak.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <algorithm>
#include <vector>
#endif

#include "frame/ZelPlatform.h"

#if defined(_WIN32)
namespace ZelHandleCountDetail {

// The system's handle table as NtQuerySystemInformation(SystemExtendedHandleInformation)
// gives it; the layout is fixed by the system, the names are ours.
struct HandleEntry {
    PVOID pObject;
    ULONG_PTR nProcessId;
    ULONG_PTR nHandle;
    ULONG nGrantedAccess;
    USHORT nCreatorBackTraceIndex;
    USHORT nObjectTypeIndex;
    ULONG nAttributes;
    ULONG nReserved;
};
struct HandleTable {
    ULONG_PTR nHandles;
    ULONG_PTR nReserved;
    HandleEntry entries[1];
};
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// This process's entries of the handle table; false when the table cannot be read.
inline bool OwnHandles(std::vector<HandleEntry>& handles) {
    static const auto pQuery = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (pQuery == nullptr) return false;
    std::vector<BYTE> buffer(1 << 16);
    LONG status;
    ULONG cbNeeded = 0;
    while ((status = pQuery(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                            &cbNeeded)) == kStatusInfoLengthMismatch)
        buffer.resize(std::max<size_t>(buffer.size() * 2, cbNeeded));
    if (status != 0) return false;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const ULONG_PTR nProcessId = GetCurrentProcessId();
    handles.clear();
    for (ULONG_PTR i = 0; i < table->nHandles; ++i)
        if (table->entries[i].nProcessId == nProcessId) handles.push_back(table->entries[i]);
    return true;
}

}  // namespace ZelHandleCountDetail
#endif

inline DWORD ZelOpenKeyHandleCount() {
#if defined(_WIN32)
    using namespace ZelHandleCountDetail;
    for (HKEY hRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(hRoot, "Software", 0, KEY_READ, &hKey) == ERROR_SUCCESS) RegCloseKey(hKey);
    }
    // A key opened for the count tells which object type index the system gives keys.
    HKEY hProbe = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &hProbe) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open HKEY_CURRENT_USER\\Software to count key handles";
        return 0;
    }
    std::vector<HandleEntry> handles;
    const bool bRead = OwnHandles(handles);
    RegCloseKey(hProbe);
    if (!bRead) {
        ADD_FAILURE() << "cannot read the system's handle table";
        return 0;
    }
    const HandleEntry* pProbe = nullptr;
    for (const HandleEntry& entry : handles)
        if (entry.nHandle == reinterpret_cast<ULONG_PTR>(hProbe)) pProbe = &entry;
    if (pProbe == nullptr) {
        ADD_FAILURE() << "the handle table does not list the process's own key handle";
        return 0;
    }
    DWORD nKeys = 0;
    for (const HandleEntry& entry : handles)
        if (entry.nObjectTypeIndex == pProbe->nObjectTypeIndex) ++nKeys;
    return nKeys - 1;  // without the probe
#else
    return ZelRegOpenHandleCount();
#endif
}
