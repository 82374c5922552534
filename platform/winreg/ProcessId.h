// This process's id without a system call: calls that must refuse what a forked child inherited
// ask for it on every call, where getpid() would cost more than the rest of a cached read.
#pragma once

#include <sys/types.h>

namespace zelreg {

pid_t ThisProcess();
// Whether a process of that id exists (it may be another one by now, if the id was reused).
bool ProcessAlive(pid_t pid);

}  // namespace zelreg
