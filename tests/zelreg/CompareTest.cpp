// compare: what each output switch shows of two keys, below one root or two, the exit codes
// (0 identical, 2 different, 1 failure) and what compare refuses, each with its whole answer.
#include "ZelregTestSupport.h"

namespace {

using namespace std::string_literals;

class ZelregCompare : public ZelregTest {
protected:
    // A and B differ in Count, in a value each has alone and in a sub-key each has alone; their
    // sub-keys Same are alike. Inserted in name order, as the registry may list them so.
    void SetUp() override {
        ZelregTest::SetUp();
        Set("A", "Count", REG_DWORD, "\x2a\0\0\0"s);
        Set("A", "Name", REG_SZ, "Hello\0"s);
        Set("A", "Only1", REG_SZ, "one\0"s);
        Set("A\\Gone", "x", REG_SZ, "x\0"s);
        Set("A\\Same", "v", REG_DWORD, "\x01\0\0\0"s);
        Set("B", "Count", REG_DWORD, "\x2b\0\0\0"s);
        Set("B", "Name", REG_SZ, "Hello\0"s);
        Set("B", "Only2", REG_DWORD, "\x02\0\0\0"s);
        Set("B\\New", "", REG_SZ, "\0"s);
        Set("B\\Same", "v", REG_DWORD, "\x01\0\0\0"s);
    }
    void TearDown() override {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, SubKey().c_str());
        ZelregTest::TearDown();
    }
    std::string Line(char mark, const std::string& below, const std::string& rest) const {
        return std::string(1, mark) + " Value: " + Key(below) + "  " + rest + "\n";
    }
    std::string KeyLine(char mark, const std::string& below) const {
        return std::string(1, mark) + " Key: " + Key(below) + "\n";
    }
};

const std::string kDifferent = "Result Compared: Different\nThe operation completed successfully.\n";
const std::string kIdentical = "Result Compared: Identical\nThe operation completed successfully.\n";

TEST_F(ZelregCompare, ShowsWhatEachOutputSwitchAsks) {
    const std::string count = Line('<', "A", "Count  REG_DWORD  0x2a") + Line('>', "B", "Count  REG_DWORD  0x2b");
    const std::string alone = Line('<', "A", "Only1  REG_SZ  one") + Line('>', "B", "Only2  REG_DWORD  0x2");
    const std::string name = Line('=', "A", "Name  REG_SZ  Hello");
    const std::string same = KeyLine('=', "A\\Same") + Line('=', "A\\Same", "v  REG_DWORD  0x1");
    ExpectAnswers({
        {{"compare", Key("A"), Key("B")}, count + alone + kDifferent, "", 2},
        {{"compare", Key("A"), Key("B"), "/od"}, count + alone + kDifferent, "", 2},
        {{"compare", Key("A"), Key("B"), "/s"}, count + alone + KeyLine('<', "A\\Gone") + KeyLine('>', "B\\New") + kDifferent,
         "", 2},
        {{"compare", Key("A"), Key("B"), "/OA", "/s"},
         count + name + alone + KeyLine('<', "A\\Gone") + same + KeyLine('>', "B\\New") + kDifferent, "", 2},
        {{"compare", Key("A"), Key("B"), "/os", "/s"}, name + same + kDifferent, "", 2},
        {{"compare", Key("A"), Key("B"), "/on", "/s"}, kDifferent, "", 2},
        // One value: by name in any case, alike, different, or on one side only.
        {{"compare", Key("A"), Key("B"), "/v", "name"}, kIdentical, "", 0},
        {{"compare", Key("A"), Key("B"), "/v", "COUNT"},  // the name as asked for, as query shows it
         Line('<', "A", "COUNT  REG_DWORD  0x2a") + Line('>', "B", "COUNT  REG_DWORD  0x2b") + kDifferent, "", 2},
        {{"compare", Key("A"), Key("B"), "/v", "Only1", "/oa"}, Line('<', "A", "Only1  REG_SZ  one") + kDifferent, "", 2},
        {{"compare", Key("B"), Key("A"), "/v", "Only1"}, Line('>', "A", "Only1  REG_SZ  one") + kDifferent, "", 2},
        {{"compare", Key("B\\New"), Key("A\\Same"), "/ve"},
         Line('<', "B\\New", "(Default)  REG_SZ  ") + kDifferent, "", 2},
        // A key with itself, and keys that differ only below where /s does not look.
        {{"compare", Key("A"), "hkcu\\" + SubKey("A"), "/s", "/oa"},
         Line('=', "A", "Count  REG_DWORD  0x2a") + name + Line('=', "A", "Only1  REG_SZ  one") + KeyLine('=', "A\\Gone") +
             Line('=', "A\\Gone", "x  REG_SZ  x") + same + kIdentical,
         "", 0},
        {{"compare", Key("A\\Same"), Key("B\\Same")}, kIdentical, "", 0},
    });
    // A sub-key on one side alone makes keys differ, when /s looks below them.
    Set("A\\Same\\Extra", "", REG_SZ, "\0"s);
    ExpectAnswers({
        {{"compare", Key("A\\Same"), Key("B\\Same"), "/s"}, KeyLine('<', "A\\Same\\Extra") + kDifferent, "", 2},
        {{"compare", Key("A\\Same"), Key("B\\Same")}, kIdentical, "", 0},
    });
    // A value of the same data but another type differs.
    Set("B\\Same", "v", REG_BINARY, "\x01\0\0\0"s);
    ExpectAnswers({{{"compare", Key("A\\Same"), Key("B\\Same")},
                    Line('<', "A\\Same", "v  REG_DWORD  0x1") + Line('>', "B\\Same", "v  REG_BINARY  01000000") + kDifferent,
                    "", 2}});
}

