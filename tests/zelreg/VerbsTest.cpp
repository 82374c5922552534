// query, add, delete and the command line itself, run as functions with their streams. (demo runs
// as the program itself: see RunZelreg.cmake.)
#include "ZelregTestSupport.h"

namespace {

using namespace std::string_literals;

class ZelregVerbs : public ZelregTest {};

TEST_F(ZelregVerbs, QueryPrintsRegExeLayout) {
    // Inserted in name order, so that any enumeration order the registry keeps gives the same.
    Set("", "", REG_SZ, "Standard\0"s);
    Set("", "Bytes", REG_BINARY, "\x01\xAB"s);
    Set("", "Liste", REG_MULTI_SZ, "a\0b\0\0"s);
    Set("", "Name", REG_SZ, "Wert\0"s);
    Set("", "Q", REG_QWORD, "\0\0\0\0\x01\0\0\0"s);
    Set("", "Zahl", REG_DWORD, "\x2a\0\0\0"s);
    Set("Sub", "Inner", REG_EXPAND_SZ, "%X%\0"s);
    Set("Sub2", "x", REG_SZ, "y\0"s);
    const std::string top = "\n" + Key() +
                            "\n    (Default)    REG_SZ    Standard\n    Bytes    REG_BINARY    01AB\n"
                            "    Liste    REG_MULTI_SZ    a\\0b\n    Name    REG_SZ    Wert\n"
                            "    Q    REG_QWORD    0x100000000\n    Zahl    REG_DWORD    0x2a\n";

    ZelregResult r = Run({"query", "hkcu\\" + SubKey()});
    EXPECT_EQ(0, r.code);
    EXPECT_EQ(top + "\n" + Key("Sub") + "\n" + Key("Sub2") + "\n\n", r.out);
    r = Run({"query", Key(), "/s"});
    EXPECT_EQ(top + "\n" + Key("Sub") + "\n    Inner    REG_EXPAND_SZ    %X%\n\n" + Key("Sub2") +
                  "\n    x    REG_SZ    y\n\n",
              r.out);
    r = Run({"query", Key(), "/v", "name"});
    EXPECT_EQ("\n" + Key() + "\n    name    REG_SZ    Wert\n\n", r.out);  // the name as asked for
    r = Run({"query", Key("Sub"), "/ve"});
    EXPECT_EQ("\n" + Key("Sub") + "\n    (Default)    REG_SZ    (value not set)\n\n", r.out);
    r = Run({"query", Key(), "/s", "-v", "X"});
    EXPECT_EQ("\n" + Key("Sub2") + "\n    X    REG_SZ    y\n\nEnd of search: 1 match(es) found.\n\n", r.out);

    r = Run({"query", Key(), "/v", "Missing"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("unable to find")) << r.err;
    EXPECT_EQ(1, Run({"query", Key("Nowhere")}).code);
}

TEST_F(ZelregVerbs, AddTakesEachTypesDataForm) {
    struct Case {
        std::vector<std::string> options;
        DWORD type;
        std::string data;
    };
    const std::vector<Case> cases = {
        {{"/v", "S"}, REG_SZ, ""s + '\0'},
        {{"/v", "S", "/d", "Hallo Welt"}, REG_SZ, "Hallo Welt\0"s},
        {{"/v", "E", "/t", "reg_expand_sz", "/d", "%PATH%"}, REG_EXPAND_SZ, "%PATH%\0"s},
        {{"/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0bc\\0d"}, REG_MULTI_SZ, "a\0bc\0d\0\0"s},
        {{"/v", "M", "/t", "REG_MULTI_SZ", "/s", "|", "/d", "x|y"}, REG_MULTI_SZ, "x\0y\0\0"s},
        {{"/v", "D", "/t", "REG_DWORD", "/d", "0x10"}, REG_DWORD, "\x10\0\0\0"s},
        {{"/v", "D", "/t", "REG_DWORD", "/d", "4294967295"}, REG_DWORD, "\xFF\xFF\xFF\xFF"s},
        {{"/v", "Q", "/t", "REG_QWORD", "/d", "0x123456789"}, REG_QWORD, "\x89\x67\x45\x23\x01\0\0\0"s},
        {{"/v", "B", "/t", "REG_BINARY", "/d", "00ffA0"}, REG_BINARY, "\x00\xFF\xA0"s},
        {{"/v", "N", "/t", "REG_NONE"}, REG_NONE, ""},
        {{"/d", "default"}, REG_SZ, "default\0"s},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = {"add", Key()};
        words.insert(words.end(), c.options.begin(), c.options.end());
        words.push_back("/f");
        const ZelregResult r = Run(words);
        EXPECT_EQ(0, r.code) << c.options[1] << r.err;
        EXPECT_EQ(std::make_pair(c.type, c.data), Get("", c.options[0] == "/d" ? "" : c.options[1])) << c.options[1];
    }
    EXPECT_EQ(0, Run({"add", Key("Only\\A\\Key")}).code);
    EXPECT_TRUE(Exists("Only\\A\\Key"));
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"/t", "REG_DWORD", "/d", "4294967296"}, {"/t", "REG_DWORD", "/d", "-1"},
          {"/t", "REG_BINARY", "/d", "abc"}, {"/t", "REG_BINARY", "/d", "zz"}, {"/t", "REG_TEXT"},
          {"/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}}) {
        std::vector<std::string> words = {"add", Key("Bad"), "/v", "X"};
        words.insert(words.end(), bad.begin(), bad.end());
        EXPECT_EQ(1, Run(words).code) << bad[1];
    }
    EXPECT_FALSE(Exists("Bad"));
}

TEST_F(ZelregVerbs, OverwritingAndDeletingAskUnlessForced) {
    ASSERT_EQ(0, Run({"add", Key(), "/v", "V", "/d", "first"}).code);
    // No, the end of input and an answer after a wrong one each leave the value alone.
    for (const char* answer : {"n\n", "", "maybe\nNO\n"}) {
        const ZelregResult r = Run({"add", Key(), "/v", "V", "/d", "second"}, answer);
        EXPECT_EQ(1, r.code);
        EXPECT_NE(std::string::npos, r.out.find("Value V exists, overwrite (Yes/No)?")) << r.out;
        EXPECT_EQ("first\0"s, Get("", "V").second);
    }
    EXPECT_EQ(0, Run({"add", Key(), "/v", "V", "/d", "second"}, "yes\n").code);
    EXPECT_EQ("second\0"s, Get("", "V").second);
    EXPECT_EQ(0, Run({"add", Key(), "/v", "V", "/d", "third", "/f"}, "").code);
    EXPECT_EQ("third\0"s, Get("", "V").second);

    Set("", "W", REG_SZ, "w\0"s);
    Set("Sub\\Deep", "x", REG_SZ, "x\0"s);
    EXPECT_EQ(1, Run({"delete", Key(), "/v", "V"}, "n\n").code);
    EXPECT_EQ("third\0"s, Get("", "V").second);
    EXPECT_EQ(0, Run({"delete", Key(), "/v", "V"}, "y\n").code);
    EXPECT_EQ("<missing>", Get("", "V").second);
    EXPECT_EQ(1, Run({"delete", Key(), "/v", "V", "/f"}).code);  // no longer there
    EXPECT_EQ(0, Run({"delete", Key(), "/va", "/f"}).code);
    EXPECT_EQ("<missing>", Get("", "W").second);
    EXPECT_TRUE(Exists("Sub\\Deep"));

    EXPECT_EQ(1, Run({"delete", Key("Sub")}, "").code);
    EXPECT_TRUE(Exists("Sub\\Deep"));
    EXPECT_EQ(0, Run({"delete", Key("Sub"), "/f"}).code);
    EXPECT_FALSE(Exists("Sub"));
    EXPECT_EQ(1, Run({"delete", Key("Sub"), "/f"}).code);
    EXPECT_EQ(1, Run({"delete", "HKCU", "/f"}).code);
}

TEST_F(ZelregVerbs, BadArgumentsFailWithUsage) {
    const std::vector<std::vector<std::string>> withUsage = {
        {}, {"frobnicate"}, {"query"}, {"query", Key(), "/x"}, {"query", Key(), "/v"}, {"query", Key(), "/s", "/s"},
        {"query", Key(), "extra"}, {"export", Key()}, {"import"}, {"demo", "now"}};
    for (const auto& words : withUsage) {
        const ZelregResult r = Run(words);
        EXPECT_EQ(1, r.code) << (words.empty() ? "" : words[0]);
        EXPECT_NE(std::string::npos, r.err.find("Usage:")) << r.err;
        EXPECT_EQ("", r.out);
    }
    const ZelregResult badRoot = Run({"query", "HKXX\\Software"});
    EXPECT_EQ(1, badRoot.code);
    EXPECT_NE(std::string::npos, badRoot.err.find("Invalid key name")) << badRoot.err;
    EXPECT_EQ(1, Run({"query", Key(), "/v", "a", "/ve"}).code);
    EXPECT_EQ(1, Run({"import", File("no-such.reg")}).code);
    const ZelregResult help = Run({"/?"});
    EXPECT_EQ(0, help.code);
    EXPECT_NE(std::string::npos, help.out.find("Usage:"));
}

}  // namespace
