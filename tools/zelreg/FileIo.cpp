#include "FileIo.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace zelregtool {
namespace {

std::string Reason() { return errno ? std::strerror(errno) : "input/output error"; }

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& problem) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    if (in) content << in.rdbuf();
    if (!in || in.bad()) {
        problem = Reason();
        return false;
    }
    bytes = content.str();
    return true;
}

bool ReplaceFileContent(const std::string& path, const std::string& bytes, std::string& problem) {
    const std::string temporary = path + ".zelreg-new";
    errno = 0;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            problem = Reason();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        problem = error.message();
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace zelregtool
