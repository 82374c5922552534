// save and restore on this platform's store, run as functions: a sub-tree to a hive file and
// back whole, their answers to bad input, the store's functions themselves, and a save while
// another process writes, which is one moment's sub-tree.
#include "ZelregChildSupport.h"

#include <cstdio>
#include <filesystem>
#include <set>

namespace {

using namespace std::string_literals;

class ZelregSaveRestore : public ZelregTest {
protected:
    void SetUp() override {
        ZelregTest::SetUp();
        Set("Tree", "Text", REG_SZ, "text\0"s);
        Set("Tree", "", REG_EXPAND_SZ, "%HOME%\0"s);
        Set("Tree", "Number", REG_DWORD, "\x2a\0\0\0"s);
        Set("Tree\\Sub", "Lines", REG_MULTI_SZ, "a\0b\0\0"s);
        Set("Tree\\Sub\\Deep", "Bytes", REG_BINARY, "\x00\xFF"s);
        HKEY classy = nullptr;
        char keyClass[] = "the class";
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, SubKey("Tree\\Classy").c_str(), 0, keyClass, 0,
                                                 KEY_ALL_ACCESS, nullptr, &classy, nullptr));
        RegCloseKey(classy);
        HKEY fleeting = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, SubKey("Tree\\Fleeting").c_str(), 0, nullptr,
                                                 REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &fleeting, nullptr));
        RegCloseKey(fleeting);
    }

    std::string ClassOf(const std::string& below) const {
        zelregtool::KeyHandle key;
        char keyClass[64] = {};
        DWORD length = sizeof keyClass;
        if (key.Open(HKEY_CURRENT_USER, SubKey(below), KEY_READ) != ERROR_SUCCESS ||
            RegQueryInfoKeyA(key.get(), keyClass, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return "<none>";
        return keyClass;
    }
};

const std::string kDone = "The operation completed successfully.\n";

TEST_F(ZelregSaveRestore, ASubTreeGoesToAFileAndBackWhole) {
    const std::string file = File("tree.hiv");
    std::remove(file.c_str());
    ExpectAnswers({{{"save", Key("Tree"), file}, kDone, "", 0}});
    // The restore replaces what the key held: values and keys it had alone go.
    Set("Back", "Stale", REG_SZ, "stale\0"s);
    Set("Back\\Gone", "x", REG_SZ, "x\0"s);
    ExpectAnswers({{{"restore", Key("Back"), file}, kDone, "", 0}});
    const ZelregResult same = Run({"compare", Key("Tree"), Key("Back"), "/s"});
    EXPECT_EQ(2, same.code);  // the volatile key stayed behind
    EXPECT_EQ("< Key: " + Key("Tree") + "\\Fleeting\nResult Compared: Different\n" + kDone, same.out);
    EXPECT_FALSE(Exists("Back\\Fleeting"));
    EXPECT_FALSE(Exists("Back\\Gone"));
    EXPECT_EQ("<missing>", Get("Back", "Stale").second);
    EXPECT_EQ(std::make_pair(DWORD{REG_EXPAND_SZ}, "%HOME%\0"s), Get("Back", ""));
    EXPECT_EQ(std::make_pair(DWORD{REG_BINARY}, "\x00\xFF"s), Get("Back\\Sub\\Deep", "Bytes"));
    EXPECT_EQ("the class", ClassOf("Back\\Classy"));
    // Values keep the order they were set in.
    zelregtool::KeyHandle back;
    ASSERT_EQ(ERROR_SUCCESS, back.Open(HKEY_CURRENT_USER, SubKey("Back"), KEY_READ));
    char name[16];
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(back.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    EXPECT_EQ((std::vector<std::string>{"Text", "", "Number"}), names);

    // The file is a hive the store opens as it is: a registry of its own.
    const std::string alone = ZelMakeTempDir("zelreg-saved");
    std::filesystem::copy_file(file, alone + "/user.hive");
    const ZelregResult opened = RunInDirectory(alone, {"query", "HKCU", "/v", "Number"});
    EXPECT_EQ(0, opened.code) << opened.err;
    EXPECT_EQ("\nHKEY_CURRENT_USER\n    Number    REG_DWORD    0x2a\n\n", opened.out);
    std::filesystem::remove_all(alone);
}

TEST_F(ZelregSaveRestore, BadInputGetsAClearAnswerAndChangesNothing) {
    const std::string file = File("answers.hiv");
    std::remove(file.c_str());
    ASSERT_EQ(0, Run({"save", Key("Tree"), file}).code);
    const std::string saved = ReadBytes(file);
    WriteBytes(File("text.hiv"), "this is not a hive\n");
    // A database of another program, and a saved hive with its pages overwritten.
    sqlite3* other = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(File("other.db").c_str(), &other));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "CREATE TABLE t(x); INSERT INTO t VALUES(1)", nullptr, nullptr, nullptr));
    sqlite3_close(other);
    std::string damaged = saved;
    for (std::size_t at = 2048; at < damaged.size(); ++at) damaged[at] = static_cast<char>(0xA5);
    WriteBytes(File("damaged.hiv"), damaged);

    const std::string usage = "ERROR: Invalid syntax.\nType \"zelreg SAVE /?\" for usage.\n";
    const std::string notFound = "ERROR: The system was unable to find the specified registry key or value.\n";
    const std::string notAHive = " is not a hive file that zelreg save wrote (error 1009: the hive file is damaged "
                                 "or not a hive). Nothing was restored.\n";
    ExpectAnswers({
        {{"save", Key("Tree")}, "", usage, 1},
        {{"save", Key("Tree"), file, "/x"}, "", usage, 1},
        {{"restore", Key("Tree")}, "", "ERROR: Invalid syntax.\nType \"zelreg RESTORE /?\" for usage.\n", 1},
        {{"save", Key("Missing"), File("missing.hiv")}, "", notFound, 1},
        {{"restore", Key("Missing"), file}, "", notFound, 1},
        {{"save", "HKXX\\Tree", File("x.hiv")}, "", "ERROR: Invalid key name: HKXX\\Tree (it must start with HKCU\\ or HKLM\\)\n", 1},
        {{"save", Key("Tree"), "-"}, "", "ERROR: A hive file cannot be written to standard output; name a file.\n", 1},
        {{"save", Key("Tree"), File("no/such/folder.hiv")},
         "",
         "ERROR: Cannot save " + Key("Tree") + " to " + File("no/such/folder.hiv") +
             ": error 3: the folder does not exist.\n",
         1},
        {{"save", Key("Tree"), file}, "File " + file + " already exists. Overwrite (Yes/No)? \n",
         "The operation was cancelled: nothing was written.\n", 1},
        {{"restore", Key("Tree"), File("none.hiv")}, "",
         "ERROR: Cannot read " + File("none.hiv") + ": there is no such file. Nothing was restored.\n", 1},
        {{"restore", Key("Tree"), File("text.hiv")}, "", "ERROR: " + File("text.hiv") + notAHive, 1},
        {{"restore", Key("Tree"), File("other.db")}, "", "ERROR: " + File("other.db") + notAHive, 1},
        {{"restore", Key("Tree"), File("damaged.hiv")}, "", "ERROR: " + File("damaged.hiv") + notAHive, 1},
        {{"restore", Key("Tree"), ZelTestRegistryDir()}, "", "ERROR: " + ZelTestRegistryDir() + notAHive, 1},
    });
    EXPECT_EQ(saved, ReadBytes(file));
    EXPECT_EQ("text\0"s, Get("Tree", "Text").second);
    EXPECT_EQ("\x00\xFF"s, Get("Tree\\Sub\\Deep", "Bytes").second);
    EXPECT_FALSE(std::filesystem::exists(File("missing.hiv")));

    // With /y, or a yes, the file is replaced by the key as it is now.
    Set("Tree", "Text", REG_SZ, "changed\0"s);
    EXPECT_EQ(0, Run({"save", Key("Tree"), file}, "yes\n").code);
    Set("Tree", "Text", REG_SZ, "changed again\0"s);
    EXPECT_EQ(0, Run({"SAVE", Key("Tree"), file, "/Y"}).code);
    ASSERT_EQ(0, Run({"add", Key("Copy"), "/f"}).code);
    EXPECT_EQ(0, Run({"restore", Key("Copy"), file}).code);
    EXPECT_EQ("changed again\0"s, Get("Copy", "Text").second);
}

