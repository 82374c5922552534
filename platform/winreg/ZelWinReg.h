// The Win32 registry functions, for platforms without a registry of their own. They keep
// each hive in a file of its own and behave, status code for status code, as Windows does.
// Names and string data are UTF-8.
#pragma once

#include "../ZelExport.h"
#include "../win32/ZelWinTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

ZEL_WINREG_API LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions,
                                         REGSAM samDesired, PHKEY phkResult);
ZEL_WINREG_API LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved,
                                           LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                                           const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                           PHKEY phkResult, LPDWORD lpdwDisposition);
ZEL_WINREG_API LONG WINAPI RegCloseKey(HKEY hKey);
ZEL_WINREG_API LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                            LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
ZEL_WINREG_API LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved,
                                          DWORD dwType, const BYTE* lpData, DWORD cbData);
ZEL_WINREG_API LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
ZEL_WINREG_API LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName);
ZEL_WINREG_API LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName,
                                         LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                                         LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
ZEL_WINREG_API LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                         LPDWORD lpcchValueName, LPDWORD lpReserved,
                                         LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
ZEL_WINREG_API LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass,
                                            LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                            LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                            LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                            LPDWORD lpcbMaxValueLen,
                                            LPDWORD lpcbSecurityDescriptor,
                                            PFILETIME lpftLastWriteTime);
ZEL_WINREG_API LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
ZEL_WINREG_API LONG WINAPI RegFlushKey(HKEY hKey);
ZEL_WINREG_API LONG WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree,
                                                   DWORD dwNotifyFilter, HANDLE hEvent,
                                                   BOOL fAsynchronous);
ZEL_WINREG_API LONG WINAPI SHDeleteKeyA(HKEY hKey, LPCSTR pszSubKey);

// The few event functions that change notification needs.
ZEL_WINREG_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes,
                                          BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
ZEL_WINREG_API BOOL WINAPI SetEvent(HANDLE hEvent);
ZEL_WINREG_API BOOL WINAPI ResetEvent(HANDLE hEvent);
ZEL_WINREG_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
ZEL_WINREG_API BOOL WINAPI CloseHandle(HANDLE hObject);

// Registry transactions (ktmw32 and advapi32 on Windows). A transaction's changes are applied
// all at once when it commits, and not at all when it is rolled back, closed or its process
// ends; see Transaction.h for what makes a commit fail with ERROR_TRANSACTIONAL_CONFLICT.
ZEL_WINREG_API HANDLE WINAPI CreateTransaction(LPSECURITY_ATTRIBUTES lpTransactionAttributes, LPGUID UOW,
                                               DWORD CreateOptions, DWORD IsolationLevel, DWORD IsolationFlags,
                                               DWORD Timeout, LPWSTR Description);
ZEL_WINREG_API BOOL WINAPI CommitTransaction(HANDLE TransactionHandle);
ZEL_WINREG_API BOOL WINAPI RollbackTransaction(HANDLE TransactionHandle);
ZEL_WINREG_API LONG WINAPI RegCreateKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                                   DWORD dwOptions, REGSAM samDesired,
                                                   const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                                   PHKEY phkResult, LPDWORD lpdwDisposition,
                                                   HANDLE hTransaction, PVOID pExtendedParemeter);
ZEL_WINREG_API LONG WINAPI RegOpenKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                                 PHKEY phkResult, HANDLE hTransaction, PVOID pExtendedParemeter);
ZEL_WINREG_API LONG WINAPI RegDeleteKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, DWORD Reserved,
                                                   HANDLE hTransaction, PVOID pExtendedParameter);

// A key's sub-tree to a hive file and back. The file is a hive of this store's format (not
// Windows'), which RegRestoreKeyA and the store read; RegSaveKeyA fails with ERROR_ALREADY_EXISTS
// when the file exists, and RegRestoreKeyA refuses a file that is no such hive with ERROR_BADDB,
// changing nothing.
#ifndef REG_FORCE_RESTORE
#define REG_WHOLE_HIVE_VOLATILE 0x00000001L
#define REG_REFRESH_HIVE 0x00000002L
#define REG_NO_LAZY_FLUSH 0x00000004L
#define REG_FORCE_RESTORE 0x00000008L
#endif
ZEL_WINREG_API LONG WINAPI RegSaveKeyA(HKEY hKey, LPCSTR lpFile, const LPSECURITY_ATTRIBUTES lpSecurityAttributes);
ZEL_WINREG_API LONG WINAPI RegRestoreKeyA(HKEY hKey, LPCSTR lpFile, DWORD dwFlags);

