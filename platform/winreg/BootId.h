// Which boot of the system this is: volatile keys, and read maps, live only as long as the boot
// they were made in.
#pragma once

#include <string_view>

namespace zelreg {

// The system's boot id; a fixed placeholder when the system does not tell it.
std::string_view BootId();
// Whether BootId() is the system's own, which no other boot shares.
bool BootIdKnown();

}  // namespace zelreg
