// Whole files in and out; a file is replaced only once its new content is complete.
#pragma once

#include <string>

namespace zelregtool {

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& problem);
// Writes beside `path` first and renames over it, so a failure leaves the old file as it was.
bool ReplaceFileContent(const std::string& path, const std::string& bytes, std::string& problem);

}  // namespace zelregtool
