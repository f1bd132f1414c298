#include "launcher/RunningPrograms.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstring>

#include "support/ProcAddress.h"
#include "support/WinHandle.h"

namespace {

// QueryFullProcessImageNameA (Vista on), looked up at run time: the program
// also runs on Windows XP, which lacks it.
using QueryImageFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
constexpr DWORD kQueryLimited = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION

// The program file of process id into image (MAX_PATH bytes); false when it
// cannot be read.
bool ImageOf(DWORD id, char* image)
{
    const QueryImageFn query =
        KernelFunction<QueryImageFn>("QueryFullProcessImageNameA");
    if (query != nullptr) {
        OwnedHandle process(OpenProcess(kQueryLimited, FALSE, id));
        DWORD size = MAX_PATH;
        return process.Valid() && query(process.Get(), 0, image, &size);
    }
    // Before Vista: the first module of the process's list is its program.
    FileHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id));
    MODULEENTRY32 module;
    module.dwSize = sizeof module;
    if (!modules.Valid() || !Module32First(modules.Get(), &module))
        return false;
    std::memcpy(image, module.szExePath, MAX_PATH);
    return true;
}

} // namespace

int32_t ProgramsRunningFrom(const char* folder)
{
    FileHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    if (!processes.Valid() || !Process32First(processes.Get(), &entry))
        return -1;
    const size_t length = std::strlen(folder);
    const DWORD own = GetCurrentProcessId();
    int32_t count = 0;
    do {
        // Paths compare without regard to case, as Windows names files.
        char image[MAX_PATH];
        if (entry.th32ProcessID != own && ImageOf(entry.th32ProcessID, image) &&
            _strnicmp(image, folder, length) == 0 && image[length] == '\\')
            ++count;
    } while (Process32Next(processes.Get(), &entry));
    return count;
}
