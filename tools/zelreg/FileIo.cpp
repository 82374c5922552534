#include "FileIo.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace zelregtool {
namespace {

std::string Reason() { return errno ? std::strerror(errno) : "input/output error"; }

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& problem) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = Reason();
        return false;
    }
    return ReadWholeStream(in, bytes, problem);
}

bool ReadWholeStream(std::istream& in, std::string& bytes, std::string& problem) {
    errno = 0;
    std::ostringstream content;
    // An empty stream sets failbit on `content` alone; only `in` going bad is a failure.
    if (in.peek() != std::char_traits<char>::eof()) content << in.rdbuf();
    if (in.bad()) {
        problem = Reason();
        return false;
    }
    bytes = content.str();
    return true;
}

}  // namespace zelregtool
