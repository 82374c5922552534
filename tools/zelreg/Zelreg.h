// The zelreg command line as a function, so that tests run its verbs without a process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zelregtool {

// `words` are the arguments after the program name; the exit code: 0 success, 1 failure.
int RunZelreg(const std::vector<std::string>& words, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace zelregtool
