// backup, check and where on this platform's store, each in a child process with a registry of
// its own, and the verbs that only read, which never create a registry.
#include "ZelregChildSupport.h"

#include <sys/stat.h>

#include <filesystem>

namespace {

using namespace std::string_literals;

class ZelregHiveVerbs : public ZelregTest {
protected:
    void SetUp() override {
        ZelregTest::SetUp();
        dir_ = ZelMakeTempDir("zelreg-hive-verbs");
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        ZelregTest::TearDown();
    }
    // A directory below the test's, holding `hive` as its user hive.
    std::string RegistryWith(const std::string& name, const std::string& hive) const {
        const std::string dir = dir_ + "/" + name;
        std::filesystem::create_directory(dir);
        chmod(dir.c_str(), 0700);
        WriteBytes(dir + "/user.hive", hive);
        chmod((dir + "/user.hive").c_str(), 0600);
        return dir;
    }
    std::string dir_;
};

const std::string kDone = "The operation completed successfully.\n";
const std::string kRemedy =
    "; restore it from a backup (a file made by zelreg backup, put in its place while no program uses the "
    "registry), or move it aside to start a new, empty registry.\n";

// Every backup, taken while another process writes, is a complete hive holding a pair from one
// round of the writer.
TEST_F(ZelregHiveVerbs, ABackupWhileAnotherProcessWritesIsACompleteHive) {
    const std::string pair = SubKey("Pair");
    PairWriter writer(pair);
    while (ReadDwordValue(HKEY_CURRENT_USER, pair, "A") == 0) std::this_thread::yield();
    for (int i = 0; i < 8; ++i) {
        const std::string file = dir_ + "/backup" + std::to_string(i);
        const ZelregResult r = Run({"backup", file});
        ASSERT_EQ(0, r.code) << r.err;
        EXPECT_EQ(kDone, r.out);
        // One file: no log beside it, nor does its header ask for one (bytes 18 and 19 of an
        // SQLite file are 2 for a write-ahead log), so that it is read where it cannot be
        // written; and the store opens it as it is.
        EXPECT_FALSE(std::filesystem::exists(file + "-wal"));
        EXPECT_EQ("\x01\x01"s, ReadBytes(file).substr(18, 2));
        const std::string registry = RegistryWith("restored" + std::to_string(i), ReadBytes(file));
        const ZelregResult checked = RunInDirectory(registry, {"check"});
        EXPECT_EQ(0, checked.code) << checked.err;
        EXPECT_EQ(registry + "/user.hive is sound (format 3, every page and index checked).\n", checked.out);
        const ZelregResult a = RunInDirectory(registry, {"query", Key("Pair"), "/v", "A"});
        const ZelregResult b = RunInDirectory(registry, {"query", Key("Pair"), "/v", "B"});
        ASSERT_EQ(0, a.code) << a.err;
        EXPECT_EQ(a.out.substr(a.out.find("REG_DWORD")), b.out.substr(b.out.find("REG_DWORD"))) << i;
    }
    EXPECT_TRUE(writer.Stop());

    // The machine hive and a file that exists already.
    const std::string file = dir_ + "/backup0";
    ExpectAnswers({
        {{"backup", file}, "File " + file + " already exists. Overwrite (Yes/No)? \n",
         "The operation was cancelled: nothing was written.\n", 1},
        {{"backup", "HKCU", file, "/y"}, kDone, "", 0},
        {{"backup", "HKCU\\Software", file, "/y"}, "", "ERROR: Invalid syntax.\nType \"zelreg BACKUP /?\" for usage.\n", 1},
        {{"backup", "HKLM", file, "/machine"}, "", "ERROR: Invalid syntax.\nType \"zelreg BACKUP /?\" for usage.\n", 1},
        {{"backup"}, "", "ERROR: Invalid syntax.\nType \"zelreg BACKUP /?\" for usage.\n", 1},
        {{"backup", dir_ + "/no/such/file"}, "",
         "ERROR: Cannot back up the hive to " + dir_ + "/no/such/file: error 3: the folder does not exist.\n", 1},
    });
}

TEST_F(ZelregHiveVerbs, CheckSaysInOneLineWhetherTheHiveIsSound) {
    Set("", "Value", REG_SZ, "checked\0"s);
    ASSERT_EQ(0, Run({"backup", dir_ + "/sound"}).code);
    const std::string sound = ReadBytes(dir_ + "/sound");
    std::string damaged = sound;
    // Every page after the first two overwritten: the header still reads, the tables do not.
    for (std::size_t at = 2 * 2048; at < damaged.size(); ++at) damaged[at] = static_cast<char>(at * 7);

    const std::string good = RegistryWith("good", sound);
    const std::string bad = RegistryWith("bad", damaged);
    const std::string text = RegistryWith("text", "this is no hive\n");
    const std::string missing = dir_ + "/misspelt";
    ZelregResult r = RunInDirectory(good, {"check"});
    EXPECT_EQ(0, r.code);
    EXPECT_EQ(good + "/user.hive is sound (format 3, every page and index checked).\n", r.out);
    EXPECT_EQ("", r.err);

    r = RunInDirectory(bad, {"check"});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.find("ERROR: " + bad + "/user.hive is damaged (")) << r.err;
    EXPECT_EQ(r.err.size() - kRemedy.size(), r.err.rfind(kRemedy)) << r.err;
    EXPECT_EQ(damaged, ReadBytes(bad + "/user.hive"));

