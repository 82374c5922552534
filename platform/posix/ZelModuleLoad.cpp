// Calls the module's entry function when the shared library is loaded and unloaded, as the
// Windows loader calls a DLL's. A refused load cannot fail dlopen() here, so the process
// stops with a message instead, as a program whose DLL refuses to load does not start.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "../../frame/ZelModule.h"

namespace {

HINSTANCE ThisModule() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ZelModuleEntry), &info) == 0) return nullptr;
    return static_cast<HINSTANCE>(info.dli_fbase);
}

struct ModuleLoad {
    HINSTANCE hInstance = ThisModule();

    ModuleLoad() {
        if (!ZelModuleEntry(hInstance, DLL_PROCESS_ATTACH, nullptr)) {
            std::fputs("MORVAKOFSET111: the module could not join the class framework; load refused\n",
                       stderr);
            std::abort();
        }
    }
    ~ModuleLoad() { ZelModuleEntry(hInstance, DLL_PROCESS_DETACH, nullptr); }
};

// Constructed after the module's other early statics, so destroyed before them.
ModuleLoad g_moduleLoad __attribute__((init_priority(1001)));

}  // namespace
