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

#include <ZelRegistry/ZelRegistry.h>

#include "platform/afx/AfxTestHooks.h"
#include "support/ZelTestDir.h"

namespace {

const char kCopyName[] = "ZelOfsetCopy.dll";
// The copy's own record of ZelPropertyObjectException, found by its export name.
const char kObjectExceptionRecord[] = "_ZN26ZelPropertyObjectException31classZelPropertyObjectExceptionE";

std::string ModulePath(HMODULE hModule) {
    char szPath[MAX_PATH];
    DWORD n = GetModuleFileNameA(hModule, szPath, MAX_PATH);
    return std::string(szPath, n);
}

class ModuleCopy {
public:
    ModuleCopy() : m_dir(ZelMakeTempDir("zel-module")), m_path(m_dir + "\\" + kCopyName) {
        HMODULE hOriginal = GetModuleHandleA("MORVAKOFSET111.dll");
        if (!hOriginal || !CopyFileA(ModulePath(hOriginal).c_str(), m_path.c_str(), TRUE))
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

int ChainLength() {
    int n = 0;
    for (CDynLinkLibrary* p = AfxGetFirstDynLinkLibrary(); p; p = p->m_pNextDLL) ++n;
    return n;
}

bool ChainHolds(HMODULE hModule) {
    for (CDynLinkLibrary* p = AfxGetFirstDynLinkLibrary(); p; p = p->m_pNextDLL)
        if (p->m_hModule == hModule) return true;
    return false;
}

TEST(DllEntry, TheProgramsSettingsModuleJoinedAtStart) {
    HMODULE hOfset = GetModuleHandleA("MORVAKOFSET111.dll");
    ASSERT_NE(hOfset, nullptr);
    EXPECT_TRUE(ChainHolds(hOfset));
    EXPECT_TRUE(ZelEhDeleteAtTerminate::IsRegistered(RUNTIME_CLASS(ZelPropertyObjectException)));
}

TEST(DllEntry, LoadLinksTheModuleWithItsInstanceHandleAndUnloadUnlinksIt) {
    ModuleCopy copy;
    const int nBefore = ChainLength();

    HMODULE hCopy = LoadLibraryA(copy.Path());
    ASSERT_NE(hCopy, nullptr) << "load failed with " << GetLastError();
    EXPECT_EQ(ChainLength(), nBefore + 1);
    ASSERT_NE(AfxGetFirstDynLinkLibrary(), nullptr);
    EXPECT_EQ(AfxGetFirstDynLinkLibrary()->m_hModule, hCopy) << "the newest link names the loaded module";

    // Its static initialisation registered its own exception class for clean-up.
    const auto* pRecord = reinterpret_cast<const CRuntimeClass*>(
        reinterpret_cast<void*>(GetProcAddress(hCopy, kObjectExceptionRecord)));
    ASSERT_NE(pRecord, nullptr);
    EXPECT_NE(pRecord, RUNTIME_CLASS(ZelPropertyObjectException));
    EXPECT_STREQ(pRecord->m_lpszClassName, "ZelPropertyObjectException");
    EXPECT_TRUE(ZelEhDeleteAtTerminate::IsRegistered(pRecord));

    // Threads starting and ending reach DllMain as notifications that change nothing.
    std::thread([] {}).join();
    EXPECT_EQ(ChainLength(), nBefore + 1);

    ASSERT_TRUE(FreeLibrary(hCopy));
    EXPECT_EQ(GetModuleHandleA(kCopyName), nullptr);
    EXPECT_EQ(ChainLength(), nBefore);
    EXPECT_FALSE(ChainHolds(hCopy));
    EXPECT_FALSE(ZelEhDeleteAtTerminate::IsRegistered(pRecord)) << "its exit actions ended the registration";
}

TEST(DllEntry, RefusedAttachFailsTheLoad) {
    ModuleCopy copy;
    const int nBefore = ChainLength();

    AfxTestFailExtensionInit(TRUE);
    SetLastError(ERROR_SUCCESS);
    HMODULE hCopy = LoadLibraryA(copy.Path());
    const DWORD dwError = GetLastError();
    AfxTestFailExtensionInit(FALSE);

    EXPECT_EQ(hCopy, nullptr);
    if (hCopy) FreeLibrary(hCopy);
    EXPECT_EQ(dwError, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(GetModuleHandleA(kCopyName), nullptr);
    EXPECT_EQ(ChainLength(), nBefore);

    // The refusal left nothing behind: the module loads normally afterwards.
    hCopy = LoadLibraryA(copy.Path());
    ASSERT_NE(hCopy, nullptr) << "load failed with " << GetLastError();
    EXPECT_EQ(ChainLength(), nBefore + 1);
    EXPECT_TRUE(FreeLibrary(hCopy));
    EXPECT_EQ(ChainLength(), nBefore);
}

}  // namespace
