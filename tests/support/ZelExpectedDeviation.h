// Known differences between the registry the tests run against and the Windows registry.
//
// The tests state Windows' behaviour. Where the registry under test is known to answer
// differently (Wine's, when the Windows build runs under Wine), the test names the deviation
// here, with its reason, and checks that platform's actual answer instead: the difference is
// tested and reported in the test's output, never skipped. A deviation that disappears (Wine
// starts answering as Windows does) fails the test, so the list stays true.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#if defined(_WIN32)
#include "platform/win32/ZelWinTypes.h"
#endif

// Whether the test process runs under Wine rather than on Windows.
inline bool ZelRunningOnWine() {
#if defined(_WIN32)
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

class ZelExpectedDeviation {
public:
    enum Platform { eWine };

    constexpr ZelExpectedDeviation(Platform ePlatform, const char* pszReason)
        : m_ePlatform(ePlatform), m_pszReason(pszReason) {}

    const char* PlatformName() const { return "Wine"; }
    const char* Reason() const { return m_pszReason; }

    // Whether the tests run on the deviating platform.
    bool Applies() const { return m_ePlatform == eWine && ZelRunningOnWine(); }

    // The answer to expect: Windows' answer, or, on the deviating platform, that platform's
    // answer, in which case the deviation is reported with the test.
    template <class T>
    T Expect(T windowsAnswer, T platformAnswer) const {
        if (!Applies()) return windowsAnswer;
        Report();
        return platformAnswer;
    }

    // For a call that the deviating platform cannot survive (it crashes): true there, after
    // reporting the deviation, and the test leaves the call out; false elsewhere.
    bool Prevents() const {
        if (!Applies()) return false;
        Report();
        return true;
    }

    // Reports that the running test met this deviation: a line in its output and a property
    // in the XML report.
    void Report() const {
        std::string text = std::string(PlatformName()) + ": " + m_pszReason;
        std::printf("[ DEVIATION] %s\n", text.c_str());
        std::fflush(stdout);
        ::testing::Test::RecordProperty("expected_deviation", text);
    }

private:
    Platform m_ePlatform;
    const char* m_pszReason;
};

// The known deviations, each with what differs. A test refers to them by name, for example
//     EXPECT_EQ(ValueNames(key), ZelDeviations::kWineSortsValues.Expect(inOrderSet, sortedByName));
//     if (!ZelDeviations::kWineNullResultPointerCrashes.Prevents())
//         EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(key, "x", 0, KEY_READ, nullptr));
// The Wine entries were seen with Wine 8.0, the version the Windows tests run under.
namespace ZelDeviations {

using Deviation = ZelExpectedDeviation;

inline constexpr Deviation kWineSortsValues{
    Deviation::eWine, "RegEnumValueA: Wine lists values sorted by name; Windows lists them in the order they were set"};
inline constexpr Deviation kWineWritesWhatFitsOfAValueName{
    Deviation::eWine, "RegEnumValueA with a name buffer too small and a data buffer large enough: Wine writes as "
                      "much of the name as fits and the data, as Windows does in its older code pages; in the UTF-8 "
                      "code page Windows writes neither"};
inline constexpr Deviation kWineSortsSubKeysLowerCased{
    Deviation::eWine, "RegEnumKeyA: Wine orders sub-keys by their lower-cased names, so '_' comes before letters; "
                      "Windows compares upper-cased names, so '_' comes after them"};
inline constexpr Deviation kWineClassLengthWithoutBuffer{
    Deviation::eWine, "RegQueryInfoKeyA with a class length of 0: Wine sets it to the class's length (as Windows 2000 "
                      "did); Windows leaves 0"};
inline constexpr Deviation kWineNullResultPointerCrashes{
    Deviation::eWine, "RegOpenKeyExA and RegCreateKeyExA with a null result pointer: Wine writes through it and "
                      "crashes; Windows refuses the call (87 for RegOpenKeyExA)"};
inline constexpr Deviation kWineEmptyNameCreateDisposition{
    Deviation::eWine, "RegCreateKeyExA with an empty sub-key name opens the key itself, but Wine reports "
                      "REG_CREATED_NEW_KEY (1) instead of REG_OPENED_EXISTING_KEY (2)"};
inline constexpr Deviation kWineAnsiPathLimit{
    Deviation::eWine, "Wine's A functions convert the sub-key path into a buffer of 260 characters: a longer path "
                      "fails with 234 (ERROR_MORE_DATA) before any name limit is checked"};
inline constexpr Deviation kWineKeyNameLimit256{
    Deviation::eWine, "Wine accepts key names of up to 256 characters and refuses only longer ones; Windows' limit is "
                      "255"};
inline constexpr Deviation kWineNoKeyDepthLimit{
    Deviation::eWine, "RegCreateKeyExA: Wine makes keys at any depth; Windows keeps them within 512 levels of its "
                      "registry's root (509 below HKEY_CURRENT_USER) and refuses deeper ones"};
inline constexpr Deviation kWineOneNotificationPerHandle{
    Deviation::eWine, "RegNotifyChangeKeyValue: while one notification is pending on a handle, Wine ignores a second "
                      "one on the same handle (it returns 0 but never signals the second event)"};
inline constexpr Deviation kWineNullNotifyEventIsInvalidHandle{
    Deviation::eWine, "RegNotifyChangeKeyValue asynchronous without an event: Wine answers 6 (ERROR_INVALID_HANDLE) "
                      "where Windows answers 87 (ERROR_INVALID_PARAMETER)"};

inline constexpr Deviation kWineNoTransactedKeys{
    Deviation::eWine, "RegCreateKeyTransactedA: Wine answers 120 (ERROR_CALL_NOT_IMPLEMENTED) to every call and creates "
                      "nothing; Windows creates or opens the key in the transaction (and answers 6, ERROR_INVALID_HANDLE, "
                      "for a handle that is no transaction)"};
inline constexpr Deviation kWineLacksTransactedOpenAndDelete{
    Deviation::eWine, "RegOpenKeyTransactedA and RegDeleteKeyTransactedA are missing from Wine's advapi32: a call ends the "
                      "process; Windows opens or deletes the key in the transaction"};
inline constexpr Deviation kWineTransactionStubs{
    Deviation::eWine, "Wine's transaction functions are stubs: CreateTransaction gives the dummy handle 1, CommitTransaction "
                      "answers TRUE for any handle (also one that is no transaction, or has ended), RollbackTransaction FALSE "
                      "with 5 (ERROR_ACCESS_DENIED), CloseHandle on the dummy FALSE with 6; Windows answers 6 "
                      "(ERROR_INVALID_HANDLE) for what is no transaction, 6704 or 6705 for an ended one, and closes it"};

}  // namespace ZelDeviations
