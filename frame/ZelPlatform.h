// The library's one door to its platform: types, registry functions, the framework layer and
// the maker's two libraries. Nothing else in the library includes platform headers.
#pragma once

#include "../platform/ZelPlatform.h"
