// The zelreg command line as a function, so that tests run its verbs without a process.
#pragma once

#include "Console.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace zelregtool {

// `words` are the arguments after the program name; the exit code: 0 success, 1 failure (and
// compare's 2, different).
int RunZelreg(const std::vector<std::string>& words, Console& console);
// The same over three streams, `out` taking a file named "-" as well.
int RunZelreg(const std::vector<std::string>& words, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace zelregtool
