// copy, run as a function: values and, with /s, the keys below; the prompts before overwriting;
// what reg.exe refuses; and the destination written whole in one transaction.
#include "ZelregTestSupport.h"
#include "support/ZelExpectedDeviation.h"
#include "zelreg/RegTransaction.h"

#include <algorithm>

namespace {

using namespace std::string_literals;
using zelregtool::kNoTransactionsWarning;

class ZelregCopy : public ZelregTest {
protected:
    void SetUp() override {
        ZelregTest::SetUp();
        Set("Src", "Text", REG_SZ, "Your text here...\0"s);
        Set("Src", "Count", REG_DWORD, "\x00\x01\0\0"s);
        Set("Src", "", REG_SZ, "default\0"s);
        Set("Src\\Sub1", "Binary", REG_BINARY, "\x11\x22\x33\x44"s);
        Set("Src\\Sub2\\Deep", "Lines", REG_MULTI_SZ, "a\0b\0\0"s);
    }
};

const std::string kDone = "The operation completed successfully.\n";

TEST_F(ZelregCopy, CopiesValuesAndWithSTheKeysBelow) {
    ZelregResult r = Run({"copy", Key("Src"), Key("Dst"), "/f"});
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ(kDone, r.out);
    EXPECT_EQ("Your text here...\0"s, Get("Dst", "Text").second);
    EXPECT_EQ(std::make_pair(DWORD{REG_DWORD}, "\x00\x01\0\0"s), Get("Dst", "Count"));
    EXPECT_EQ("default\0"s, Get("Dst", "").second);
    EXPECT_FALSE(Exists("Dst\\Sub1"));

    // The names may end in a backslash, in any case.
    r = Run({"COPY", Key("Src") + "\\", Key("Tree") + "\\", "/S", "/F"});
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ(std::make_pair(DWORD{REG_BINARY}, "\x11\x22\x33\x44"s), Get("Tree\\Sub1", "Binary"));
    EXPECT_EQ(std::make_pair(DWORD{REG_MULTI_SZ}, "a\0b\0\0"s), Get("Tree\\Sub2\\Deep", "Lines"));
    EXPECT_EQ("Your text here...\0"s, Get("Tree", "Text").second);
    // Values are added to what the destination has; class of the source is not copied.
    const ZelregResult compared = Run({"compare", Key("Src"), Key("Tree"), "/s"});
    EXPECT_EQ(0, compared.code) << compared.out;

    // Into a key of its own sub-tree: the source as it was when the copy began.
    r = Run({"copy", Key("Src"), Key("Src\\Sub1\\Again"), "/s", "/f"});
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_TRUE(Exists("Src\\Sub1\\Again\\Sub2\\Deep"));
    EXPECT_FALSE(Exists("Src\\Sub1\\Again\\Sub1\\Again"));
}

TEST_F(ZelregCopy, AsksBeforeOverwritingEachValueUnlessForced) {
    Set("Dst", "Text", REG_SZ, "old\0"s);
    Set("Dst", "Count", REG_DWORD, "\x05\0\0\0"s);
    Set("Dst", "Own", REG_SZ, "mine\0"s);
    const std::string dst = "HKEY_CURRENT_USER\\" + SubKey("Dst");
    const std::string askText = "Value Text exists in " + dst + ", overwrite (Yes/No/All)? ";
    const std::string askCount = "Value Count exists in " + dst + ", overwrite (Yes/No/All)? ";
    // The questions come in the order the source lists its values: Text was set before Count.
    const bool textFirst = ZelDeviations::kWineSortsValues.Expect(true, false);
    // No to the first, yes to the second; the default value is new there and asks nothing.
    ZelregResult r = Run({"copy", Key("Src"), Key("Dst")}, "n\ny\n");
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ((textFirst ? askText + askCount : askCount + askText) + kDone, r.out);
    EXPECT_EQ(textFirst ? "old\0"s : "Your text here...\0"s, Get("Dst", "Text").second);
    EXPECT_EQ(textFirst ? "\x00\x01\0\0"s : "\x05\0\0\0"s, Get("Dst", "Count").second);
    EXPECT_EQ("default\0"s, Get("Dst", "").second);
    EXPECT_EQ("mine\0"s, Get("Dst", "Own").second);

    // All answers every question after it.
    Set("Dst", "Count", REG_DWORD, "\x05\0\0\0"s);
    r = Run({"copy", Key("Src"), Key("Dst")}, "maybe\nall\n");
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ(2, std::count(r.out.begin(), r.out.end(), '?')) << r.out;  // maybe, then all
    EXPECT_EQ("Your text here...\0"s, Get("Dst", "Text").second);
    EXPECT_EQ("\x00\x01\0\0"s, Get("Dst", "Count").second);

    // The end of input is no: nothing is overwritten.
    Set("Dst", "Text", REG_SZ, "old\0"s);
    r = Run({"copy", Key("Src"), Key("Dst")}, "");
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ("old\0"s, Get("Dst", "Text").second);

    // /f overwrites without a question.
    r = Run({"copy", Key("Src"), Key("Dst"), "/f"}, "");
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ(kDone, r.out);
    EXPECT_EQ("Your text here...\0"s, Get("Dst", "Text").second);
}

TEST_F(ZelregCopy, RefusesWhatRegExeRefuses) {
    const std::string usage = "ERROR: Invalid syntax.\nType \"zelreg COPY /?\" for usage.\n";
    ExpectAnswers({
        {{"copy"}, "", usage, 1},
        {{"copy", Key("Src")}, "", usage, 1},
        {{"copy", Key("Src"), "/f"}, "", usage, 1},
        {{"copy", Key("Src"), Key("Dst"), "/a"}, "", usage, 1},
        {{"copy", Key("Src"), Key("Dst"), "/s", "/s"}, "", usage, 1},
        {{"copy", Key("Src"), Key("Dst"), "extra"}, "", usage, 1},
        {{"copy", Key("Src"), Key("src")}, "", "ERROR: The source and destination keys cannot be the same.\n", 1},
        {{"copy", Key("Src") + "\\", Key("SRC"), "/s", "/f"},
         "",
         "ERROR: The source and destination keys cannot be the same.\n",
         1},
        {{"copy", Key("Src"), "HKCU\\", "/f"},
         "",
         "ERROR: Invalid key name: HKCU\\ (the destination must lie below the root)\n",
         1},
        {{"copy", Key("Missing"), Key("Dst"), "/f"},
         "",
         "ERROR: The system was unable to find the specified registry key or value.\n",
         1},
        {{"copy", "HKXX\\Src", Key("Dst"), "/f"},
         "",
         "ERROR: Invalid key name: HKXX\\Src (it must start with HKCU\\ or HKLM\\)\n",
         1},
    });
    EXPECT_FALSE(Exists("Dst"));
    EXPECT_EQ(0, Run({"copy", "/?"}).code);
}

TEST_F(ZelregCopy, AFailureLeavesTheDestinationAsItWas) {
    // A key lies at most 509 levels below HKEY_CURRENT_USER. The destination lies at 508 (this
    // test's key is at 3): its values and Sub1 are written in the transaction, and Src's
    // Sub2\Deep would come to 510 and fails. Nothing of it lands.
    std::string deep = "Dst";
    for (int level = 0; level < 504; ++level) deep += "\\a";
    const ZelregResult r = Run({"copy", Key("Src"), Key(deep), "/s", "/f"});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("", r.out);
    if (ZelDeviations::kWineNoTransactedKeys.Applies()) {
        // Without transactions zelreg says so; the destination's path is too long for Wine's A
        // functions, so nothing is written there either.
        ZelDeviations::kWineNoTransactedKeys.Report();
        ZelDeviations::kWineAnsiPathLimit.Report();
        EXPECT_EQ(kNoTransactionsWarning + "ERROR: Cannot write HKEY_CURRENT_USER\\"s + SubKey(deep) +
                      ": error 234: more data than expected. What was written before it stays.\n",
                  r.err);
        EXPECT_FALSE(Exists("Dst"));
        return;
    }
    EXPECT_EQ(0u, r.err.find("ERROR: Cannot write HKEY_CURRENT_USER\\" + SubKey(deep) + "\\Sub2\\Deep: error 87: "))
        << r.err;
    EXPECT_NE(std::string::npos, r.err.find(". Nothing was copied.\n")) << r.err;
    EXPECT_FALSE(Exists("Dst"));
}

}  // namespace
