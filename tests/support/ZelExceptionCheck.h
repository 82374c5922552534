// Helpers for looking into exceptions the library throws.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "frame/ZelPropertyLocalException.h"
#include "frame/ZelPropertyObjectException.h"

// Releases a caught framework exception (and with it its causes) at the end of a scope.
struct ZelExceptionDeleter {
    void operator()(CException* e) const { e->Delete(); }
};
template <class T>
using ZelCaught = std::unique_ptr<T, ZelExceptionDeleter>;

inline std::string ZelText(const char* psz) { return psz ? psz : ""; }

// The converted exception's texts and number, as one comparable line.
inline std::string ZelDescribe(const ZelEhBasis& e) {
    return ZelText(e.GetSourceName()) + " | " + ZelText(e.GetClassText()) + " | " +
           ZelText(e.GetMethodText()) + " | " + ZelText(e.GetClosingText()) + " | " +
           std::to_string(e.GetErrorNo());
}

// The cause as a converted exception of the library, or null.
inline ZelPropertyObjectException* ZelObjectCause(const ZelEhBasis& e) {
    CException* cause = e.GetCause();
    if (!cause || !cause->IsKindOf(RUNTIME_CLASS(ZelPropertyObjectException))) return nullptr;
    return static_cast<ZelPropertyObjectException*>(cause);
}

// The local error number of the cause, or 0 when the cause is no local exception. The local
// exception's class is internal to the library, so it is recognised by its record's name.
inline DWORD ZelLocalCauseNo(const ZelEhBasis& e) {
    CException* cause = e.GetCause();
    if (!cause || ZelText(cause->GetRuntimeClass()->m_lpszClassName) != "ZelPropertyLocalException")
        return 0;
    return static_cast<ZelPropertyLocalException*>(cause)->GetLocalErrorNo();
}

// Runs f, expecting it to throw a ZelPropertyObjectException*, which is returned (owned).
template <class F>
ZelCaught<ZelPropertyObjectException> ZelExpectConverted(F&& f) {
    try {
        f();
    } catch (ZelPropertyObjectException* e) {
        return ZelCaught<ZelPropertyObjectException>(e);
    } catch (CException* e) {
        ADD_FAILURE() << "unconverted " << e->GetRuntimeClass()->m_lpszClassName;
        e->Delete();
        return nullptr;
    }
    ADD_FAILURE() << "nothing was thrown";
    return nullptr;
}
