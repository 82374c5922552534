// Registers an exception class for clean-up at the module's termination.
#pragma once

#include "../afx/ZelAfx.h"

// A process-wide record of the exception classes that the loaded modules have registered: a
// module registers its classes when it is loaded, and the registration ends when it is
// unloaded. Each object is one registration; a class counts as registered while any of its
// registrations lives.
class ZEL_EH_API ZelEhDeleteAtTerminate {
public:
    // A null class throws CInvalidArgException*.
    explicit ZelEhDeleteAtTerminate(CRuntimeClass* pClass);
    ZelEhDeleteAtTerminate(const ZelEhDeleteAtTerminate&) = delete;
    ZelEhDeleteAtTerminate& operator=(const ZelEhDeleteAtTerminate&) = delete;
    virtual ~ZelEhDeleteAtTerminate();

    // Whether a registration for the class is alive.
    static BOOL PASCAL IsRegistered(const CRuntimeClass* pClass);

private:
    CRuntimeClass* m_pClass;
};
