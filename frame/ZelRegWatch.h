// The platform's detailed registry watches, inside the library only.
#pragma once

#include "ZelPlatform.h"
#include "../platform/watch/ZelRegWatch.h"
