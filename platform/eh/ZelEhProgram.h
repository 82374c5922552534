// What the error-handling library learns about the running program from its platform.
#pragma once

#include <string>

// The file name of the running program, without its folder (and on Windows without ".exe");
// empty when it cannot be told.
std::string ZelEhProgramName();
