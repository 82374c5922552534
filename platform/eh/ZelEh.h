// The error-handling library.
#pragma once

#include "ZelEhBasis.h"
#include "ZelEhDeleteAtTerminate.h"
#include "ZelEhLogFile.h"
#include "ZelEhString.h"
