#include "Console.h"

#include "TextUtil.h"
#include "Utf16.h"

#include <iostream>

#if defined(_WIN32)
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#endif

namespace zelregtool {

namespace {

Answer Ask(Console& console, const std::string& question, bool offerAll) {
    for (;;) {
        console.out << question << (offerAll ? " (Yes/No/All)? " : " (Yes/No)? ") << std::flush;
        std::string line;
        if (!std::getline(console.in, line)) {
            console.out << '\n';
            return Answer::No;
        }
        const std::string_view answer = TrimLeft(TrimRight(line));
        if (EqualsNoCase(answer, "y") || EqualsNoCase(answer, "yes")) return Answer::Yes;
        if (EqualsNoCase(answer, "n") || EqualsNoCase(answer, "no")) return Answer::No;
        if (offerAll && (EqualsNoCase(answer, "a") || EqualsNoCase(answer, "all"))) return Answer::All;
    }
}

}  // namespace

bool Confirm(Console& console, const std::string& question) { return Ask(console, question, false) == Answer::Yes; }

Answer ConfirmAll(Console& console, const std::string& question) { return Ask(console, question, true); }

int Fail(Console& console, const std::string& message) {
    console.err << "ERROR: " << message << '\n';
    return 1;
}

int Succeed(Console& console) {
    console.out << "The operation completed successfully.\n";
    return 0;
}

std::u16string TakeCompleteUtf8(std::string& pending) {
    // A lead byte among the last three whose sequence runs past the end waits for the rest.
    std::size_t complete = pending.size();
    for (std::size_t back = 1; back <= 3 && back <= pending.size(); ++back) {
        const auto byte = static_cast<unsigned char>(pending[pending.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back) complete = pending.size() - back;
        break;
    }
    std::u16string wide;
    Utf8ToUtf16(std::string_view(pending).substr(0, complete), wide);
    pending.erase(0, complete);
    return wide;
}

#if defined(_WIN32)

namespace {

class HandleBuffer : public std::streambuf {
public:
    // `text`: LF becomes CR LF, and a console gets characters; otherwise bytes pass unchanged.
    HandleBuffer(HANDLE handle, bool text) : handle_(handle), text_(text), console_(text && IsConsole(handle)) {}
    ~HandleBuffer() override { Flush(); }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        Append(traits_type::to_char_type(c));
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        for (std::streamsize i = 0; i < count; ++i) Append(text[i]);
        return count;
    }
    int sync() override { return Flush() ? 0 : -1; }

private:
    static constexpr std::size_t kFlushAt = 4096;

    void Append(char c) {
        if (text_ && c == '\n') pending_.push_back('\r');
        pending_.push_back(c);
        if (pending_.size() >= kFlushAt) Flush();
    }

    bool Flush() {
        if (!console_) {
            const bool written = WriteAll(pending_.data(), pending_.size());
            pending_.clear();
            return written;
        }
        const std::u16string wide = TakeCompleteUtf8(pending_);
        for (std::size_t done = 0; done < wide.size();) {
            DWORD written = 0;
            const auto count = static_cast<DWORD>(wide.size() - done);
            if (!WriteConsoleW(handle_, wide.data() + done, count, &written, nullptr) || written == 0) return false;
            done += written;
        }
        return true;
    }

    bool WriteAll(const char* data, std::size_t size) {
        while (size > 0) {
            DWORD written = 0;
            if (!WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) return false;
            data += written;
            size -= written;
        }
        return true;
    }

    HANDLE handle_;
    bool text_;
    bool console_;
    std::string pending_;
};

}  // namespace

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::unique_ptr<std::streambuf> MakeHandleBuffer(HANDLE handle) { return std::make_unique<HandleBuffer>(handle, true); }

std::unique_ptr<std::streambuf> MakeRawHandleBuffer(HANDLE handle) {
    return std::make_unique<HandleBuffer>(handle, false);
}

StandardStreams::StandardStreams()
    : outBuffer_(MakeHandleBuffer(GetStdHandle(STD_OUTPUT_HANDLE))),
      errBuffer_(MakeHandleBuffer(GetStdHandle(STD_ERROR_HANDLE))),
      dataBuffer_(MakeRawHandleBuffer(GetStdHandle(STD_OUTPUT_HANDLE))),
      ownOut_(std::make_unique<std::ostream>(outBuffer_.get())),
      ownErr_(std::make_unique<std::ostream>(errBuffer_.get())),
      ownData_(std::make_unique<std::ostream>(dataBuffer_.get())),
      out_(ownOut_.get()),
      err_(ownErr_.get()),
      data_(ownData_.get()) {
    // Errors appear at once, as std::cerr's do.
    ownErr_->setf(std::ios::unitbuf);
    // A .reg file read from standard input keeps its bytes: no CR LF folding, no end at ^Z.
    _setmode(_fileno(stdin), _O_BINARY);
}

#else

StandardStreams::StandardStreams() : out_(&std::cout), err_(&std::cerr), data_(&std::cout) {}

#endif

StandardStreams::~StandardStreams() {
    out_->flush();
    data_->flush();
    err_->flush();
}

}  // namespace zelregtool
