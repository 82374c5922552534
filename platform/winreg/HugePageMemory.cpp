#include "HugePageMemory.h"

#include <sys/mman.h>

#include <new>

namespace zelreg {
namespace {

std::size_t Mapped(std::size_t bytes) { return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1); }

}  // namespace

void* MapHugePages(std::size_t bytes) {
    void* memory = mmap(nullptr, Mapped(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    // Only advice: without huge pages the block works as well, a little slower.
    madvise(memory, Mapped(bytes), MADV_HUGEPAGE);
    return memory;
}

void UnmapHugePages(void* memory, std::size_t bytes) { munmap(memory, Mapped(bytes)); }

}  // namespace zelreg
