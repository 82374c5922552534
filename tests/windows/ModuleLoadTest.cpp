// The settings DLL as the Windows loader treats it: DllMain hands the loader's instance
// handle and reason to the module entry, which links the module into the framework's chain at
// load and unlinks it at unload; a refused attach fails the load.
//
// The program already has MORVAKOFSET111.dll loaded, and loading it again would only count a
// reference. A copy under another name is a module of its own to the loader: its static
// objects are built, its DllMain runs, and it shares the framework and maker DLLs with the
// original.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <ZelRegistry/ZelRegistry.h>

#include "platform/afx/AfxTestHooks.h"
#include "support/ZelTestDir.h"

namespace {

const char kCopyName[] = "ZelOfsetCopy.dll";
// The copy's own record of ZelPropertyObjectException, found by its export name.
const char kObjectExceptionRecord[] = "_ZN26ZelPropertyObjectException31classZelPropertyObjectExceptionE";

class ModuleCopy {
public:
    ModuleCopy() : m_dir(ZelMakeTempDir("zel-module")), m_path(m_dir + "\\" + kCopyName) {
        char szOriginal[MAX_PATH];
        const DWORD n = GetModuleFileNameA(GetModuleHandleA("MORVAKOFSET111.dll"), szOriginal, MAX_PATH);
        if (n == 0 || !CopyFileA(szOriginal, m_path.c_str(), TRUE))
            ADD_FAILURE() << "cannot copy MORVAKOFSET111.dll to " << m_path << ": " << GetLastError();
    }
    ~ModuleCopy() {
        DeleteFileA(m_path.c_str());
        RemoveDirectoryA(m_dir.c_str());
    }
    const char* Path() const { return m_path.c_str(); }

private:
    std::string m_dir;
    std::string m_path;
};

// The instance handles of the framework's chain, newest first.
std::vector<HMODULE> Chain() {
    std::vector<HMODULE> chain;
    for (CDynLinkLibrary* p = AfxGetFirstDynLinkLibrary(); p; p = p->m_pNextDLL) chain.push_back(p->m_hModule);
    return chain;
}

TEST(DllEntry, LoadLinksTheModuleWithItsInstanceHandleAndUnloadUnlinksIt) {
    ModuleCopy copy;
    const std::vector<HMODULE> before = Chain();
    HMODULE hCopy = LoadLibraryA(copy.Path());
    ASSERT_NE(hCopy, nullptr) << "load failed with " << GetLastError();
    std::vector<HMODULE> loaded = before;
    loaded.insert(loaded.begin(), hCopy);
    EXPECT_EQ(Chain(), loaded) << "the newest link names the loaded module";

    // Its static initialisation registered its own exception class for clean-up (a record other
    // than the original's, which stays registered after the unload below).
    const auto* pRecord = reinterpret_cast<const CRuntimeClass*>(
        reinterpret_cast<void*>(GetProcAddress(hCopy, kObjectExceptionRecord)));
    ASSERT_NE(pRecord, nullptr);
    EXPECT_TRUE(ZelEhDeleteAtTerminate::IsRegistered(pRecord));

    // Threads starting and ending reach DllMain as notifications that change nothing.
    std::thread([] {}).join();
    EXPECT_EQ(Chain(), loaded);

    ASSERT_TRUE(FreeLibrary(hCopy));
    EXPECT_EQ(GetModuleHandleA(kCopyName), nullptr);
    EXPECT_EQ(Chain(), before);
    EXPECT_FALSE(ZelEhDeleteAtTerminate::IsRegistered(pRecord)) << "its exit actions ended the registration";
}

TEST(DllEntry, RefusedAttachFailsTheLoadAndLinksNothing) {
    ModuleCopy copy;
    const std::vector<HMODULE> before = Chain();
    AfxTestFailExtensionInit(TRUE);
    SetLastError(ERROR_SUCCESS);
    HMODULE hCopy = LoadLibraryA(copy.Path());
    const DWORD dwError = GetLastError();
    AfxTestFailExtensionInit(FALSE);

    EXPECT_EQ(hCopy, nullptr);
    if (hCopy) FreeLibrary(hCopy);
    EXPECT_EQ(dwError, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(GetModuleHandleA(kCopyName), nullptr);
    EXPECT_EQ(Chain(), before);
}

}  // namespace
