// How long the store waits for a hive that other processes keep locked before a call fails
// (ERROR_REGISTRY_IO_FAILED, with a message): ZEL_REGISTRY_LOCK_WAIT seconds when the
// environment sets it to a number from 0 to 86400, else 60. Every wait for a lock, in the store
// and in its lock table, ends within this limit.
#pragma once

#include <chrono>

namespace zelreg {

std::chrono::milliseconds LockWaitLimit();

}  // namespace zelreg
