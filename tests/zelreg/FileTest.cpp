// The files zelreg writes and reads: a plain file replaced whole and keeping its permissions,
// a link's target written, a device or pipe written in place and never replaced, "-" for the
// standard streams, and every failure reported with the old file left as it was.
#include "zelreg/OutputFile.h"
#include "ZelregTestSupport.h"

#if !defined(_WIN32)
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace std::string_literals;

class ZelregFiles : public ZelregTest {
protected:
    void SetUp() override {
        ZelregTest::SetUp();
        Set("", "Name", REG_SZ, "Hello\0"s);
        Set("Sub", "Count", REG_DWORD, "\x2a\0\0\0"s);
    }
    // What export writes for this test's key, as a plain file gets it.
    std::string Exported() const {
        const ZelregResult r = Run({"export", Key(), File("expected.reg"), "/y"});
        EXPECT_EQ(0, r.code) << r.err;
        return ReadBytes(File("expected.reg"));
    }
    // The names in the test directory that start with `prefix`, left-over temporary files among them.
    static std::vector<std::string> FilesStartingWith(const std::string& prefix) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(ZelTestRegistryDir())) {
            const std::string name = entry.path().filename().string();
            if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
        }
        return names;
    }
};

const std::string kDone = "The operation completed successfully.\n";

TEST_F(ZelregFiles, DashIsStandardOutputAndInput) {
    const std::string bytes = Exported();
    ASSERT_EQ("\xFF\xFE", bytes.substr(0, 2));
    // The file alone on standard output, so that it can be piped on.
    ZelregResult r = Run({"export", Key(), "-"});
    EXPECT_EQ(0, r.code);
    EXPECT_EQ(bytes, r.out);
    EXPECT_EQ("", r.err);

    ASSERT_EQ(ERROR_SUCCESS, static_cast<LONG>(SHDeleteKeyA(HKEY_CURRENT_USER, SubKey().c_str())));
    r = Run({"import", "-"}, bytes);
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ(kDone, r.out);
    EXPECT_EQ("Hello\0"s, Get("", "Name").second);
    EXPECT_EQ("\x2a\0\0\0"s, Get("Sub", "Count").second);

    ExpectAnswers({
        {{"import", "-"},
         "",
         "ERROR: standard input, line 1: not a .reg file: the first line must be \"Windows Registry Editor Version "
         "5.00\" or \"REGEDIT4\". Nothing was imported.\n",
         1},
        {{"export", Key("Nowhere"), "-"}, "", "ERROR: The system was unable to find the specified registry key or value.\n", 1},
    });
}

TEST_F(ZelregFiles, PlainFileIsReplacedOnlyWhenAllowed) {
    const std::string bytes = Exported();
    const std::string path = File("old.reg");
    for (const auto& [answer, replaced] : std::vector<std::pair<std::string, bool>>{{"n\n", false}, {"", false}, {"y\n", true}}) {
        WriteBytes(path, "old content");
        const ZelregResult r = Run({"export", Key(), path}, answer);
        EXPECT_EQ(replaced ? 0 : 1, r.code) << answer;
        EXPECT_EQ(0u, r.out.find("File " + path + " already exists. Overwrite (Yes/No)? ")) << r.out;
        EXPECT_EQ(replaced ? bytes : "old content", ReadBytes(path)) << answer;
    }
    WriteBytes(path, "old content");
    ExpectAnswers({{{"export", Key(), path, "/y"}, kDone, "", 0}});
    EXPECT_EQ(bytes, ReadBytes(path));
    EXPECT_EQ(std::vector<std::string>{"old.reg"}, FilesStartingWith("old.reg"));  // no temporary file left

    ExpectAnswers({{{"export", Key(), File("new.reg")}, kDone, "", 0}});
    EXPECT_EQ(bytes, ReadBytes(File("new.reg")));
}

TEST_F(ZelregFiles, WhatCannotBeWrittenIsReportedAndLeavesTheOldFile) {
    WriteBytes(File("a-file"), "keep");
    // The reason is the system's own text, in its language, as one line.
    const std::string noFolder = File("no-such-folder") + "/x.reg";
    const ZelregResult r = Run({"export", Key(), noFolder});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.find("ERROR: Cannot write " + noFolder + ": ")) << r.err;
    EXPECT_EQ(r.err.size() - 1, r.err.find_first_of("\r\n")) << r.err;
    EXPECT_NE('.', r.err[r.err.size() - 2]) << r.err;
    EXPECT_TRUE(FilesStartingWith("no-such-folder").empty());
