// .reg files: what export writes, byte for byte where it matters; every value type there and
// back; REGEDIT4 and UTF-8 files; deletions; malformed files refused before any change.
#include "zelreg/Utf16.h"
#include "ZelregTestSupport.h"

namespace {

using namespace std::string_literals;

class ZelregRegFile : public ZelregTest {};

const std::string kHeader = "Windows Registry Editor Version 5.00";

// ASCII text as UTF-16LE, made by hand rather than by the converter under test.
std::string AsciiUtf16(const std::string& text) {
    std::string bytes;
    for (char c : text) bytes += std::string(1, c) + '\0';
    return bytes;
}

TEST_F(ZelregRegFile, ExportWritesUtf16WithCrlfAndEveryValueTypeSurvivesImport) {
    struct Value {
        std::string below, name;
        DWORD type;
        std::string data;
    };
    std::string blob;
    for (int i = 0; i < 200; ++i) blob.push_back(static_cast<char>(i));
    const std::vector<Value> values = {
        {"", "", REG_SZ, "default\0"s},
        {"", "Größe \"quoted\" \\path\\", REG_SZ, "C:\\Temp\\\"x\" ü\0"s},
        {"", "Lines", REG_SZ, "one\r\ntwo\0"s},
        {"", "NoTerminator", REG_SZ, "abc"},
        {"", "Empty", REG_SZ, ""},
        {"", "Path", REG_EXPAND_SZ, "%HOME%\\bin\0"s},
        {"", "Liste 名前", REG_MULTI_SZ, "eins\0zwei 😀\0\0"s},
        {"", "Dword", REG_DWORD, "\x0a\x56\x34\x02"},
        {"", "ShortDword", REG_DWORD, "\x01\x02"},
        {"", "Blob", REG_BINARY, blob},
        {"", "Nothing", REG_NONE, ""},
        {"", "Own type", 0x1234, "\x01\x02"},
        {"Unterschlüssel ☃", "Emoji 😀", REG_SZ, "ü😀\0"s},
    };
    // What the registry gives back is what export saw; the store may add a missing NUL.
    std::vector<std::pair<DWORD, std::string>> before;
    for (const Value& v : values) {
        Set(v.below, v.name, v.type, v.data);
        before.push_back(Get(v.below, v.name));
        EXPECT_EQ(v.type, before.back().first) << v.name;
    }
    zelregtool::KeyHandle empty;
    ASSERT_EQ(ERROR_SUCCESS, empty.Create(HKEY_CURRENT_USER, SubKey("Leer"), KEY_WRITE));
    empty.Reset();
    ASSERT_EQ(0, Run({"export", Key(), File("all.reg")}).code);

    // Names and strings are UTF-16 in the file: ö and ß, and 😀 as a surrogate pair.
    const std::string bytes = ReadBytes(File("all.reg"));
    const std::string begin = "\xFF\xFE" + AsciiUtf16(kHeader + "\r\n\r\n[" + Key() + "]\r\n");
    EXPECT_EQ(begin, bytes.substr(0, begin.size()));
    EXPECT_NE(std::string::npos, bytes.find("G\0r\0\xF6\0\xDF\0e\0"s));
    EXPECT_NE(std::string::npos, bytes.find("\x3D\xD8\x00\xDE"s));
    std::string text;
    ASSERT_TRUE(zelregtool::Utf16ToUtf8(zelregtool::Utf16FromLittleEndian(bytes.substr(2)), text));
    EXPECT_NE(std::string::npos, text.find("\r\n\"Größe \\\"quoted\\\" \\\\path\\\\\"=\"C:\\\\Temp\\\\\\\"x\\\" ü\"\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\n\"Dword\"=dword:0234560a\r\n"));
    EXPECT_NE(std::string::npos, text.find("\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,5c,00"));
    EXPECT_NE(std::string::npos, text.find("\"Own type\"=hex(1234):01,02\r\n"));
    EXPECT_NE(std::string::npos, text.find("\"Blob\"=hex:00,01,02,"));
    EXPECT_EQ("\r\n\r\n", text.substr(text.size() - 4));
    // Every line ends in CR LF; hex data is wrapped at 80 columns (key names and quoted strings
    // never are).
    std::size_t start = 0, wrapped = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_EQ('\r', text[end - 1]) << "bare line feed at " << end;
        std::u16string line;
        zelregtool::Utf8ToUtf16(text.substr(start, end - 1 - start), line);
        if (line.find(u"hex") == std::u16string::npos && line.substr(0, 2) != u"  ") continue;
        EXPECT_LE(line.size(), 80u) << text.substr(start, end - 1 - start);
        wrapped += line.back() == u'\\';
    }
    EXPECT_GE(wrapped, 8u);  // 200 bytes of "xx," take at least eight lines

