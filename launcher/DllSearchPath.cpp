#include "launcher/DllSearchPath.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "support/ProcAddress.h"

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, newer than the headers' target version.
constexpr DWORD kSearchSystem32 = 0x00000800;

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);

} // namespace

HMODULE LoadSystemDll(const char* name)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    // 0 is a failure, a length of MAX_PATH or more did not fit.
    size_t nameLength = std::strlen(name);
    if (length == 0 || length >= MAX_PATH || length + 1 + nameLength >= MAX_PATH)
        return nullptr;
    path[length] = '\\';
    std::memcpy(path + length + 1, name, nameLength + 1);
    // With the altered search path the DLL's own imports come from its
    // folder too.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void LoadLateSystemDlls()
{
    // Kept loaded for the life of the process on purpose; those missing on
    // a system are skipped.
    for (const char* name = kLateSystemDlls; *name != '\0'; name += std::strlen(name) + 1)
        LoadSystemDll(name);
}

void RestrictDllSearchPath()
{
    auto setDefaultDllDirectories = KernelFunction<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr && setDefaultDllDirectories(kSearchSystem32))
        return;
    // SetDllDirectoryA("") removes the current folder from the search (XP
    // SP1 and later); the program's own folder stays first, hence the loads.
    auto setDllDirectory = KernelFunction<SetDllDirectoryFunction>("SetDllDirectoryA");
    if (setDllDirectory != nullptr)
        setDllDirectory("");
    LoadLateSystemDlls();
}
