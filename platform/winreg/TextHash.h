// The hash of a key id and a text that the store's lookup tables share.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace zelreg {

// A hash of a key id and a text, eight bytes at a time, finished so that every bit of the
// result depends on every bit of the input (tables take their slot from the low bits and a
// tag from the high ones).
inline uint64_t HashText(int64_t start, std::string_view text) {
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    uint64_t hash = (static_cast<uint64_t>(start) ^ text.size()) * kMultiplier;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + at, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    if (at < text.size()) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + at, text.size() - at);
        hash = (hash ^ word) * kMultiplier;
    }
    hash = (hash ^ (hash >> 33)) * 0xFF51AFD7ED558CCDull;
    hash = (hash ^ (hash >> 33)) * 0xC4CEB9FE1A85EC53ull;
    return hash ^ (hash >> 33);
}

}  // namespace zelreg
