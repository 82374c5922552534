#include "ZelEhDeleteAtTerminate.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<const CRuntimeClass*> classes;  // one entry per living registration
};

// Registrations are objects with static storage in other modules, destroyed when those
// modules are unloaded, possibly after this module's own statics would be. The registry is
// therefore never destroyed: it is built in place on first use and left for the process's end.
Registry& TheRegistry() {
    alignas(Registry) static unsigned char s_storage[sizeof(Registry)];
    static Registry* const s_pRegistry = ::new (static_cast<void*>(s_storage)) Registry();
    return *s_pRegistry;
}

}  // namespace

ZelEhDeleteAtTerminate::ZelEhDeleteAtTerminate(CRuntimeClass* pClass) : m_pClass(pClass) {
    if (pClass == nullptr) AfxThrowInvalidArgException();
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    try {
        registry.classes.push_back(pClass);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

ZelEhDeleteAtTerminate::~ZelEhDeleteAtTerminate() {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = std::find(registry.classes.begin(), registry.classes.end(), m_pClass);
    if (it != registry.classes.end()) registry.classes.erase(it);
}

BOOL PASCAL ZelEhDeleteAtTerminate::IsRegistered(const CRuntimeClass* pClass) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const auto& classes = registry.classes;
    return std::find(classes.begin(), classes.end(), pClass) != classes.end();
}