TEST_F(ZelregCompare, ComparesKeysBelowTwoRoots) {
    zelregtool::KeyHandle machine;
    ASSERT_EQ(ERROR_SUCCESS, machine.Create(HKEY_LOCAL_MACHINE, SubKey(), KEY_WRITE));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(machine.get(), "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>("Hello"), 6));
    const std::string machineKey = "HKEY_LOCAL_MACHINE\\" + SubKey();
    ExpectAnswers({
        {{"compare", Key("A"), "HKLM\\" + SubKey(), "/os"},
         Line('=', "A", "Name  REG_SZ  Hello") + kDifferent, "", 2},
        {{"compare", machineKey, Key("B"), "/v", "Name"}, kIdentical, "", 0},
        {{"compare", machineKey, Key("B"), "/v", "Count"}, "> Value: " + Key("B") + "  Count  REG_DWORD  0x2b\n" + kDifferent,
         "", 2},
    });
}

TEST_F(ZelregCompare, FailuresAndRefusals) {
    const std::string notFound = "ERROR: The system was unable to find the specified registry key or value.\n";
    const std::string usage = "ERROR: Invalid syntax.\nType \"zelreg COMPARE /?\" for usage.\n";
    ExpectAnswers({
        {{"compare", Key("Nowhere"), Key("B")}, "", notFound, 1},
        {{"compare", Key("A"), Key("Nowhere")}, "", notFound, 1},
        // A value that neither key has.
        {{"compare", Key("A"), Key("B"), "/v", "Missing"}, "", notFound, 1},
        {{"compare", Key("A"), Key("B"), "/ve"}, "", notFound, 1},
        {{"compare", Key("A"), "HKXX\\B"}, "", "ERROR: Invalid key name: HKXX\\B (it must start with HKCU\\ or HKLM\\)\n", 1},
        {{"compare", Key("A")}, "", usage, 1},
        {{"compare", Key("A"), Key("B"), Key("A")}, "", usage, 1},
        {{"compare", Key("A"), Key("B"), "/oa", "/od"}, "", usage, 1},
        {{"compare", Key("A"), Key("B"), "/os", "/on"}, "", usage, 1},
        {{"compare", Key("A"), Key("B"), "/v", "Name", "/ve"}, "", usage, 1},
        {{"compare", Key("A"), Key("B"), "/v", "Name", "/s"}, "", usage, 1},
        {{"compare", Key("A"), Key("B"), "/ve", "/s"}, "", usage, 1},
        {{"compare", Key("A"), Key("B"), "/v"}, "", usage, 1},
        {{"compare", Key("A"), Key("B"), "/f"}, "", usage, 1},
    });
}

}  // namespace
