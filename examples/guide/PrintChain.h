// Prints a failure of the library with every exception below it, outermost first.
#pragma once

#include <ZelRegistry/ZelRegistry.h>
#include <ZelRegistry/frame/ZelPropertyLocalException.h>

#include <cstdio>

inline void PrintChain(CException* e) {
    for (int depth = 0; e != nullptr; ++depth) {
        std::printf("%*s", 2 * depth, "");
        if (auto* converted = dynamic_cast<ZelEhBasis*>(e)) {
            // A ZelPropertyObjectException: 1001, or 1002 for memory exhaustion, with the
            // source unit, class and method that converted what it caught.
            std::printf("%u %s %s: %s\n", static_cast<unsigned>(converted->GetErrorNo()),
                        converted->GetSourceName(), converted->GetClassText(),
                        converted->GetMethodText());
            e = converted->GetCause();
        } else if (auto* local = dynamic_cast<ZelPropertyLocalException*>(e)) {
            // What the library found wrong itself: 2801 empty key, 2802 duplicate key,
            // 2803 a value of the other type.
            std::printf("local error %u\n", static_cast<unsigned>(local->GetLocalErrorNo()));
            e = nullptr;
        } else {
            // A framework exception: CMemoryException, CInvalidArgException.
            char message[256] = "";
            e->GetErrorMessage(message, sizeof message);
            std::printf("%s: %s\n", e->GetRuntimeClass()->m_lpszClassName, message);
            e = nullptr;
        }
    }
}