#if !defined(_WIN32)
    ExpectAnswers({
        {{"export", Key(), noFolder}, "", "ERROR: Cannot write " + noFolder + ": No such file or directory\n", 1},
        {{"export", Key(), File("a-file") + "/x.reg"}, "", "ERROR: Cannot write " + File("a-file") + "/x.reg: Not a directory\n", 1},
        {{"export", Key(), ZelTestRegistryDir()}, "", "ERROR: Cannot write " + ZelTestRegistryDir() + ": Is a directory\n", 1},
        {{"export", Key(), "/dev/full"}, "", "ERROR: Cannot write /dev/full: No space left on device\n", 1},
    });
    EXPECT_EQ("keep", ReadBytes(File("a-file")));

    // A write that fails halfway (here: past the largest file this process may write) leaves the
    // old file whole and no temporary file beside it.
    const std::string big(100000, 'x');
    zelregtool::OutputFile output;
    std::string problem;
    ASSERT_TRUE(zelregtool::OutputFile::Resolve(File("a-file"), output, problem)) << problem;
    EXPECT_EQ(zelregtool::OutputFile::Kind::PlainFile, output.kind());
    rlimit saved{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    const bool written = output.Write(big, problem);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ("File too large", problem);
    EXPECT_EQ("keep", ReadBytes(File("a-file")));
    EXPECT_EQ(std::vector<std::string>{"a-file"}, FilesStartingWith("a-file"));
#endif
}

#if defined(_WIN32)

TEST_F(ZelregFiles, DevicesAreWrittenNotReplaced) {
    // NUL in any folder and with any extension is the device; nothing is created for it.
    for (const std::string& device : {"NUL"s, "nul.reg"s, File("NUL")})
        ExpectAnswers({{{"export", Key(), device}, kDone, "", 0}});
    EXPECT_TRUE(FilesStartingWith("NUL").empty());
    EXPECT_TRUE(FilesStartingWith("nul").empty());
}

#else

TEST_F(ZelregFiles, LinksAreFollowedAndKeepTheTargetsPermissions) {
    const std::string bytes = Exported();
    WriteBytes(File("target.reg"), "old");
    ASSERT_EQ(0, chmod(File("target.reg").c_str(), 0640));
    ASSERT_EQ(0, symlink("target.reg", File("link.reg").c_str()));
    ASSERT_EQ(0, symlink(File("link.reg").c_str(), File("link-to-link.reg").c_str()));
    ExpectAnswers({{{"export", Key(), File("link-to-link.reg"), "/y"}, kDone, "", 0}});
    struct stat status;
    ASSERT_EQ(0, lstat(File("link.reg").c_str(), &status));
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    ASSERT_EQ(0, lstat(File("target.reg").c_str(), &status));
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(0640u, status.st_mode & 07777);
    EXPECT_EQ(bytes, ReadBytes(File("target.reg")));

    // A dangling link gets its target made; a loop of links is refused.
    ASSERT_EQ(0, symlink("made.reg", File("dangling.reg").c_str()));
    ExpectAnswers({{{"export", Key(), File("dangling.reg")}, kDone, "", 0}});
    EXPECT_EQ(bytes, ReadBytes(File("made.reg")));
    ASSERT_EQ(0, symlink("loop-b", File("loop-a").c_str()));
    ASSERT_EQ(0, symlink("loop-a", File("loop-b").c_str()));
    ExpectAnswers({{{"export", Key(), File("loop-a")}, "", "ERROR: Cannot write " + File("loop-a") +
                                                                ": Too many levels of symbolic links\n", 1}});
}

TEST_F(ZelregFiles, DevicesPipesAndDescriptorsAreWrittenInPlace) {
    const std::string bytes = Exported();
    // A pipe: the reader gets the file, and the pipe stays a pipe. The reader is open first
    // (without waiting for a writer), so the export never waits; a pipe replaced by a file
    // would leave it nothing to read rather than hang.
    const std::string fifo = File("pipe");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const ZelregResult r = Run({"export", Key(), fifo});
    std::string received;
    char buffer[4096];
    for (ssize_t got; (got = read(reader, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<std::size_t>(got));
    close(reader);
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ(kDone, r.out);  // no question: a pipe is not a file to overwrite
    EXPECT_EQ(bytes, received);
    struct stat status;
    ASSERT_EQ(0, lstat(fifo.c_str(), &status));
    EXPECT_TRUE(S_ISFIFO(status.st_mode));

    ExpectAnswers({{{"export", Key(), "/dev/null", "/y"}, kDone, "", 0}});
    ASSERT_EQ(0, stat("/dev/null", &status));
    EXPECT_TRUE(S_ISCHR(status.st_mode));

    // /dev/stdout is the descriptor, whatever it points to: here a file opened for appending,
    // as ">>" opens it, which keeps what it held. Nothing else goes to standard output.
    const std::string log = File("stdout.log");
    WriteBytes(log, "before\n");
    const int appended = open(log.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(appended, 0);
    std::fflush(stdout);
    const int savedStdout = dup(1);
    ASSERT_EQ(1, dup2(appended, 1));
    const ZelregResult toStdout = Run({"export", Key(), "/dev/stdout", "/y"});
    const ZelregResult toFd = Run({"export", Key(), "/dev/fd/1"});
    dup2(savedStdout, 1);
    close(savedStdout);
    close(appended);
    EXPECT_EQ(0, toStdout.code) << toStdout.err;
    EXPECT_EQ("", toStdout.out);
    EXPECT_EQ(0, toFd.code) << toFd.err;
    EXPECT_EQ("before\n" + bytes + bytes, ReadBytes(log));
    ASSERT_EQ(0, lstat("/dev/stdout", &status));
    EXPECT_TRUE(S_ISLNK(status.st_mode));
}

#endif

}  // namespace
