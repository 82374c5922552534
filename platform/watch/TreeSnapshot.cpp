#include "TreeSnapshot.h"

#include <algorithm>
#include <vector>

namespace zelreg {

std::string JoinKeyPath(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "\\" + name;
}

uint64_t TreeSnapshot::Digest(DWORD type, const void* data, std::size_t size) {
    // FNV-1a over the type and the bytes: a change goes unnoticed only when the digests of the
    // old and new data collide, one chance in 2^64.
    uint64_t digest = 0xCBF29CE484222325ULL;
    auto take = [&digest](unsigned char byte) {
        digest ^= byte;
        digest *= 0x100000001B3ULL;
    };
    for (int shift = 0; shift < 32; shift += 8) take(static_cast<unsigned char>(type >> shift));
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) take(bytes[i]);
    return digest;
}

namespace {

std::size_t Depth(const std::string& path) {
    return path.empty() ? 0 : 1 + static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\'));
}

}  // namespace

TreeChanges CompareSnapshots(const TreeSnapshot& before, const TreeSnapshot& after) {
    TreeChanges changes;
    std::vector<const std::string*> gone;
    std::vector<const std::string*> made;
    for (const auto& key : before.keys) {
        if (!after.keys.count(key.first)) gone.push_back(&key.first);
    }
    for (const auto& key : after.keys) {
        if (!before.keys.count(key.first)) made.push_back(&key.first);
    }
    // Within a depth the paths stay in order: the sort is stable.
    std::stable_sort(gone.begin(), gone.end(), [](const std::string* a, const std::string* b) { return Depth(*a) > Depth(*b); });
    std::stable_sort(made.begin(), made.end(), [](const std::string* a, const std::string* b) { return Depth(*a) < Depth(*b); });
    for (const std::string* path : gone) changes.push_back({ZELREG_CHANGE_KEY_DELETED, *path, ""});
    for (const std::string* path : made) {
        changes.push_back({ZELREG_CHANGE_KEY_CREATED, *path, ""});
        for (const auto& value : after.keys.at(*path)) changes.push_back({ZELREG_CHANGE_VALUE_SET, *path, value.first});
    }
    for (const auto& key : after.keys) {
        auto old = before.keys.find(key.first);
        if (old == before.keys.end()) continue;
        for (const auto& value : key.second) {
            auto was = old->second.find(value.first);
            if (was == old->second.end() || was->second != value.second) {
                changes.push_back({ZELREG_CHANGE_VALUE_SET, key.first, value.first});
            }
        }
        for (const auto& value : old->second) {
            if (!key.second.count(value.first)) changes.push_back({ZELREG_CHANGE_VALUE_DELETED, key.first, value.first});
        }
    }
    return changes;
}

}  // namespace zelreg
