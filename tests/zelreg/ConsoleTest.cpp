// The program's own output: UTF-8 cut anywhere reaches a console whole, and on Windows a pipe
// gets UTF-8 bytes while a console gets characters, whatever its code page.
#include "zelreg/Console.h"
#include "zelreg/Utf16.h"
#include "ZelregTestSupport.h"

#include <ostream>
#include <string>

namespace {

TEST(ZelregConsole, Utf8CutAnywhereComesOutWhole) {
    const std::string text = "Größe € 😀 done";
    std::u16string expected;
    ASSERT_TRUE(zelregtool::Utf8ToUtf16(text, expected));
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        std::string pending = text.substr(0, cut);
        std::u16string wide = zelregtool::TakeCompleteUtf8(pending);
        pending += text.substr(cut);
        wide += zelregtool::TakeCompleteUtf8(pending);
        EXPECT_EQ(expected, wide) << "cut at " << cut;
        EXPECT_EQ("", pending);
    }
    // A malformed byte is not held back for ever.
    std::string malformed = "a\xFF" "b";
    EXPECT_EQ(u"a\uFFFDb", zelregtool::TakeCompleteUtf8(malformed));
}

#if defined(_WIN32)
TEST(ZelregConsole, PipeAndFileGetUtf8WithCrLf) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    EXPECT_FALSE(zelregtool::IsConsole(writeEnd));
    EXPECT_FALSE(zelregtool::IsConsole(INVALID_HANDLE_VALUE));
    {
        const auto buffer = zelregtool::MakeHandleBuffer(writeEnd);
        std::ostream out(buffer.get());
        out << "Gr\xC3" << "\xB6\xC3\x9F" "e\n" << std::flush;
    }
    CloseHandle(writeEnd);
    char bytes[64];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(readEnd, bytes, sizeof bytes, &read, nullptr));
    CloseHandle(readEnd);
    EXPECT_EQ("Größe\r\n", std::string(bytes, read));

    const std::string path = ZelTestRegistryDir() + "\\console-test.txt";
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_FALSE(zelregtool::IsConsole(file));
    {
        const auto buffer = zelregtool::MakeHandleBuffer(file);
        std::ostream out(buffer.get());
        out << "€\n";
    }
    CloseHandle(file);
    EXPECT_EQ("€\r\n", ReadBytes(path));
}

// Where the process can have a console (not under Wine without a display, whose console
// answers no console function), text reaches it as characters in a code page without ß.
TEST(ZelregConsole, ConsoleGetsCharactersWhateverItsCodePage) {
    FreeConsole();
    AllocConsole();
    const HANDLE console = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                     nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (!zelregtool::IsConsole(console)) {
        if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
        FreeConsole();
        GTEST_SKIP() << "this process cannot have a working console here";
    }
    SetConsoleOutputCP(437);
    {
        const auto buffer = zelregtool::MakeHandleBuffer(console);
        std::ostream out(buffer.get());
        out << "Gr\xC3" << "\xB6\xC3\x9F" "e" << std::flush;
    }
    wchar_t shown[5] = {};
    DWORD count = 0;
    EXPECT_TRUE(ReadConsoleOutputCharacterW(console, shown, 5, COORD{0, 0}, &count));
    EXPECT_EQ(std::wstring(L"Größe"), std::wstring(shown, count));
    CloseHandle(console);
    FreeConsole();
}
#endif

}  // namespace