    ASSERT_EQ(ERROR_SUCCESS, static_cast<LONG>(SHDeleteKeyA(HKEY_CURRENT_USER, SubKey().c_str())));
    const ZelregResult imported = Run({"import", File("all.reg")});
    ASSERT_EQ(0, imported.code) << imported.err;
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(before[i], Get(values[i].below, values[i].name)) << values[i].name;
    EXPECT_TRUE(Exists("Leer"));
}

TEST_F(ZelregRegFile, EachEncodingAndEscapeImportsAsWindowsStoresIt) {
    // Each file sets the value "v" below this test's key; the registry holds UTF-8.
    const std::string four = "REGEDIT4\r\n\r\n[" + Key() + "]\r\n";
    const std::string five = kHeader + "\n\n[" + Key() + "]\n";
    struct Case {
        const char* what;
        std::string file;
        DWORD type;
        std::string data;
    };
    const std::vector<Case> cases = {
        // REGEDIT4 is Windows-1252, its string data too: ö, ß, the euro sign (0x80), an
        // undefined byte (0x81, kept as U+0081) and ü in hex(2).
        {"1252 text", four + "\"v\"=\"Gr\xF6\xDF\x80\x81\"\r\n", REG_SZ, "Größ€\xC2\x81\0"s},
        {"1252 hex(2)", four + "\"v\"=hex(2):25,48,fc,00\r\n", REG_EXPAND_SZ, "%Hü\0"s},
        // Version 5 without a byte order mark: UTF-8 where it is, Windows-1252 where it is not.
        {"5 as UTF-8", five + "\"v\"=\"Gr\xC3\xB6\xC3\x9F\xC3\xA9\"\n", REG_SZ, "Größé\0"s},
        {"5 as 1252", five + "\"v\"=\"Gr\xF6\xDF\xE9\"\n", REG_SZ, "Größé\0"s},
        {"UTF-8 REGEDIT4", "\xEF\xBB\xBF" + four + "\"v\"=hex(2):c3,bc,00\r\n", REG_EXPAND_SZ, "ü\0"s},
        // The escapes regedit writes: \\ and \" (Windows), \r and \n (Wine); others stay.
        {"escapes", five + "\"v\"=\"a\\r\\nb \\\"q\\\" C:\\\\x C:\\temp\"\n", REG_SZ, "a\r\nb \"q\" C:\\x C:\\temp\0"s},
        {"escaped \\0", five + "\"v\"=\"\\\\0\"\n", REG_SZ, "\\0\0"s},
        // String data without its NUL gets one, as Windows stores it.
        {"hex(1) no NUL", four + "\"v\"=hex(1):41\r\n", REG_SZ, "A\0"s},
        {"hex(2) no NUL", four + "\"v\"=hex(2):25,50\r\n", REG_EXPAND_SZ, "%P\0"s},
        {"UTF-16 no NUL", five + "\"v\"=hex(1):41,00\n", REG_SZ, "A\0"s},
        {"hex(7) one NUL", five + "\"v\"=hex(7):61,00,00,00\n", REG_MULTI_SZ, "a\0"s},
        {"empty hex(1)", five + "\"v\"=hex(1):\n", REG_SZ, ""},
        {"hex(0) no NUL", four + "\"v\"=hex(0):41\r\n", REG_NONE, "A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(File("case.reg"), c.file);
        const ZelregResult result = Run({"import", File("case.reg")});
        EXPECT_EQ(0, result.code) << result.err;
        EXPECT_EQ(std::make_pair(c.type, c.data), Get("", "v"));
        SHDeleteKeyA(HKEY_CURRENT_USER, SubKey().c_str());
    }
    // Names are decoded alike and take the same escapes.
    WriteBytes(File("names.reg"), four + "\"\xC4nderung\"=dword:00000001\r\n");
    ASSERT_EQ(0, Run({"import", File("names.reg")}).code);
    EXPECT_EQ(REG_DWORD, Get("", "Änderung").first);
    WriteBytes(File("names.reg"), five + "\"two\\nlines\"=dword:00000001\n");
    ASSERT_EQ(0, Run({"import", File("names.reg")}).code);
    EXPECT_EQ(REG_DWORD, Get("", "two\nlines").first);
}

#if defined(_WIN32)
// Gives the key an empty access list, which lets nobody open it, or back a full one.
void Lock(const std::string& subKey, bool locked) {
    SECURITY_DESCRIPTOR descriptor;
    ACL empty;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(InitializeAcl(&empty, sizeof empty, ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, locked ? &empty : nullptr, FALSE));
    HKEY key = nullptr;
    // The owner may always change the access list.
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, WRITE_DAC, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor));
    RegCloseKey(key);
}
#endif

