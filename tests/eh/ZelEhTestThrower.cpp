#include "ZelEhTestThrower.h"

#include "platform/eh/ZelEh.h"

// Visible to no other module: its class record and type information live only in this one.
class ModuleError : public ZelEhBasis {
    DECLARE_DYNAMIC(ModuleError)
public:
    explicit ModuleError(CException* pCause)
        : ZelEhBasis(".\\Thrower", "ModuleError", "void ZelEhTestThrowFromModule()", "", 4711, 0, 0, pCause, TRUE, 0,
                     TRUE) {}
};

IMPLEMENT_DYNAMIC(ModuleError, ZelEhBasis)

void ZelEhTestThrowFromModule() { throw new ModuleError(new CMemoryException(TRUE)); }
