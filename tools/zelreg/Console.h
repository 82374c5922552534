// The streams a command talks through, its yes/no question, and the program's own standard
// streams, which on Windows reach a console in its own characters.
#pragma once

#include <iosfwd>
#include <memory>
#include <streambuf>
#include <string>

#include "Registry.h"

namespace zelregtool {

struct Console {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // Where a file named "-" goes: standard output with no change to line ends or characters;
    // null where `out` is that already.
    std::ostream* data = nullptr;

    std::ostream& Data() { return data ? *data : out; }
};

// Asks "<question> (Yes/No)? " until the answer is yes or no; the end of input is no.
bool Confirm(Console& console, const std::string& question);

enum class Answer { No, Yes, All };
// Asks "<question> (Yes/No/All)? " until the answer is one of them; the end of input is no.
Answer ConfirmAll(Console& console, const std::string& question);

// "ERROR: <message>" on the error stream; the failing exit code.
int Fail(Console& console, const std::string& message);

// What reg.exe says after a change that worked; the succeeding exit code.
int Succeed(Console& console);

// The complete characters at the start of `pending` as UTF-16, taken out of it; a character
// cut off at the end stays there for the next piece of text. Malformed bytes become U+FFFD.
std::u16string TakeCompleteUtf8(std::string& pending);

#if defined(_WIN32)
// Whether a standard handle is a console rather than a file or pipe.
bool IsConsole(HANDLE handle);

// A stream buffer over a standard handle that takes UTF-8 text with LF line ends: to a
// console it goes through WriteConsoleW, whatever code page the console has; to a file or
// pipe as UTF-8 bytes with CR LF, as a program's text output on Windows has them.
std::unique_ptr<std::streambuf> MakeHandleBuffer(HANDLE handle);
// A stream buffer that passes bytes to a handle as they are.
std::unique_ptr<std::streambuf> MakeRawHandleBuffer(HANDLE handle);
#endif

// The program's standard output and error: on Windows over the handle buffers above, elsewhere
// std::cout and std::cerr; and standard output for data, which on Windows goes out unchanged
// (and standard input is read unchanged there too). Everything written is out when this is
// destroyed.
class StandardStreams {
public:
    StandardStreams();
    ~StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;

    std::ostream& out() { return *out_; }
    std::ostream& err() { return *err_; }
    std::ostream& data() { return *data_; }

private:
    std::unique_ptr<std::streambuf> outBuffer_, errBuffer_, dataBuffer_;
    std::unique_ptr<std::ostream> ownOut_, ownErr_, ownData_;
    std::ostream* out_;
    std::ostream* err_;
    std::ostream* data_;
};

}  // namespace zelregtool
