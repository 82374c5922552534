// Whole files in; files out are OutputFile's.
#pragma once

#include <iosfwd>
#include <string>

namespace zelregtool {

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& problem);
// Everything left in `in` (standard input for a file named "-").
bool ReadWholeStream(std::istream& in, std::string& bytes, std::string& problem);

}  // namespace zelregtool
