// Memory for a large table read at random, in huge pages where the system gives them
// (transparent huge pages on request): over megabytes, reads at random would otherwise cost a
// page walk each, as the processor's translation buffer holds only so many small pages. Small
// blocks come from the ordinary heap.
#pragma once

#include <cstddef>
#include <memory>

namespace zelreg {

// Blocks of this size and more are mapped on their own, in whole huge pages.
constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// Throws std::bad_alloc when there is no memory.
void* MapHugePages(std::size_t bytes);
void UnmapHugePages(void* memory, std::size_t bytes);

template <class T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) {}

    T* allocate(std::size_t n) {
        if (n * sizeof(T) < kHugePageBytes) return std::allocator<T>().allocate(n);
        return static_cast<T*>(MapHugePages(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) {
        if (n * sizeof(T) < kHugePageBytes) return std::allocator<T>().deallocate(p, n);
        UnmapHugePages(p, n * sizeof(T));
    }
    template <class U>
    bool operator==(const HugePageAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const HugePageAllocator<U>&) const { return false; }
};

}  // namespace zelreg
