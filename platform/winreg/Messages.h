// What the store has to tell its user goes to standard error, each condition once per file and
// process: a program that keeps calling, on a full disk say, should not flood its error output.
#pragma once

#include <string>

namespace zelreg {

// Prints "zelregistry: <text>" unless `condition` was reported for `file` before.
void Report(const std::string& file, const std::string& condition, const std::string& text);

}  // namespace zelreg