TEST_F(ZelregSaveRestore, TheStoreFunctionsAnswerAsWindowsDoes) {
    zelregtool::KeyHandle tree;
    ASSERT_EQ(ERROR_SUCCESS, tree.Open(HKEY_CURRENT_USER, SubKey("Tree"), KEY_ALL_ACCESS));
    const std::string file = File("direct.hiv");
    std::remove(file.c_str());
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSaveKeyA(tree.get(), nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegSaveKeyA(nullptr, file.c_str(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSaveKeyA(tree.get(), file.c_str(), nullptr));
    const std::string saved = ReadBytes(file);
    // As Windows: an existing file is never overwritten.
    EXPECT_EQ(ERROR_ALREADY_EXISTS, RegSaveKeyA(tree.get(), file.c_str(), nullptr));
    EXPECT_EQ(saved, ReadBytes(file));

    struct Case {
        DWORD flags;
        LONG status;
    };
    for (const Case& c : {Case{0x10, ERROR_INVALID_PARAMETER}, Case{REG_WHOLE_HIVE_VOLATILE, ERROR_NOT_SUPPORTED},
                          Case{REG_REFRESH_HIVE, ERROR_NOT_SUPPORTED}, Case{0, ERROR_SUCCESS},
                          Case{REG_FORCE_RESTORE | REG_NO_LAZY_FLUSH, ERROR_SUCCESS}}) {
        EXPECT_EQ(c.status, RegRestoreKeyA(tree.get(), file.c_str(), c.flags)) << c.flags;
    }
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegRestoreKeyA(tree.get(), nullptr, 0));
    // A handle below the key restored over it now names a deleted key.
    zelregtool::KeyHandle sub;
    ASSERT_EQ(ERROR_SUCCESS, sub.Open(HKEY_CURRENT_USER, SubKey("Tree\\Sub"), KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, RegRestoreKeyA(tree.get(), file.c_str(), REG_FORCE_RESTORE));
    EXPECT_EQ(ERROR_KEY_DELETED, RegSaveKeyA(sub.get(), File("deleted.hiv").c_str(), nullptr));
    EXPECT_FALSE(std::filesystem::exists(File("deleted.hiv")));
    EXPECT_EQ(ERROR_KEY_DELETED, RegRestoreKeyA(sub.get(), file.c_str(), 0));
    EXPECT_EQ("a\0b\0\0"s, Get("Tree\\Sub", "Lines").second);
}

// The writer sets A and B to the same number in one transaction per round; every save, taken
// while it writes, holds a pair from one round.
TEST_F(ZelregSaveRestore, ASaveWhileAnotherProcessWritesIsOneMoment) {
    const std::string pair = SubKey("Pair");
    PairWriter writer(pair);
    while (ReadDwordValue(HKEY_CURRENT_USER, pair, "A") == 0) std::this_thread::yield();
    std::set<DWORD> rounds;
    for (int i = 0; i < 40; ++i) {
        const std::string file = File("pair" + std::to_string(i) + ".hiv");
        std::remove(file.c_str());
        const ZelregResult saved = Run({"save", Key("Pair"), file});
        ASSERT_EQ(0, saved.code) << saved.err;
        ASSERT_EQ(0, Run({"add", Key("Copy"), "/f"}).code);
        const ZelregResult restored = Run({"restore", Key("Copy"), file});
        ASSERT_EQ(0, restored.code) << restored.err;
        const DWORD a = ReadDwordValue(HKEY_CURRENT_USER, SubKey("Copy"), "A");
        EXPECT_EQ(a, ReadDwordValue(HKEY_CURRENT_USER, SubKey("Copy"), "B")) << "save " << i;
        EXPECT_NE(0u, a);
        rounds.insert(a);
    }
    EXPECT_TRUE(writer.Stop());
    std::printf("the saves saw %zu of the writer's rounds\n", rounds.size());
}

}  // namespace