TEST_F(ZelregRegFile, ExportLeavesOutWhatItCannotReadOrWriteAndGoesOn) {
    Set("", "Kept", REG_SZ, "k\0"s);
    Set("", "Two\nlines", REG_SZ, "x\0"s);
    Set("Line\r\nbreak\\Below", "v", REG_SZ, "x\0"s);
    Set("Later", "w", REG_DWORD, "\x01\0\0\0"s);
#if defined(_WIN32)
    Set("Locked\\Inside", "v", REG_SZ, "x\0"s);
    Lock(SubKey("Locked"), true);
#endif
    const ZelregResult r = Run({"export", Key(), File("partial.reg")});
#if defined(_WIN32)
    Lock(SubKey("Locked"), false);
    EXPECT_NE(std::string::npos, r.err.find("WARNING: the key " + Key("Locked") + " is left out of the file: error 5"))
        << r.err;
#endif
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find("WARNING: the value \"Two\nlines\" of " + Key() + " is left out")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("WARNING: the key " + Key("Line\r\nbreak") + " is left out")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("holds everything else")) << r.err;

    // What could be read and written is in the file, before and after what could not.
    ASSERT_EQ(ERROR_SUCCESS, static_cast<LONG>(SHDeleteKeyA(HKEY_CURRENT_USER, SubKey().c_str())));
    const ZelregResult imported = Run({"import", File("partial.reg")});
    ASSERT_EQ(0, imported.code) << imported.err;
    EXPECT_EQ("k\0"s, Get("", "Kept").second);
    EXPECT_EQ("\x01\0\0\0"s, Get("Later", "w").second);
    EXPECT_EQ("<missing>", Get("", "Two\nlines").second);
    EXPECT_FALSE(Exists("Line\r\nbreak"));
#if defined(_WIN32)
    EXPECT_FALSE(Exists("Locked"));
#endif
}

TEST_F(ZelregRegFile, DeletionEntriesRemoveKeysAndValues) {
    Set("Sub\\Deep", "v", REG_SZ, "x\0"s);
    Set("", "Gone", REG_SZ, "x\0"s);
    Set("", "", REG_SZ, "x\0"s);
    Set("", "Stay", REG_SZ, "x\0"s);
    WriteBytes(File("delete.reg"), kHeader + "\r\n\r\n[-" + Key("Sub") + "]\r\n[-" + Key("Never") + "]\r\n\r\n[" +
                                       Key() + "]\r\n\"Gone\"=-\r\n@=-\r\n\"Never\"=-\r\n");
    const ZelregResult result = Run({"import", File("delete.reg")});
    ASSERT_EQ(0, result.code) << result.err;
    EXPECT_FALSE(Exists("Sub"));
    EXPECT_EQ("<missing>", Get("", "Gone").second);
    EXPECT_EQ("<missing>", Get("", "").second);
    EXPECT_EQ("x\0"s, Get("", "Stay").second);
}

TEST_F(ZelregRegFile, MalformedFileIsRefusedWithItsLineBeforeAnyChange) {
    // Lines 1 to 3 are good and would create this test's key; the fault is on `line`.
    const std::string good = kHeader + "\r\n[" + Key() + "]\r\n\"First\"=\"1\"\r\n";
    struct Case {
        std::string text;
        int line;
    };
    const std::vector<Case> cases = {
        {"REGEDIT5\r\n[" + Key() + "]\r\n", 1},
        {good + "[HKEY_CLASSES_ROOT\\x]\r\n", 4},
        {good + "[" + Key() + "\r\n", 4},
        {good + "[-HKEY_CURRENT_USER]\r\n", 4},
        {good + "[-" + Key("x") + "]\r\n\"a\"=\"b\"\r\n", 5},
        {good + "\"a\"=\"b\r\n", 4},
        {good + "\"a\"=\"b\" c\r\n", 4},
        {good + "\"a\" \"b\"\r\n", 4},
        {good + "\"a\"=dword:123456789\r\n", 4},
        {good + "\"a\"=dword:12x4\r\n", 4},
        {good + "\"a\"=hex(2x):00\r\n", 4},
        {good + "\r\n\"a\"=hex:01,\\\r\n  02,2g\r\n\"b\"=\"c\"\r\n", 5},
        {good + "\"a\"=hex:01,02,\\", 4},
        {good + "\"a\"=hex(2):41\r\n", 4},
        {good + "\"a\"=word:1\r\n", 4},
        {good + "\"a\"=\"x\\0y\"\r\n", 4},
        {"\xEF\xBB\xBFREGEDIT4\r\n[" + Key() + "]\r\n\"First\"=\"1\"\r\n\"a\"=hex(2):fc,00\r\n", 4},
        {good + "just text\r\n", 4},
        {"\xEF\xBB\xBF" + good + "\"\xC3(\"=\"x\"\r\n", 4},
        {"\xFF\xFE" + AsciiUtf16(good) + "\"\0"s + "\x00\xD8"s + AsciiUtf16("\"=\"x\"\r\n"), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteBytes(File("bad.reg"), c.text);
        const ZelregResult result = Run({"import", File("bad.reg")});
        EXPECT_EQ(1, result.code);
        EXPECT_NE(std::string::npos, result.err.find("line " + std::to_string(c.line) + ":")) << result.err;
        EXPECT_FALSE(Exists(""));
    }
}

}  // namespace
