// import on this platform's store when the commit itself fails: a full disk, and another process
// changing the keys the file touches. Either way nothing of the file lands.
#include "ZelregChildSupport.h"

#include <sched.h>
#include <sys/mount.h>

#include <filesystem>

namespace {

using namespace std::string_literals;

class ZelregImportFailure : public ZelregTest {};

// A file of `sections` keys below `key`, each with a value of `size` characters.
std::string ManyKeys(const std::string& key, int sections, std::size_t size) {
    std::string file = "Windows Registry Editor Version 5.00\n";
    for (int i = 0; i < sections; ++i)
        file += "\n[" + key + "\\K" + std::to_string(i) + "]\n\"Data\"=\"" + std::string(size, 'd') + "\"\n";
    return file;
}

TEST_F(ZelregImportFailure, ImportOnAFullDiskImportsNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "a small disk of its own (tmpfs) needs root";
    const std::string disk = ZelMakeTempDir("zelreg-import-full");
    const std::string key = Key("Full");
    EXPECT_EQ(0, RunChild([&] {
        CHILD_CHECK(unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
        CHILD_CHECK(mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") == 0);
        setenv("ZEL_REGISTRY_DIR", (disk + "/reg").c_str(), 1);
        std::istringstream in;
        std::ostringstream out, err;
        CHILD_CHECK(zelregtool::RunZelreg({"add", key, "/v", "Before", "/d", "1", "/f"}, in, out, err) == 0);
        // The file first, then the disk filled: room for the file, none for what it holds.
        const std::string file = disk + "/many.reg";
        WriteBytes(file, ManyKeys(key, 100, 3000));
        const std::string filler = disk + "/filler";
        {
            std::FILE* fill = std::fopen(filler.c_str(), "w");
            const std::string block(4096, 'x');
            while (fill && std::fwrite(block.data(), 1, block.size(), fill) == block.size() && std::fflush(fill) == 0) {
            }
            if (fill) std::fclose(fill);
        }
        std::ostringstream out2, err2;
        const int code = zelregtool::RunZelreg({"import", file}, in, out2, err2);
        CHILD_CHECK(code == 1);
        CHILD_CHECK(err2.str() == "ERROR: Cannot import " + file + ": error 112: the disk is full. Nothing was imported.\n");
        HKEY imported = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, (SubKey("Full") + "\\K0").c_str(), 0, KEY_READ, &imported) ==
                    ERROR_FILE_NOT_FOUND);
        HKEY full = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, SubKey("Full").c_str(), 0, KEY_READ, &full) == ERROR_SUCCESS);
        CHILD_CHECK(RegQueryValueExA(full, "Before", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS);
        RegCloseKey(full);
        // With room again the same file goes in whole.
        CHILD_CHECK(std::remove(filler.c_str()) == 0);
        std::ostringstream out3, err3;
        CHILD_CHECK(zelregtool::RunZelreg({"import", file}, in, out3, err3) == 0);
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, (SubKey("Full") + "\\K99").c_str(), 0, KEY_READ, &imported) ==
                    ERROR_SUCCESS);
        RegCloseKey(imported);
        return 0;
    }));
    std::filesystem::remove_all(disk);
}

// The writer changes a key the file sets values in, all the while: an import either lands whole
// (it committed between two of the writer's rounds) or fails with the conflict and lands not at
// all. Some attempts must meet the conflict: how many depends on how the processes are
// scheduled, so the import is tried until three have (nearly always within the first few).
TEST_F(ZelregImportFailure, ImportMeetingAnotherWriterImportsAllOrNothing) {
    const std::string pair = SubKey("Pair");
    PairWriter writer(pair);
    while (ReadDwordValue(HKEY_CURRENT_USER, pair, "A") == 0) std::this_thread::yield();
    const std::string file = File("conflict.reg");
    WriteBytes(file, "Windows Registry Editor Version 5.00\n\n[" + Key("Pair") + "]\n\"C\"=\"from the file\"\n" +
                         ManyKeys(Key("Imported"), 300, 10).substr(37));
    int conflicts = 0;
    for (int attempt = 0; attempt < 200 && conflicts < 3; ++attempt) {
        const ZelregResult r = Run({"import", file});
        if (r.code == 0) {
            EXPECT_EQ("from the file\0"s, Get("Pair", "C").second);
            EXPECT_TRUE(Exists("Imported\\K299"));
        } else {
            ++conflicts;
            EXPECT_EQ("ERROR: Cannot import " + file +
                          ": error 6800: another program changed the same keys meanwhile (run it again). Nothing was "
                          "imported.\n",
                      r.err);
            EXPECT_EQ("<missing>", Get("Pair", "C").second);
            EXPECT_FALSE(Exists("Imported"));
        }
        SHDeleteKeyA(HKEY_CURRENT_USER, SubKey("Imported").c_str());
        zelregtool::KeyHandle key;
        if (key.Open(HKEY_CURRENT_USER, pair, KEY_WRITE) == ERROR_SUCCESS) RegDeleteValueA(key.get(), "C");
    }
    EXPECT_TRUE(writer.Stop());
    EXPECT_GT(conflicts, 0);
}

}  // namespace
