// A file the tool writes. A plain file is replaced whole: the new content goes to a file beside
// it, which is then renamed over it, so that a failure leaves the old one as it was; it keeps
// the old file's permissions. A symbolic link is followed, and its target written. Anything
// else (a device such as /dev/null or NUL, a pipe, an open descriptor such as /dev/stdout) is
// written in place and never replaced.
#pragma once

#include <string>
#include <string_view>

namespace zelregtool {

class OutputFile {
public:
    enum class Kind {
        NewFile,    // nothing there yet: created whole
        PlainFile,  // replaced whole
        InPlace,    // a device, pipe or descriptor: written as it is
    };

    // What `name` stands for; false, with `problem`, where that cannot be told (a loop of
    // links, a directory, ...).
    static bool Resolve(const std::string& name, OutputFile& file, std::string& problem);

    Kind kind() const { return kind_; }
    // The process's own standard output (/dev/stdout, /dev/fd/1), where the data goes alone.
    bool IsStandardOutput() const { return descriptor_ == 1; }

    bool Write(std::string_view bytes, std::string& problem) const;

private:
    Kind kind_ = Kind::NewFile;
    std::string path_;     // the plain file behind any links, or the device as named
    int descriptor_ = -1;  // an open descriptor named by /dev/stdout, /dev/fd/N or /proc/self/fd/N
};

}  // namespace zelregtool
