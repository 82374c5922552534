#include "ErrorText.h"

namespace zelregtool {

std::string ErrorText(LONG status) {
    // Written out rather than asked of the system: the store has no message table, and the
    // texts should read the same on every platform.
    const char* text = "unexpected registry error";
    switch (status) {
    case ERROR_FILE_NOT_FOUND: text = "the key or value does not exist"; break;
    case 3: text = "the folder does not exist"; break;  // ERROR_PATH_NOT_FOUND
    case ERROR_ACCESS_DENIED: text = "access is denied"; break;
    case ERROR_INVALID_HANDLE: text = "the key handle is invalid"; break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: text = "not enough memory"; break;
    case ERROR_INVALID_PARAMETER: text = "a name or a size is out of range"; break;
    case ERROR_BAD_PATHNAME: text = "the key path is invalid"; break;
    case ERROR_MORE_DATA: text = "more data than expected"; break;
    case ERROR_BADDB: text = "the hive file is damaged or not a hive"; break;
    case ERROR_BADKEY: text = "the key is invalid"; break;
    case ERROR_CANTOPEN: text = "the hive cannot be opened"; break;
    case ERROR_CANTREAD: text = "the hive cannot be read"; break;
    case ERROR_CANTWRITE: text = "the hive cannot be written"; break;
    case ERROR_REGISTRY_CORRUPT: text = "the registry is corrupt"; break;
    case ERROR_REGISTRY_IO_FAILED: text = "the hive file could not be read or written"; break;
    case ERROR_KEY_DELETED: text = "the key has been deleted"; break;
    case ERROR_DISK_FULL: text = "the disk is full"; break;
    case ERROR_ALREADY_EXISTS: text = "the file exists already"; break;
    case ERROR_NOT_SUPPORTED: text = "not supported"; break;
    case 1314: text = "a privilege the call needs is not held"; break;  // ERROR_PRIVILEGE_NOT_HELD
    case ERROR_TRANSACTIONAL_CONFLICT:
        text = "another program changed the same keys meanwhile (run it again)";
        break;
    case ERROR_TRANSACTION_NOT_ACTIVE:
    case ERROR_INVALID_TRANSACTION: text = "the registry transaction ended before its commit"; break;
    default: break;
    }
    return "error " + std::to_string(status) + ": " + text;
}

}  // namespace zelregtool
