// Running zelreg's verbs as functions against this test process's registry, each test below a
// key of its own (HKCU\Software\ZelregTest\<suite>.<test>), and files in the test directory.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "zelreg/KeyHandle.h"
#include "zelreg/KeyReader.h"
#include "zelreg/Zelreg.h"
#include "support/ZelTestDir.h"

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct ZelregResult {
    int code;
    std::string out;
    std::string err;
};

// A command line and its whole answer: standard output, standard error, exit code.
struct ZelregCase {
    std::vector<std::string> words;
    std::string out;
    std::string err;
    int code;
};

inline std::string Joined(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) line += (line.empty() ? "" : " ") + word;
    return line;
}

class ZelregTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        subKey_ = std::string("Software\\ZelregTest\\") + info->test_suite_name() + "." + info->name();
        SHDeleteKeyA(HKEY_CURRENT_USER, subKey_.c_str());
    }
    void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, subKey_.c_str()); }

    static ZelregResult Run(const std::vector<std::string>& words, const std::string& input = "") {
        std::istringstream in(input);
        std::ostringstream out, err;
        const int code = zelregtool::RunZelreg(words, in, out, err);
        return {code, out.str(), err.str()};
    }

    // Runs each case and compares its answer to the byte.
    static void ExpectAnswers(const std::vector<ZelregCase>& cases) {
        for (const ZelregCase& c : cases) {
            SCOPED_TRACE(Joined(c.words));
            const ZelregResult r = Run(c.words);
            EXPECT_EQ(c.out, r.out);
            EXPECT_EQ(c.err, r.err);
            EXPECT_EQ(c.code, r.code);
        }
    }

    // This test's key, or a key below it, as the command line names it.
    std::string Key(const std::string& below = "") const {
        return "HKEY_CURRENT_USER\\" + SubKey(below);
    }
    std::string SubKey(const std::string& below = "") const { return below.empty() ? subKey_ : subKey_ + "\\" + below; }

    void Set(const std::string& below, const std::string& name, DWORD type, const std::string& data) const {
        zelregtool::KeyHandle key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, SubKey(below), KEY_WRITE));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), name.c_str(), 0, type,
                                                reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())));
    }
    // The value's type and bytes; type REG_NONE with "<missing>" when it cannot be read.
    std::pair<DWORD, std::string> Get(const std::string& below, const std::string& name) const {
        zelregtool::KeyHandle key;
        zelregtool::RegValue value;
        if (key.Open(HKEY_CURRENT_USER, SubKey(below), KEY_READ) != ERROR_SUCCESS ||
            zelregtool::ReadValue(key.get(), name, value) != ERROR_SUCCESS)
            return {REG_NONE, "<missing>"};
        return {value.type, std::string(value.data.begin(), value.data.end())};
    }
    bool Exists(const std::string& below) const {
        zelregtool::KeyHandle key;
        return key.Open(HKEY_CURRENT_USER, SubKey(below), KEY_READ) == ERROR_SUCCESS;
    }
    static std::string File(const std::string& name) { return ZelTestRegistryDir() + "/" + name; }

private:
    std::string subKey_;
};
