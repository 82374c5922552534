// The framework's heap: plain malloc/free, with exhaustion reported as CMemoryException* and a
// counter that lets tests make one chosen allocation fail.
#include <atomic>
#include <cstdlib>

#include "AfxException.h"
#include "AfxTestHooks.h"

namespace {

// Allocations still to go before the injected failure; 0: none armed.
std::atomic<unsigned long> g_failCountdown{0};

// Counts one allocation down; true for exactly the one allocation that was chosen to fail,
// even when several threads allocate at once.
bool ConsumeInjectedFailure() noexcept {
    unsigned long n = g_failCountdown.load(std::memory_order_relaxed);
    while (n != 0 && !g_failCountdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
    }
    return n == 1;
}

}  // namespace

void* AFXAPI AfxAllocMemory(size_t nSize) {
    if (ConsumeInjectedFailure()) AfxThrowMemoryException();
    // malloc(0) may legitimately return null, which must not read as exhaustion.
    void* p = std::malloc(nSize != 0 ? nSize : 1);
    if (p == nullptr) AfxThrowMemoryException();
    return p;
}

void AFXAPI AfxFreeMemory(void* p) noexcept { std::free(p); }

void AFXAPI AfxTestFailAllocation(unsigned long nth) {
    g_failCountdown.store(nth, std::memory_order_relaxed);
}
