// query: reg.exe's layout (facts from Wine's conformance tests of reg.exe), the search with /f
// and its switches, and what query refuses, each with its whole answer.
#include "ZelregTestSupport.h"

namespace {

using namespace std::string_literals;

class ZelregQuery : public ZelregTest {
protected:
    // Inserted in name order, so that any enumeration order the registry keeps gives the same.
    void SetUp() override {
        ZelregTest::SetUp();
        Set("", "", REG_SZ, "Standard\0"s);
        Set("", "Liste", REG_MULTI_SZ, "a\0Hello\0\0"s);
        Set("", "Name", REG_SZ, "Hello World\0"s);
        Set("", "Zahl", REG_DWORD, "\x2a\0\0\0"s);
        Set("Bare\\A", "v", REG_DWORD, "\x01\0\0\0"s);
        CreateKey("Bare\\B");
        Set("Hello", "Other", REG_SZ, "x\0"s);
        Set("Hello\\Deep", "Größe", REG_SZ, "GRÜN\0"s);
        CreateKey("Leer");
    }
    void CreateKey(const std::string& below) const {
        zelregtool::KeyHandle key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, SubKey(below), KEY_WRITE));
    }
    // The block reg.exe prints for a key and the given value lines.
    std::string Block(const std::string& below, const std::string& lines) const {
        return Key(below) + "\n" + lines + "\n";
    }
    static std::string Found(int matches) {
        return "End of search: " + std::to_string(matches) + " match(es) found.\n";
    }
};

const std::string kDefault = "    (Default)    REG_SZ    Standard\n";
const std::string kListe = "    Liste    REG_MULTI_SZ    a\\0Hello\n";
const std::string kName = "    Name    REG_SZ    Hello World\n";
const std::string kZahl = "    Zahl    REG_DWORD    0x2a\n";
const std::string kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";

TEST_F(ZelregQuery, ListsKeysAsRegExeDoes) {
    const std::string top = Block("", kDefault + kListe + kName + kZahl);
    ExpectAnswers({
        // The key's values, a blank line, its sub-keys; the key's name only where it has values.
        {{"query", "hkcu\\" + SubKey()}, "\n" + top + Key("Bare") + "\n" + Key("Hello") + "\n" + Key("Leer") + "\n", "", 0},
        {{"query", Key("Bare")}, "\n" + Key("Bare\\A") + "\n" + Key("Bare\\B") + "\n", "", 0},
        {{"query", Key("Leer")}, "\n", "", 0},
        // With /s every key below it comes with its values and a blank line, empty ones too.
        {{"query", Key("Bare"), "/s"}, "\n" + Block("Bare\\A", "    v    REG_DWORD    0x1\n") + Block("Bare\\B", ""), "", 0},
        {{"query", Key("Hello") + "\\", "/S"},
         "\n" + Block("Hello", "    Other    REG_SZ    x\n") + Block("Hello\\Deep", "    Größe    REG_SZ    GRÜN\n"), "",
         0},
        // One value; the name as asked for; an unset default value is shown, not missed.
        {{"query", Key(), "/v", "name"}, "\n" + Block("", "    name    REG_SZ    Hello World\n"), "", 0},
        {{"query", Key(), "/ve"}, "\n" + Block("", kDefault), "", 0},
        {{"query", Key("Hello"), "/ve"}, "\n" + Block("Hello", "    (Default)    REG_SZ    (value not set)\n"), "", 0},
        // /z adds the type's number; /se parts the items of a list.
        {{"query", Key("Hello"), "/z"}, "\n" + Block("Hello", "    Other    REG_SZ (1)    x\n") + Key("Hello\\Deep") + "\n",
         "", 0},
        {{"query", Key(), "/v", "Liste", "/se", "|", "/z"}, "\n" + Block("", "    Liste    REG_MULTI_SZ (7)    a|Hello\n"),
         "", 0},
        {{"query", Key(), "/v", "Missing"}, "", kNotFound, 1},
        {{"query", Key("Nowhere")}, "", kNotFound, 1},
        {{"query", "HKXX\\Software"}, "", "ERROR: Invalid key name: HKXX\\Software (it must start with HKCU\\ or HKLM\\)\n", 1},
    });
}