    r = RunInDirectory(text, {"check", "/machine"});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("ERROR: No registry in " + text + " (set by ZEL_REGISTRY_DIR).\n", r.err);
    r = RunInDirectory(text, {"check", "HKCU"});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("ERROR: " + text + "/user.hive is no hive this program can use: not a registry hive (not a database "
              "file); move it aside to start a new, empty registry.\n", r.err);
    EXPECT_EQ("this is no hive\n", ReadBytes(text + "/user.hive"));

    r = RunInDirectory(missing, {"check"});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("ERROR: No registry in " + missing + " (set by ZEL_REGISTRY_DIR).\n", r.err);
    EXPECT_EQ(1, Run({"check", "HKCU\\Software"}).code);
}

// A misspelt ZEL_REGISTRY_DIR: every verb that only reads says so, and nothing is made.
TEST_F(ZelregHiveVerbs, VerbsThatOnlyReadNeverCreateARegistry) {
    const std::string missing = dir_ + "/misspelt";
    const std::string answer = "ERROR: No registry in " + missing + " (set by ZEL_REGISTRY_DIR).\n";
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"query", "HKCU\\Software"},
             {"query", "HKLM\\Software", "/s"},
             {"export", "HKCU\\Software", dir_ + "/out.reg"},
             {"compare", "HKCU\\Software", "HKCU\\Software\\Other"},
             {"save", "HKCU\\Software", dir_ + "/out.hiv"},
             {"backup", dir_ + "/out.hive"},
             {"backup", "/machine", dir_ + "/out.hive"},
             {"check"},
         }) {
        const ZelregResult r = RunInDirectory(missing, words);
        EXPECT_EQ(1, r.code) << Joined(words);
        EXPECT_EQ("", r.out) << Joined(words);
        EXPECT_EQ(answer, r.err) << Joined(words);
    }
    const ZelregResult where = RunInDirectory(missing, {"where"});
    EXPECT_EQ(0, where.code);
    EXPECT_FALSE(std::filesystem::exists(missing));
    for (const char* name : {"out.reg", "out.hiv", "out.hive"}) EXPECT_FALSE(std::filesystem::exists(dir_ + "/" + name));

    // A verb that writes makes the registry as before.
    EXPECT_EQ(0, RunInDirectory(missing, {"add", "HKCU\\Software\\Made", "/f"}).code);
    EXPECT_TRUE(std::filesystem::exists(missing + "/user.hive"));
    EXPECT_EQ(0, RunInDirectory(missing, {"query", "HKCU\\Software\\Made"}).code);
}

