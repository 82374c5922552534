#include "CaseFold.h"

#include "Registry.h"

#if !defined(_WIN32)
#include <clocale>
#include <cwctype>
#include <locale.h>
#endif

namespace zelregtool {

#if defined(_WIN32)

std::u32string UpperCase(std::u32string text) {
    // The system's own table; characters beyond the 16-bit range have no case there either.
    for (char32_t& c : text) {
        if (c >= 0x10000 || (c >= 0xD800 && c <= 0xDFFF)) continue;
        WCHAR unit = static_cast<WCHAR>(c);
        CharUpperBuffW(&unit, 1);
        c = unit;
    }
    return text;
}

#else

namespace {

// The C library's Unicode tables, without changing the process's locale; the "C" locale,
// which knows ASCII alone, where the system has no UTF-8 locale.
locale_t UnicodeLocale() {
    static const locale_t locale = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"})
            if (const locale_t found = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr))) return found;
        return newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

}  // namespace

std::u32string UpperCase(std::u32string text) {
    const locale_t locale = UnicodeLocale();
    for (char32_t& c : text) c = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
    return text;
}

#endif

}  // namespace zelregtool
