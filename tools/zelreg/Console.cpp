#include "Console.h"

#include "TextUtil.h"

#include <istream>
#include <ostream>

namespace zelregtool {

bool Confirm(Console& console, const std::string& question) {
    for (;;) {
        console.out << question << " (Yes/No)? " << std::flush;
        std::string line;
        if (!std::getline(console.in, line)) {
            console.out << '\n';
            return false;
        }
        const std::string_view answer = TrimLeft(TrimRight(line));
        if (EqualsNoCase(answer, "y") || EqualsNoCase(answer, "yes")) return true;
        if (EqualsNoCase(answer, "n") || EqualsNoCase(answer, "no")) return false;
    }
}

int Fail(Console& console, const std::string& message) {
    console.err << "ERROR: " << message << '\n';
    return 1;
}

int Succeed(Console& console) {
    console.out << "The operation completed successfully.\n";
    return 0;
}

}  // namespace zelregtool
