// Hives of format 2, which a released version wrote: a writer upgrades them in place when it first
// opens them, a process that may only read one reads a copy, and everything in them reads back as
// before.
#include <sys/stat.h>

#include <string>

#include "RegTestSupport.h"
#include "StoreTestSupport.h"
#include "support/ZelTestDir.h"

namespace {

// The tables of format 2 as that version made them, with a small tree:
//   Software
//     App (class "Klasse"): values Zeta (REG_SZ "one"), Mid (30 bytes), alpha (DWORD 7) and "caf\xE9" (a name the
//          earlier version let in, not UTF-8), set in that order
//       Many: 100 values v000 to v099, set in the reverse order of their names
constexpr const char* kFormat2Hive =
    "CREATE TABLE items(key INTEGER NOT NULL, kind INTEGER NOT NULL, fold TEXT NOT NULL, name TEXT, sub INTEGER,"
    "  class TEXT, parent INTEGER, mtime INTEGER, cgen INTEGER, vgen INTEGER, boot TEXT, seq INTEGER, type INTEGER,"
    "  data BLOB, wsize INTEGER, PRIMARY KEY(key, kind, fold)) WITHOUT ROWID;"
    "CREATE INDEX items_volatile ON items(boot) WHERE boot IS NOT NULL;"
    "CREATE TABLE counters(name TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;"
    "INSERT INTO counters VALUES('retired', 50);"
    "INSERT INTO items(key, kind, fold, name, sub, class) VALUES(1, 0, 'SOFTWARE', 'Software', 2, NULL),"
    "  (2, 0, 'APP', 'App', 3, 'Klasse'), (3, 0, 'MANY', 'Many', 4, NULL);"
    "INSERT INTO items(key, kind, fold, parent, mtime, cgen, vgen) VALUES(1, 2, '', NULL, 1, 1, 0),"
    "  (2, 2, 'SOFTWARE', 1, 1, 1, 0), (3, 2, 'APP', 2, 1, 1, 4), (4, 2, 'MANY', 3, 1, 0, 100);"
    "INSERT INTO items(key, kind, fold, name, seq, type, data, wsize) VALUES"
    "  (3, 1, 'ZETA', 'Zeta', 1, 1, CAST('one' || char(0) AS BLOB), 8),"
    "  (3, 1, 'MID', 'Mid', 2, 3, zeroblob(30), 30),"
    "  (3, 1, 'ALPHA', 'alpha', 3, 4, X'07000000', 4),"
    "  (3, 1, CAST(X'434146E9' AS TEXT), CAST(X'636166E9' AS TEXT), 4, 4, X'01000000', 4);"
    "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99) "
    "INSERT INTO items(key, kind, fold, name, seq, type, data, wsize) "
    "  SELECT 4, 1, printf('V%03d', i), printf('v%03d', i), 100 - i, 4, X'00000000', 4 FROM n;"
    "PRAGMA application_id = 1516596306;"
    "PRAGMA user_version = 2;";

const std::string kLegacyName = "caf\xE9";

std::string MakeFormat2Hive(const char* file) {
    const std::string dir = ZelMakeTempDir("zelreg-format2");
    EXPECT_EQ(SQLITE_OK, Sql(dir + "/" + file, kFormat2Hive));
    return dir;
}

class HiveUpgrade : public RegTest {
protected:
    // The enumeration of the values of `path`, or nothing when it does not open.
    static Names ValuesOf(HKEY root, const char* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
        Names names = ValueNames(key);
        RegCloseKey(key);
        return names;
    }

    // Sub-keys, longest sub-key name, longest class, values, longest value name, largest data.
    static std::vector<DWORD> FiguresOf(HKEY root, const char* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
        std::vector<DWORD> f(6, 99);
        const LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &f[0], &f[1], &f[2], &f[3], &f[4],
                                             &f[5], nullptr, nullptr);
        RegCloseKey(key);
        return status == ERROR_SUCCESS ? f : std::vector<DWORD>{};
    }

    // Everything the tree above holds reads back as the earlier version wrote it, with the
    // figures and the order of the values that the upgrade works out.
    static long ReadsAsWritten(HKEY root) {
        CHILD_CHECK(ReadDword(root, "Software\\App", "alpha") == 7);
        CHILD_CHECK((ValuesOf(root, "Software\\App") == Names{"Zeta", "Mid", "alpha", kLegacyName}));
        CHILD_CHECK((FiguresOf(root, "Software") == std::vector<DWORD>{1, 3, 6, 0, 0, 0}));
        CHILD_CHECK((FiguresOf(root, "Software\\App") == std::vector<DWORD>{1, 4, 0, 4, 5, 30}));
        CHILD_CHECK((FiguresOf(root, "Software\\App\\Many") == std::vector<DWORD>{0, 0, 0, 100, 4, 4}));
        Names many;
        for (int i = 99; i >= 0; --i) many.push_back("v0" + std::to_string(i / 10) + std::to_string(i % 10));
        CHILD_CHECK(ValuesOf(root, "Software\\App\\Many") == many);
        return 0;
    }
};

