#include "KeyReader.h"

#include "KeyHandle.h"

#include <algorithm>

namespace zelregtool {
namespace {

// Longer than any name the registry allows (16383 UTF-16 units, three UTF-8 bytes each).
constexpr DWORD kNameLimit = 1 << 16;

// Enumerates names with a buffer that grows until each fits.
template <typename EnumFn>
LONG EnumNames(EnumFn enumerate, std::vector<std::string>& names) {
    names.clear();
    std::string buffer(256, '\0');
    for (DWORD index = 0;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LONG status = enumerate(index, &buffer[0], &length);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (status == ERROR_MORE_DATA && buffer.size() < kNameLimit) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        names.emplace_back(buffer.data(), length);
        ++index;
    }
}

}  // namespace

LONG ReadValue(HKEY key, const std::string& name, RegValue& value) {
    value.name = name;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    // The value may grow between asking for its size and reading it.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        value.data.resize(std::max<DWORD>(size, 1));
        size = static_cast<DWORD>(value.data.size());
        status = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
        if (status == ERROR_SUCCESS) {
            value.data.resize(size);
            return status;
        }
    }
    return status;
}

LONG ReadValues(HKEY key, std::vector<RegValue>& values) {
    values.clear();
    std::vector<std::string> names;
    LONG status = EnumNames(
        [key](DWORD index, char* name, DWORD* length) {
            return RegEnumValueA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
        },
        names);
    if (status != ERROR_SUCCESS) return status;
    for (const std::string& name : names) {
        RegValue value;
        status = ReadValue(key, name, value);
        if (status == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
        if (status != ERROR_SUCCESS) return status;
        values.push_back(std::move(value));
    }
    std::stable_partition(values.begin(), values.end(), [](const RegValue& v) { return v.name.empty(); });
    return ERROR_SUCCESS;
}

LONG ReadSubKeyNames(HKEY key, std::vector<std::string>& names) {
    return EnumNames(
        [key](DWORD index, char* name, DWORD* length) {
            return RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
        },
        names);
}

namespace {

struct Walk {
    bool recursive;
    const std::optional<std::string>& onlyValue;
    REGSAM view;
    const KeyVisitor& visit;
    const KeyFailureHandler& skip;
    KeyPath& failed;

    // A failure at a key below the start is the handler's to pass over; at the start, or
    // where the handler says no, it ends the walk.
    LONG Failure(const KeyPath& path, LONG status, bool start) const {
        if (!start && skip && skip(path, status)) return ERROR_SUCCESS;
        failed = path;
        return status;
    }

    LONG Visit(const KeyPath& path, HKEY handle, bool start) const {
        std::vector<RegValue> values;
        std::vector<std::string> subKeys;
        LONG status = ERROR_SUCCESS;
        if (onlyValue) {
            RegValue value;
            status = ReadValue(handle, *onlyValue, value);
            if (status == ERROR_SUCCESS) values.push_back(std::move(value));
            if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
        } else {
            status = ReadValues(handle, values);
        }
        if (status == ERROR_SUCCESS) status = ReadSubKeyNames(handle, subKeys);
        if (status != ERROR_SUCCESS) return Failure(path, status, start);
        visit(path, values, subKeys);
        for (std::size_t i = 0; recursive && i < subKeys.size(); ++i) {
            const KeyPath childPath = path.Child(subKeys[i]);
            KeyHandle child;
            status = child.Open(handle, subKeys[i], KEY_READ | view);
            if (status == ERROR_FILE_NOT_FOUND) continue;
            status = status == ERROR_SUCCESS ? Visit(childPath, child.get(), false) : Failure(childPath, status, false);
            if (status != ERROR_SUCCESS) return status;
        }
        return ERROR_SUCCESS;
    }
};

}  // namespace

LONG WalkKeys(const KeyPath& path, HKEY handle, bool recursive, const std::optional<std::string>& onlyValue,
              REGSAM view, const KeyVisitor& visit, const KeyFailureHandler& skip, KeyPath& failed) {
    return Walk{recursive, onlyValue, view, visit, skip, failed}.Visit(path, handle, true);
}

}  // namespace zelregtool