TEST_F(ZelregQuery, SearchFindsWhatEachSwitchAllows) {
    const std::string top = Block("", kListe + kName);
    ExpectAnswers({
        // Value names, data, and the names of the sub-keys (alone on their line), in any case.
        {{"query", Key(), "/f", "hello"}, "\n" + top + Key("Hello") + "\n\n" + Found(3), "", 0},
        {{"query", Key(), "/f", "hello", "/s"}, "\n" + top + Key("Hello") + "\n\n" + Found(3), "", 0},
        {{"query", Key(), "/f", "hello", "/k", "/s"}, "\n" + Key("Hello") + "\n\n" + Found(1), "", 0},
        {{"query", Key(), "/f", "hello", "/d"}, "\n" + top + Found(2), "", 0},
        {{"query", Key(), "/v", "/f", "Na*"}, "\n" + Block("", kName) + Found(1), "", 0},
        {{"query", Key(), "/v", "Name", "/f", "World"}, "\n" + Block("", kName) + Found(1), "", 0},
        // /c and /e: case-sensitive, and the whole name or data.
        {{"query", Key(), "/f", "hello", "/c", "/s"}, "\n" + Found(0), "", 1},
        {{"query", Key(), "/f", "Hello", "/c", "/e", "/s"}, "\n" + Key("Hello") + "\n\n" + Found(1), "", 0},
        {{"query", Key(), "/f", "H?llo W*", "/e", "/d"}, "\n" + Block("", kName) + Found(1), "", 0},
        // Case is folded beyond ASCII, as the registry folds names.
        {{"query", Key(), "/f", "grün", "/s"},
         "\n" + Block("Hello\\Deep", "    Größe    REG_SZ    GRÜN\n") + Found(1), "", 0},
        // /t alone searches too, for values of those types only.
        {{"query", Key(), "/t", "REG_DWORD,reg_multi_sz", "/s"},
         "\n" + Block("", kListe + kZahl) + Block("Bare\\A", "    v    REG_DWORD    0x1\n") + Found(3), "", 0},
        {{"query", Key(), "/t", "REG_DWORD", "/f", "2a", "/d", "/z"},
         "\n" + Block("", "    Zahl    REG_DWORD (4)    0x2a\n") + Found(1), "", 0},
        // /v NAME and /ve with /s look for that value in every key.
        {{"query", Key(), "/v", "Other", "/s"}, "\n" + Block("Hello", "    Other    REG_SZ    x\n") + Found(1), "", 0},
        {{"query", Key(), "/ve", "/s"}, "\n" + Block("", kDefault) + Found(1), "", 0},
        // Keys found by name before a block keep a blank line between them; a key found by its
        // name and its values is one block, each a match.
        {{"query", Key(), "/f", "e", "/s"},
         "\n" + top + Key("Bare") + "\n\n" + Block("Hello", "    Other    REG_SZ    x\n") +
             Block("Hello\\Deep", "    Größe    REG_SZ    GRÜN\n") + Key("Leer") + "\n\n" + Found(8),
         "", 0},
        {{"query", Key(), "/f", "nothing like it"}, "\n" + Found(0), "", 1},
    });
}

TEST_F(ZelregQuery, RefusesWhatRegExeRefuses) {
    const std::string usage = "ERROR: Invalid syntax.\nType \"zelreg QUERY /?\" for usage.\n";
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"/k"}, {"/d"}, {"/c"}, {"/e"},          // only with /f
             {"/v"}, {"/v", "/s"},                     // /v leaves its name out only with /f
             {"/v", "a", "/ve"}, {"/f", "x", "/k", "/v", "a"}, {"/f", "x", "/k", "/ve"},
             {"/se", "ab"}, {"/se", ""}, {"/f"}, {"/t"}, {"/z", "/Z"}, {"/f", "x", "/x"}}) {
        std::vector<std::string> words = {"query", Key()};
        words.insert(words.end(), options.begin(), options.end());
        ExpectAnswers({{words, "", usage, 1}});
    }
    ExpectAnswers({
        {{"query", Key(), "/t", "REG_TEXT"}, "", "ERROR: Invalid type: REG_TEXT\n", 1},
        {{"query", Key(), "/t", "REG_SZ,"}, "", "ERROR: Invalid type: \n", 1},
        {{"query", Key("Nowhere"), "/f", "x"}, "", kNotFound, 1},
    });
}

}  // namespace
