// A DLL planted beside a program under the name version.dll, as an
// attacker would leave it in a downloads folder. Loading it leaves a mark:
// the file planted-version-loaded.txt beside the DLL gets the name of the
// program that loaded it. It exports what user32 imports from the real
// version.dll (doing nothing), so that a program loading it keeps running.
#include <windows.h>

#include <cstring>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH + 32];
    DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    char* slash = std::strrchr(path, '\\');
    if (slash == nullptr)
        return TRUE;
    std::strcpy(slash + 1, "planted-version-loaded.txt");
    HANDLE mark = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark == INVALID_HANDLE_VALUE)
        return TRUE;
    char program[MAX_PATH + 2];
    DWORD programLength = GetModuleFileNameA(nullptr, program, MAX_PATH);
    program[programLength] = '\n';
    DWORD written = 0;
    WriteFile(mark, program, programLength + 1, &written, nullptr);
    CloseHandle(mark);
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD handle)
{
    if (handle != nullptr)
        *handle = 0;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}

extern "C" __declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID)
{
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT)
{
    return FALSE;
}