// The calling thread's last error, which the transaction functions set when they fail (the
// registry functions return their status instead, and leave it alone).
ZEL_WINREG_API DWORD WINAPI GetLastError(void);
ZEL_WINREG_API void WINAPI SetLastError(DWORD dwErrCode);

// The number of registry key handles this process holds open (predefined keys excluded).
ZEL_WINREG_API DWORD WINAPI ZelRegOpenHandleCount(void);

// The bytes that this process's cache of what it read of the hives holds now, roughly; it never
// holds more than a set amount (16 MB per hive).
ZEL_WINREG_API DWORD WINAPI ZelRegReadCacheBytes(void);

// Detailed watches: what changed in a key, or in its sub-tree, change by change
// (ZELREG_CHANGE_* in ZelWinTypes.h), from this process and every other, in the order the
// changes were made; a transaction's changes come together once it has committed. The watch
// follows the key by its path: deleted, it reports ZELREG_CHANGE_KEY_DELETED (after its
// sub-keys); created anew, ZELREG_CHANGE_KEY_CREATED, and it goes on. CloseHandle ends it.
// NULL on failure, with GetLastError telling why (as RegOpenKeyExA would).
ZEL_WINREG_API HANDLE WINAPI ZelRegCreateWatch(HKEY hKey, BOOL bWatchSubtree);
// Takes the oldest change not yet read: its kind, the changed key's path below the watched key
// ("" for the key itself) and, for a value, its name ("" otherwise); the sizes in characters
// go in and come back without the NUL. ERROR_NO_MORE_ITEMS when there is none;
// ERROR_MORE_DATA, with the sizes needed (NUL included), when either buffer is too small: the
// change stays to be read. A watch belongs to the process that made it: in a forked child its
// handle answers ERROR_INVALID_HANDLE here (and -1 below), and the parent's changes stay its own.
ZEL_WINREG_API LONG WINAPI ZelRegReadChange(HANDLE hWatch, LPDWORD lpdwKind, LPSTR lpKeyPath, LPDWORD lpcchKeyPath,
                                            LPSTR lpValueName, LPDWORD lpcchValueName);
// A descriptor that poll() finds readable while changes wait to be read; it belongs to the
// watch (never close it). -1 for a handle that is no watch.
ZEL_WINREG_API int WINAPI ZelRegWatchDescriptor(HANDLE hWatch);

// The files behind the registry (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE as hRoot; another key
// gives ERROR_INVALID_HANDLE).
//
// Whether opening a hive may create it and its directory, for the whole process (TRUE until
// changed). A program that only reads turns it off first: a hive that is missing then answers
// ERROR_FILE_NOT_FOUND, with a message on standard error naming the directory looked in, and
// nothing is made.
ZEL_WINREG_API void WINAPI ZelRegCreateHives(BOOL bCreate);
// Where the hive's file is, whether it exists or not: its path in lpFile, *lpcchFile its length
// (ERROR_MORE_DATA and the size needed, with the NUL, when the buffer is too small; with lpFile
// NULL, only that size); what chose the directory in *lpdwSource (ZELREG_HIVE_FROM_...); the
// format its header names in *lpdwFormat, 0 when it does not exist or is no hive. Opens nothing.
#define ZELREG_HIVE_FROM_ENVIRONMENT 1    // ZEL_REGISTRY_DIR
#define ZELREG_HIVE_FROM_USER_DEFAULT 2   // $XDG_CONFIG_HOME/zelregistry or ~/.config/zelregistry
#define ZELREG_HIVE_FROM_MACHINE_DEFAULT 3
ZEL_WINREG_API LONG WINAPI ZelRegQueryHiveFile(HKEY hRoot, LPSTR lpFile, LPDWORD lpcchFile, LPDWORD lpdwSource,
                                              LPDWORD lpdwFormat);
// Copies the whole hive to lpFile (which must not exist: ERROR_ALREADY_EXISTS) while programs go
// on using it: one moment's hive, its log included, in a file complete in itself that the store
// opens as a hive.
ZEL_WINREG_API LONG WINAPI ZelRegBackupHive(HKEY hRoot, LPCSTR lpFile);
// Checks the hive's file: every page and index, and that it is a hive of a format the store
// reads. ERROR_SUCCESS when sound, ERROR_FILE_NOT_FOUND when there is none, ERROR_BADDB when
// the file is no such hive, ERROR_REGISTRY_CORRUPT when damaged; lpMessage gets one line saying
// so (cut to cchMessage), and for a hive that is not sound what the user can do.
ZEL_WINREG_API LONG WINAPI ZelRegCheckHive(HKEY hRoot, LPSTR lpMessage, DWORD cchMessage);

#ifdef __cplusplus
}
#endif
