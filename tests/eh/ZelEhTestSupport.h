// What the error-handling tests share: exception classes to build chains from, and helpers.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "platform/eh/ZelEh.h"
#include "support/ZelTestDir.h"

// A framework exception with a message of its own that counts its destructions.
class CountedException : public CException {
    DECLARE_DYNAMIC(CountedException)
public:
    explicit CountedException(const char* pszMessage = "") : m_strMessage(pszMessage) {}
    ~CountedException() override { ++s_nDestroyed; }
    BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT* = nullptr) override {
        lpszError[m_strMessage.copy(lpszError, nMaxError - 1)] = '\0';
        return TRUE;
    }
    static inline int s_nDestroyed = 0;

private:
    std::string m_strMessage;
};

// ZelEhBasis as it comes: the constructor made public, Log left as the base writes it.
class TestError : public ZelEhBasis {
public:
    TestError(const char* pszSource, const char* pszClass, const char* pszMethod, const char* pszClosing,
              DWORD nErrorNo, CException* pCause = nullptr, BOOL bOwnCause = TRUE, DWORD nHelpContext = 0,
              BOOL bReport = TRUE)
        : ZelEhBasis(pszSource, pszClass, pszMethod, pszClosing, nErrorNo, 0, 0, pCause, bOwnCause, nHelpContext,
                     bReport) {}
};

// Wraps the base's part of the entry the way the settings library's exception does: a header,
// the base's lines six blanks deeper, and a trailer.
class WrappingError : public TestError {
public:
    using TestError::TestError;
    void Log(ZelEhLogFile& log) const override {
        log << "Fehlerart: WrappingError" << "\r\n";
        log.SetBlanks(6);
        ZelEhBasis::Log(log);
        log << "Weitere Informationen:" << "" << "\r\n";
    }
};

// A fresh temporary directory, removed with everything in it when the test ends.
struct TempDir {
    std::string strPath = ZelMakeTempDir("zel-eh");
    ~TempDir() { std::filesystem::remove_all(strPath, m_ec); }
    std::error_code m_ec;
};

// The whole content of a file; empty when there is none.
inline std::string ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
