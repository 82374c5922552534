// A key handle that an operation of the library opened, closed through the owner's virtual
// CloseKey on every way out, so that an override of CloseKey sees every close.
#pragma once

#include "../ZelRegistryBase.h"

class ZelOpenedKey {
public:
    explicit ZelOpenedKey(ZelRegistryBase& owner, HKEY hKey = nullptr) noexcept
        : m_owner(owner), m_hKey(hKey) {}
    ZelOpenedKey(const ZelOpenedKey&) = delete;
    ZelOpenedKey& operator=(const ZelOpenedKey&) = delete;
    ~ZelOpenedKey() {
        if (m_hKey != nullptr) m_owner.CloseKey(m_hKey);
    }

    HKEY& Handle() noexcept { return m_hKey; }
    HKEY Get() const noexcept { return m_hKey; }
    explicit operator bool() const noexcept { return m_hKey != nullptr; }

private:
    ZelRegistryBase& m_owner;
    HKEY m_hKey;
};
