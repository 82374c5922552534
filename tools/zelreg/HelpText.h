// What `zelreg /?` and `zelreg VERB /?` print.
#pragma once

#include <string_view>

namespace zelregtool {

extern const char kOverviewHelp[];

// The help of one verb, by its name in lower case; the overview for any other name.
const char* VerbHelp(std::string_view verb);

}  // namespace zelregtool
