// The program's own output: UTF-8 cut anywhere reaches a console whole, and on Windows a pipe
// gets UTF-8 bytes while a console gets characters, whatever its code page.
#include "zelreg/Console.h"
#include "zelreg/Utf16.h"

#include <gtest/gtest.h>

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
TEST(ZelregConsole, PipeGetsUtf8AndConsoleGetsCharacters) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    EXPECT_FALSE(zelregtool::IsConsole(writeEnd));
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

    // A console of this process's own, in a code page that has no ß: the characters arrive.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    const HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, console);
    EXPECT_TRUE(zelregtool::IsConsole(console));
    SetConsoleOutputCP(437);
    const COORD origin{0, 0};
    SetConsoleCursorPosition(console, origin);
    {
        const auto buffer = zelregtool::MakeHandleBuffer(console);
        std::ostream out(buffer.get());
        out << "Größe" << std::flush;
    }
    wchar_t shown[5] = {};
    DWORD count = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(console, shown, 5, origin, &count));
    EXPECT_EQ(std::wstring(L"Größe"), std::wstring(shown, count));
    CloseHandle(console);
    FreeConsole();
}
#endif

}  // namespace
