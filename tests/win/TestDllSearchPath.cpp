// The DLL search of the stub, in this process: after the restriction a DLL
// that sits only in the program's folder is no longer found by name, and
// the fallback for older systems takes its DLLs from the system folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "launcher/DllSearchPath.h"

namespace {

std::string FolderOf(HMODULE module)
{
    char name[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(module, name, MAX_PATH);
    std::string path(name, n);
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string SystemFolder()
{
    char name[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryA(name, MAX_PATH);
    return std::string(name, n);
}

// qm_search_probe.dll, a DLL that does nothing, is built beside this program.
TEST(DllSearchPath, AfterTheRestrictionTheProgramFolderIsNotSearched)
{
    HMODULE before = LoadLibraryA("qm_search_probe.dll");
    ASSERT_NE(before, nullptr) << "the probe beside the program is not found: the test would prove nothing";
    FreeLibrary(before);

    RestrictDllSearchPath();

    HMODULE after = LoadLibraryA("qm_search_probe.dll");
    EXPECT_EQ(after, nullptr);
    if (after != nullptr)
        FreeLibrary(after);
    // System DLLs still load by name.
    HMODULE shell = LoadLibraryA("shell32.dll");
    EXPECT_NE(shell, nullptr);
    if (shell != nullptr)
        FreeLibrary(shell);
}

TEST(DllSearchPath, TheFallbackLoadsLateDllsFromTheSystemFolder)
{
    LoadLateSystemDlls();
    int present = 0;
    for (const char* name = kLateSystemDlls; *name != '\0'; name += std::strlen(name) + 1) {
        std::string file = SystemFolder() + "\\" + name;
        if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue; // not on this system: skipped
        ++present;
        HMODULE module = GetModuleHandleA(name);
        ASSERT_NE(module, nullptr) << name;
        EXPECT_EQ(lstrcmpiA(FolderOf(module).c_str(), SystemFolder().c_str()), 0) << name << ": " << FolderOf(module);
    }
    EXPECT_GE(present, 1);
}

} // namespace