TEST_F(HiveUpgrade, AFormat2HiveIsUpgradedInPlaceWhenFirstOpenedAndReadsAsBefore) {
    const std::string dir = MakeFormat2Hive("user.hive"), file = dir + "/user.hive";
    ASSERT_EQ(0, InDirectory(dir, [] {
        CHILD_CHECK(ReadsAsWritten(HKEY_CURRENT_USER) == 0);
        // The name that is not UTF-8 is still found by its bytes, and can go.
        HKEY app = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\App", 0, KEY_ALL_ACCESS, &app) == ERROR_SUCCESS);
        CHILD_CHECK(RegQueryValueExA(app, kLegacyName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS);
        CHILD_CHECK(RegDeleteValueA(app, kLegacyName.c_str()) == ERROR_SUCCESS);
        CHILD_CHECK(RegDeleteValueA(app, "Mid") == ERROR_SUCCESS);
        RegCloseKey(app);
        return WriteDword(HKEY_CURRENT_USER, "Software\\App\\New", "v", 1);
    }));
    const std::string header = ReadFile(file).substr(60, 4);
    EXPECT_EQ(std::string("\0\0\0\x03", 4), header);  // format 3, also in the file itself
    // A new process finds the upgraded hive as the first one left it.
    EXPECT_EQ(0, InDirectory(dir, [] {
        CHILD_CHECK((ValuesOf(HKEY_CURRENT_USER, "Software\\App") == Names{"Zeta", "alpha"}));
        CHILD_CHECK((FiguresOf(HKEY_CURRENT_USER, "Software\\App") == std::vector<DWORD>{2, 4, 0, 2, 5, 8}));
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\App\\New", "v") == 1);
        return 0;
    }));
    EXPECT_EQ(SQLITE_ERROR, Sql(file, "SELECT count(*) FROM items"));  // the table of format 2 is gone
}

// An upgrade that fails half-way (here at two values without a place, which format 2 never
// wrote) leaves the hive of format 2 as it was, and the call fails naming the file.
TEST_F(HiveUpgrade, AnUpgradeThatFailsChangesNothing) {
    const std::string dir = MakeFormat2Hive("user.hive"), file = dir + "/user.hive";
    ASSERT_EQ(SQLITE_OK, Sql(file, "UPDATE items SET seq = NULL WHERE key = 4 AND fold IN ('V000', 'V001')"));
    const std::string messages = dir + "/stderr.txt";
    const int status = InDirectory(dir, [&] {
        CHILD_CHECK(std::freopen(messages.c_str(), "w", stderr));
        return ReadDword(HKEY_CURRENT_USER, "Software\\App", "alpha") == -1 ? 0 : 1;
    });
    EXPECT_EQ(0, status);
    EXPECT_NE(std::string::npos, ReadFile(messages).find(file)) << ReadFile(messages);
    EXPECT_EQ(SQLITE_OK, Sql(file, "SELECT count(*) FROM items"));
    EXPECT_EQ(SQLITE_ERROR, Sql(file, "SELECT count(*) FROM cells"));
    EXPECT_EQ(std::string("\0\0\0\x02", 4), ReadFile(file).substr(60, 4));
}

// Root may write anything: the reader then runs as nobody.
TEST_F(HiveUpgrade, AFormat2HiveThatMayOnlyBeReadIsReadFromAnUpgradedCopy) {
    const std::string dir = MakeFormat2Hive("machine.hive"), file = dir + "/machine.hive";
    const bool root = geteuid() == 0;
    chmod(dir.c_str(), root ? 0755 : 0555);
    chmod(file.c_str(), 0444);
    const std::string before = ReadFile(file), messages = ZelMakeTempDir("zelreg-format2-messages") + "/stderr.txt";
    chmod(std::filesystem::path(messages).parent_path().c_str(), 0777);
    const int status = InDirectory(dir, [&] {
        CHILD_CHECK(BecomeNobody(root));
        CHILD_CHECK(std::freopen(messages.c_str(), "w", stderr));
        CHILD_CHECK(ReadsAsWritten(HKEY_LOCAL_MACHINE) == 0);
        CHILD_CHECK(WriteDword(HKEY_LOCAL_MACHINE, "Software\\App", "v", 1) == ERROR_ACCESS_DENIED);
        return 0;
    });
    const std::string message = ReadFile(messages);
    EXPECT_EQ(0, status) << message;
    EXPECT_NE(std::string::npos, message.find(file)) << message;
    EXPECT_NE(std::string::npos, message.find("earlier format")) << message;
    EXPECT_EQ(before, ReadFile(file));
    chmod(dir.c_str(), 0700);
}

}  // namespace
