// add, delete and the command line itself, run as functions with their streams. (query,
// compare and the files in and out have their own; demo runs as the program itself: see
// RunZelreg.cmake.)
#include "ZelregTestSupport.h"

namespace {

using namespace std::string_literals;

class ZelregVerbs : public ZelregTest {};

TEST_F(ZelregVerbs, AddTakesEachTypesDataForm) {
    struct Case {
        std::vector<std::string> options;
        DWORD type;
        std::string data;
    };
    // As reg.exe stores them (facts from Wine's conformance tests of reg.exe), with UTF-8
    // where Windows has UTF-16.
    const std::vector<Case> cases = {
        {{"/v", "S"}, REG_SZ, ""s + '\0'},
        {{"/v", "S", "/d", "Hallo Welt"}, REG_SZ, "Hallo Welt\0"s},
        {{"/v", "E", "/t", "reg_expand_sz", "/d", "%PATH%"}, REG_EXPAND_SZ, "%PATH%\0"s},
        {{"/v", "E", "/t", "REG_EXPAND_SZ"}, REG_EXPAND_SZ, "\0"s},
        {{"/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0bc\\0d"}, REG_MULTI_SZ, "a\0bc\0d\0\0"s},
        {{"/v", "M", "/t", "REG_MULTI_SZ", "/s", "|", "/d", "x|y"}, REG_MULTI_SZ, "x\0y\0\0"s},
        {{"/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0"}, REG_MULTI_SZ, "a\0\0"s},
        {{"/v", "M", "/t", "REG_MULTI_SZ", "/d", "\\0"}, REG_MULTI_SZ, "\0\0"s},
        {{"/v", "M", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "#"}, REG_MULTI_SZ, "\0\0"s},
        {{"/v", "M", "/t", "REG_MULTI_SZ", "/d", ""}, REG_MULTI_SZ, "\0"s},
        {{"/v", "M", "/t", "REG_MULTI_SZ"}, REG_MULTI_SZ, "\0"s},
        {{"/v", "D", "/t", "REG_DWORD", "/d", "0x10"}, REG_DWORD, "\x10\0\0\0"s},
        {{"/v", "D", "/t", "REG_DWORD", "/d", "4294967295"}, REG_DWORD, "\xFF\xFF\xFF\xFF"s},
        {{"/v", "D", "/t", "REG_DWORD_LITTLE_ENDIAN", "/d", "456"}, REG_DWORD, "\xC8\x01\0\0"s},
        {{"/v", "D", "/t", "REG_DWORD_BIG_ENDIAN", "/d", "456"}, REG_DWORD_BIG_ENDIAN, "\xC8\x01\0\0"s},
        {{"/v", "Q", "/t", "REG_QWORD", "/d", "0x123456789"}, REG_QWORD, "\x89\x67\x45\x23\x01\0\0\0"s},
        {{"/v", "Q", "/t", "REG_QWORD"}, REG_QWORD, "\0\0\0\0\0\0\0\0"s},
        {{"/v", "B", "/t", "REG_BINARY", "/d", "00ffA0"}, REG_BINARY, "\x00\xFF\xA0"s},
        {{"/v", "B", "/t", "REG_BINARY", "/d", "abc"}, REG_BINARY, "\x0A\xBC"s},
        {{"/v", "B", "/t", "REG_BINARY"}, REG_BINARY, ""},
        {{"/v", "N", "/t", "REG_NONE"}, REG_NONE, "\0\0"s},
        {{"/v", "N", "/t", "REG_NONE", "/d", "deadbeef"}, REG_NONE, "deadbeef\0"s},
        {{"/d", "default"}, REG_SZ, "default\0"s},
        {{"/t", "REG_NONE"}, REG_NONE, "\0\0"s},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = {"add", Key()};
        words.insert(words.end(), c.options.begin(), c.options.end());
        words.push_back("/f");
        const ZelregResult r = Run(words);
        EXPECT_EQ(0, r.code) << c.options[1] << r.err;
        EXPECT_EQ(std::make_pair(c.type, c.data), Get("", c.options[0] == "/v" ? c.options[1] : "")) << c.options[1];
    }
    // A key alone gets an empty default value, as reg.exe gives it.
    EXPECT_EQ(0, Run({"add", Key("Only\\A\\Key")}).code);
    EXPECT_EQ(std::make_pair(DWORD{REG_SZ}, ""s + '\0'), Get("Only\\A\\Key", ""));
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"/t", "REG_DWORD", "/d", "4294967296"}, {"/t", "REG_DWORD", "/d", "-1"},
          {"/t", "REG_DWORD", "/d", ""}, {"/t", "REG_BINARY", "/d", "zz"}, {"/t", "REG_TEXT"},
          {"/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}, {"/t", "REG_MULTI_SZ", "/d", "\\0a"}}) {
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

TEST_F(ZelregVerbs, VerbsAndSwitchesAreReadInAnyCase) {
    EXPECT_EQ(0, Run({"ADD", Key(), "/V", "x", "/T", "REG_DWORD", "/D", "7", "/F"}).code);
    EXPECT_EQ(0, Run({"Add", Key(), "/VE", "/D", "standard", "/F", "/REG:64"}).code);
    ZelregResult r = Run({"QUERY", Key(), "/V", "x"});
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("x    REG_DWORD    0x7")) << r.out;
    EXPECT_EQ(0, Run({"Export", Key(), File("case.reg"), "/Y"}).code);
    EXPECT_EQ(0, Run({"DeLeTe", Key(), "/VA", "/F"}).code);
    EXPECT_EQ("<missing>", Get("", "x").second);
    r = Run({"IMPORT", File("case.reg")});
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ("standard\0"s, Get("", "").second);
    EXPECT_EQ(0, Run({"Delete", Key(), "/F", "/reg:32"}).code);
    EXPECT_FALSE(Exists(""));
}

TEST_F(ZelregVerbs, UsageErrorsAnswerAsRegExeDoes) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, ""},
        {{"frobnicate", Key()}, ""},
        {{"query"}, "QUERY "},
        {{"Query", Key(), "/x"}, "QUERY "},
        {{"query", Key(), "/v"}, "QUERY "},
        {{"query", Key(), "/s", "/S"}, "QUERY "},
        {{"query", Key(), "extra"}, "QUERY "},
        {{"query", Key(), "/v", "a", "/ve"}, "QUERY "},
        {{"query", Key(), "/reg:32", "/reg:64"}, "QUERY "},
        {{"query", Key(), "/reg:16"}, "QUERY "},
        {{"add", Key(), "/v", "a", "/ve"}, "ADD "},
        {{"add", Key(), "/v", "a", "/t", "REG_DWORD"}, "ADD "},
        {{"add", Key(), "/ve", "/t", "REG_DWORD_BIG_ENDIAN", "/f"}, "ADD "},
        {{"add", Key(), "/v", "a", "/t", "REG_MULTI_SZ", "/s", "ab", "/d", "xaby"}, "ADD "},
        {{"add", Key(), "/v", "a", "/t", "REG_MULTI_SZ", "/s", "", "/d", "x"}, "ADD "},
        {{"add", Key(), "/v", "a", "/d", "1", "/f", "/f"}, "ADD "},
        {{"delete", Key(), "/v", "a", "/va"}, "DELETE "},
        {{"export", Key()}, "EXPORT "},
        {{"import"}, "IMPORT "},
        {{"demo", "now"}, "DEMO "},
    };
    for (const auto& [words, verb] : cases) {
        const ZelregResult r = Run(words);
        EXPECT_EQ(1, r.code) << (words.empty() ? "" : words[0]);
        EXPECT_EQ("ERROR: Invalid syntax.\nType \"zelreg " + verb + "/?\" for usage.\n", r.err);
        EXPECT_EQ("", r.out);
    }
    EXPECT_FALSE(Exists(""));
    const ZelregResult badRoot = Run({"query", "HKXX\\Software"});
    EXPECT_EQ(1, badRoot.code);
    EXPECT_NE(std::string::npos, badRoot.err.find("Invalid key name")) << badRoot.err;
    EXPECT_EQ(1, Run({"import", File("no-such.reg")}).code);

    // Help: the overview, and each verb's own, with every way of asking reg.exe knows.
    for (const auto& [words, expected] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"/?"}, "zelreg VERB /?"}, {{"-H"}, "zelreg VERB /?"}, {{"add", "/?"}, "REG_DWORD_BIG_ENDIAN"},
             {{"ADD", "-h"}, "REG_DWORD_BIG_ENDIAN"}, {{"query", "/H"}, "zelreg query KEY"},
             {{"export", "-?"}, "left out with a warning"}, {{"query", "/?"}, "End of search: N match(es) found."},
             {{"Compare", "/?"}, "Result Compared: Identical"}}) {
        const ZelregResult help = Run(words);
        EXPECT_EQ(0, help.code);
        EXPECT_NE(std::string::npos, help.out.find(expected)) << help.out;
        EXPECT_NE(std::string::npos, help.out.find("/reg:32")) << help.out;
    }
    // The overview names every verb, and each verb's help is its own; it says where the
    // registry lives.
    const std::string overview = Run({"/?"}).out;
    EXPECT_NE(std::string::npos, overview.find("ZEL_REGISTRY_DIR")) << overview;
    for (const std::string verb :
         {"query", "add", "delete", "compare", "export", "import", "copy", "save", "restore", "backup", "check", "where",
          "demo"}) {
        const std::string end = verb == "demo" || verb == "where" ? "\n" : " ";
        EXPECT_NE(std::string::npos, overview.find("  zelreg " + verb + end)) << verb;
        EXPECT_EQ(0u, Run({verb, "/?"}).out.find("zelreg " + verb + end)) << verb;
    }
}

}  // namespace
