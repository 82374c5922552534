// import applies a whole file in one transaction: an entry that fails at the end leaves
// everything as it was, the deletions before it too.
#include "ZelregTestSupport.h"
#include "support/ZelExpectedDeviation.h"
#include "zelreg/RegTransaction.h"

namespace {

using namespace std::string_literals;
using zelregtool::kNoTransactionsWarning;

class ZelregImportTransaction : public ZelregTest {};

TEST_F(ZelregImportTransaction, ALastEntryThatFailsImportsNothing) {
    Set("Kept", "Old", REG_SZ, "old\0"s);
    Set("Doomed", "Stays", REG_SZ, "yes\0"s);
    // A key lies at most 509 levels below HKEY_CURRENT_USER; this test's key is at 3, and the
    // last section names one at 510, which no check of the file's text can tell.
    std::string deep = Key("New");
    for (int level = 0; level < 506; ++level) deep += "\\a";
    const std::string file = "Windows Registry Editor Version 5.00\n\n"
                             "[-" + Key("Doomed") + "]\n\n"
                             "[" + Key("Kept") + "]\n\"Old\"=-\n\"Added\"=\"new\"\n\n"
                             "[" + Key("New") + "]\n\"Count\"=dword:00000007\n\n"
                             "[" + deep + "]\n\"Deep\"=\"too deep\"\n";
    WriteBytes(File("fails-last.reg"), file);
    const ZelregResult r = Run({"import", File("fails-last.reg")});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("", r.out);
    if (ZelDeviations::kWineNoTransactedKeys.Applies()) {
        // Without transactions zelreg says so and makes the changes one by one; the last
        // section's path is too long for Wine's A functions.
        ZelDeviations::kWineNoTransactedKeys.Report();
        ZelDeviations::kWineAnsiPathLimit.Report();
        EXPECT_EQ(kNoTransactionsWarning + "ERROR: "s + File("fails-last.reg") + ", line 12: cannot apply to " + deep +
                      ": error 234: more data than expected. The entries before it were imported.\n",
                  r.err);
        EXPECT_FALSE(Exists("Doomed"));
        EXPECT_EQ("new\0"s, Get("Kept", "Added").second);
        return;
    }
    EXPECT_EQ("ERROR: " + File("fails-last.reg") + ", line 12: cannot apply to " + deep +
                  ": error 87: a name or a size is out of range. Nothing was imported.\n",
              r.err);
    EXPECT_EQ("yes\0"s, Get("Doomed", "Stays").second);
    EXPECT_EQ("old\0"s, Get("Kept", "Old").second);
    EXPECT_EQ("<missing>", Get("Kept", "Added").second);
    EXPECT_FALSE(Exists("New"));

    // The same file without its last section goes in whole.
    WriteBytes(File("fits.reg"), file.substr(0, file.rfind("[")));
    const ZelregResult fits = Run({"import", File("fits.reg")});
    EXPECT_EQ(0, fits.code) << fits.err;
    EXPECT_FALSE(Exists("Doomed"));
    EXPECT_EQ("<missing>", Get("Kept", "Old").second);
    EXPECT_EQ("new\0"s, Get("Kept", "Added").second);
    EXPECT_EQ("\x07\0\0\0"s, Get("New", "Count").second);
}

}  // namespace