// The store's switch: with creation off a missing hive answers 2 and nothing is made; with it
// on again the hive is made as before.
TEST_F(ZelregHiveVerbs, TheStoreCreatesNoHiveWhenToldNotTo) {
    const std::string missing = dir_ + "/not/yet";
    EXPECT_EQ(0, InDirectory(missing, [&] {
        ZelRegCreateHives(FALSE);
        HKEY key = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        CHILD_CHECK(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr) == ERROR_FILE_NOT_FOUND);
        CHILD_CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        CHILD_CHECK(!std::filesystem::exists(dir_ + "/not"));
        char file[512];
        DWORD length = sizeof file, source = 0, format = 7;
        CHILD_CHECK(ZelRegQueryHiveFile(HKEY_CURRENT_USER, file, &length, &source, &format) == ERROR_SUCCESS);
        CHILD_CHECK(std::string(file, length) == missing + "/user.hive" && source == ZELREG_HIVE_FROM_ENVIRONMENT &&
                    format == 0);
        DWORD small = 4;
        CHILD_CHECK(ZelRegQueryHiveFile(HKEY_CURRENT_USER, file, &small, nullptr, nullptr) == ERROR_MORE_DATA &&
                    small == length + 1);
        CHILD_CHECK(ZelRegQueryHiveFile(HKEY_CLASSES_ROOT, file, &length, nullptr, nullptr) == ERROR_INVALID_HANDLE);
        ZelRegCreateHives(TRUE);
        CHILD_CHECK(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr) == ERROR_SUCCESS);
        RegCloseKey(key);
        length = sizeof file;
        CHILD_CHECK(ZelRegQueryHiveFile(HKEY_CURRENT_USER, file, &length, nullptr, &format) == ERROR_SUCCESS && format == 3);
        return 0;
    }));
}

TEST_F(ZelregHiveVerbs, WhereShowsTheFilesAndWhatChoseThem) {
    const std::string registry = dir_ + "/where";
    ASSERT_EQ(0, RunInDirectory(registry, {"add", "HKCU\\Software\\Here", "/v", "x", "/d", "1", "/f"}).code);
    WriteBytes(registry + "/machine.hive", "no hive at all");
    const ZelregResult r = RunInDirectory(registry, {"where"});
    struct stat user {}, log {}, machine {};
    ASSERT_EQ(0, stat((registry + "/user.hive").c_str(), &user));
    const long long logSize = stat((registry + "/user.hive-wal").c_str(), &log) == 0 ? log.st_size : 0;
    ASSERT_EQ(0, stat((registry + "/machine.hive").c_str(), &machine));
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ("HKEY_CURRENT_USER\n    File      " + registry + "/user.hive\n    Folder    " + registry +
                  " (set by ZEL_REGISTRY_DIR)\n    Size      " + std::to_string(user.st_size) + " bytes, its log " +
                  std::to_string(logSize) + " bytes\n    Format    3\n\n"
                  "HKEY_LOCAL_MACHINE\n    File      " + registry + "/machine.hive\n    Folder    " + registry +
                  " (set by ZEL_REGISTRY_DIR)\n    Size      14 bytes, its log 0 bytes\n    Format    not a registry hive\n\n",
              r.out);
    EXPECT_EQ("", r.err);

    // Without ZEL_REGISTRY_DIR: the per-user default below XDG_CONFIG_HOME.
    const ZelregResult defaults = RunInChild(
        [&] {
            unsetenv("ZEL_REGISTRY_DIR");
            setenv("XDG_CONFIG_HOME", registry.c_str(), 1);
        },
        {"where"});
    EXPECT_EQ(0, defaults.code);
    EXPECT_NE(std::string::npos, defaults.out.find("    File      " + registry + "/zelregistry/user.hive\n    Folder    " +
                                                  registry + "/zelregistry (the per-user default")) << defaults.out;
    EXPECT_NE(std::string::npos, defaults.out.find("/var/lib/zelregistry (the machine location)")) << defaults.out;
    EXPECT_FALSE(std::filesystem::exists(registry + "/zelregistry"));
    EXPECT_EQ(1, Run({"where", "extra"}).code);
}

}  // namespace
