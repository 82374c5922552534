// The streams a command talks through, and its yes/no question.
#pragma once

#include <iosfwd>
#include <string>

namespace zelregtool {

struct Console {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

// Asks "<question> (Yes/No)? " until the answer is yes or no; the end of input is no.
bool Confirm(Console& console, const std::string& question);

// "ERROR: <message>" on the error stream; the failing exit code.
int Fail(Console& console, const std::string& message);

// What reg.exe says after a change that worked; the succeeding exit code.
int Succeed(Console& console);

}  // namespace zelregtool
