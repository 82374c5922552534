// Raising the library's local errors, inside the library only (the exception class itself is
// public: frame/ZelPropertyLocalException.h).
#pragma once

#include "ZelPropertyLocalException.h"

// Local errors are raised while the language-dependent resource module is the current
// resource module; the scope restores the previous one however it is left.
class ZelLocalErrorScope {
public:
    ZelLocalErrorScope();

private:
    ZelLanguageResManager m_resources;
};

// Throws a new local exception; call it inside a ZelLocalErrorScope.
[[noreturn]] void ZelRaiseLocalError(DWORD nLocalErrorNo);
