#include "launcher/RunningPrograms.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <cwchar>
#include <memory>

#include "support/ProcAddress.h"
#include "support/SystemPath.h"
#include "support/WinHandle.h"

namespace {

// Looked up at run time: QueryFullProcessImageNameW is there from Windows
// Vista on; Module32FirstW (Windows XP) would be a wide import at load time.
using QueryImageFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
using FirstModuleFn = BOOL(WINAPI*)(HANDLE, LPMODULEENTRY32W);
constexpr DWORD kQueryLimited = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION

// The program file of process id into image.szExePath (the first module
// of the process's list is its program); false when it cannot be read.
// Always the wide form: the ANSI form garbles a path that the ANSI code
// page cannot hold (a work folder under a user name in another script,
// Shift-JIS names on another code page). query is null before Vista.
bool ImageOf(QueryImageFn query, FirstModuleFn firstModule, DWORD id, MODULEENTRY32W& image)
{
    if (query != nullptr) {
        OwnedHandle process(OpenProcess(kQueryLimited, FALSE, id));
        DWORD size = MAX_PATH;
        return process.Valid() && query(process.Get(), 0, image.szExePath, &size);
    }
    // Before Vista: the process's module list.
    FileHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id));
    image.dwSize = sizeof image;
    return firstModule != nullptr && modules.Valid() && firstModule(modules.Get(), &image);
}

} // namespace

int32_t ProgramsRunningFrom(const char* folder)
{
    FileHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    if (!processes.Valid() || !Process32First(processes.Get(), &entry))
        return -1;
    // Compared as UTF-16, the form Windows gives the image paths in.
    const std::unique_ptr<wchar_t[]> wideFolder = SystemPath::Widen(folder);
    const size_t length = std::wcslen(wideFolder.get());
    // Looked up once for the whole list.
    const QueryImageFn query = KernelFunction<QueryImageFn>("QueryFullProcessImageNameW");
    const FirstModuleFn firstModule = KernelFunction<FirstModuleFn>("Module32FirstW");
    const DWORD own = GetCurrentProcessId();
    int32_t count = 0;
    do {
        // Paths compare without regard to case, as Windows names files.
        MODULEENTRY32W image;
        if (entry.th32ProcessID != own && ImageOf(query, firstModule, entry.th32ProcessID, image) &&
            _wcsnicmp(image.szExePath, wideFolder.get(), length) == 0 && image.szExePath[length] == L'\\')
            ++count;
    } while (Process32Next(processes.Get(), &entry));
    return count;
}
