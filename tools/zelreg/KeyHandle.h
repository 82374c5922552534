// An open registry key that closes itself.
#pragma once

#include "Registry.h"

#include <string>
#include <utility>

namespace zelregtool {

class KeyHandle {
public:
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    KeyHandle(KeyHandle&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    KeyHandle& operator=(KeyHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    ~KeyHandle() { Reset(); }

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

    void Reset() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

    // Opens or creates `path` below `parent`; on failure the handle stays empty.
    LONG Open(HKEY parent, const std::string& path, REGSAM access) {
        Reset();
        return RegOpenKeyExA(parent, path.c_str(), 0, access, &key_);
    }
    LONG Create(HKEY parent, const std::string& path, REGSAM access) {
        Reset();
        return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_,
                               nullptr);
    }

    // The same within a registry transaction: every change made through the handle, and through
    // handles opened below it, is part of it. Without one (null) they are Open and Create.
    LONG OpenIn(HANDLE transaction, HKEY parent, const std::string& path, REGSAM access) {
        if (!transaction) return Open(parent, path, access);
        Reset();
        return RegOpenKeyTransactedA(parent, path.c_str(), 0, access, &key_, transaction, nullptr);
    }
    LONG CreateIn(HANDLE transaction, HKEY parent, const std::string& path, REGSAM access,
                  DWORD* disposition = nullptr) {
        Reset();
        if (!transaction)
            return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_,
                                   disposition);
        return RegCreateKeyTransactedA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                       &key_, disposition, transaction, nullptr);
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace zelregtool
