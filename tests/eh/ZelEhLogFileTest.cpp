#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "ZelEhTestSupport.h"

namespace {

TEST(ZelEhLogFile, BlanksGoBeforeTheFirstCharacterOfEachLineOnly) {
    std::ostringstream out;
    ZelEhLogFile log(out);
    log << "x";
    log.SetBlanks(3);  // the line already begun keeps its indentation
    log << "y\r\n" << "\r\n" << "a" << "b\r\nc\n";
    EXPECT_EQ("xy\r\n\r\n   ab\r\n   c\n", out.str());
}

TEST(ZelEhLogFile, InsertionsChainTextsAndNumbers) {
    std::ostringstream out;
    ZelEhLogFile log(out);
    const char* pszNull = nullptr;
    log << -5L << " " << 4294967295UL << pszNull << " " << -7 << " " << 8u;
    EXPECT_EQ("-5 4294967295 -7 8", out.str());
}

TEST(ZelEhLogFile, NestedBlanksCountFromTheIndentationAtBeginNested) {
    std::ostringstream out;
    ZelEhLogFile log(out);
    log.SetBlanks(2);
    log.BeginNested();
    log.SetBlanks(3);
    log << "a\n";
    log.BeginNested();
    log.SetBlanks(1);
    log << "b\n";
    log.EndNested();
    EXPECT_EQ(3, log.GetBlanks());
    log << "c\n";
    log.EndNested();
    log << "d\n";
    EXPECT_EQ("     a\n      b\n     c\n  d\n", out.str());
}

TEST(ZelEhLogFile, NestingPastTheSaveStackKeepsTheDeepestIndentationAndUnwinds) {
    std::ostringstream out;
    ZelEhLogFile log(out);
    log.SetBlanks(1);
    const unsigned nLevels = ZelEhLogFile::kMaxNesting + 4;
    for (unsigned i = 0; i < nLevels; ++i) {
        log.BeginNested();
        log.SetBlanks(1);
    }
    log << "tief\n";
    for (unsigned i = ZelEhLogFile::kMaxNesting; i < nLevels; ++i) log.EndNested();
    log << "tief\n";
    for (unsigned i = 0; i < ZelEhLogFile::kMaxNesting; ++i) log.EndNested();
    log.EndNested();  // one too many: nothing to restore
    log << "oben\n";
    const std::string strDeepest(ZelEhLogFile::kMaxNesting + 1, ' ');
    EXPECT_EQ(strDeepest + "tief\n" + strDeepest + "tief\n oben\n", out.str());
}

TEST(ZelEhLogFile, FileIsAppendedToOrStartedAnew) {
    TempDir dir;
    const std::string strPath = dir.strPath + "/fehler.log";
    { ZelEhLogFile(strPath.c_str()) << "eins\r\n"; }
    { ZelEhLogFile(strPath.c_str()) << "zwei\r\n"; }
    EXPECT_EQ("eins\r\nzwei\r\n", ReadFile(strPath));
    { ZelEhLogFile(strPath.c_str(), FALSE) << "drei\r\n"; }
    EXPECT_EQ("drei\r\n", ReadFile(strPath));
}

TEST(ZelEhLogFile, UnopenableFileSwallowsWhatIsWritten) {
    TempDir dir;
    const std::string strPath = dir.strPath + "/fehlt/fehler.log";
    ZelEhLogFile log(strPath.c_str());
    EXPECT_FALSE(log.IsOpen());
    log << "verloren" << 1 << "\r\n";
    log.Flush();
    EXPECT_FALSE(std::filesystem::exists(strPath));
    EXPECT_FALSE(ZelEhLogFile(static_cast<const char*>(nullptr)).IsOpen());
}

}  // namespace
