#include "launcher/RunningPrograms.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <cwchar>

#include "support/ProcAddress.h"
#include "support/WinHandle.h"

namespace {

// Looked up at run time: QueryFullProcessImageNameW is there from Windows
// Vista on; Module32FirstW (Windows XP) and CreateFileW would be wide
// imports at load time.
using QueryImageFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
using FirstModuleFn = BOOL(WINAPI*)(HANDLE, LPMODULEENTRY32W);
using OpenFn = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
constexpr DWORD kQueryLimited = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION

struct Functions {
    QueryImageFn query; // null before Vista
    FirstModuleFn firstModule;
    OpenFn open;
};

// Room in front of a program path for "\\?\", which a share's path given as
// "UNC\server\share\..." (as Wine gives it) needs to be one.
constexpr size_t kPrefix = 4;

// The program file of process id into path (the first module of the
// process's list is its program); false when it cannot be read. Always the
// wide form: the ANSI form garbles a path that the ANSI code page cannot
// hold.
bool ImageOf(const Functions& functions, DWORD id, wchar_t* path)
{
    if (functions.query != nullptr) {
        OwnedHandle process(OpenProcess(kQueryLimited, FALSE, id));
        DWORD size = MAX_PATH;
        return process.Valid() && functions.query(process.Get(), 0, path, &size);
    }
    // Before Vista: the process's module list.
    FileHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id));
    MODULEENTRY32W image;
    image.dwSize = sizeof image;
    if (functions.firstModule == nullptr || !modules.Valid() || !functions.firstModule(modules.Get(), &image))
        return false;
    std::wcscpy(path, image.szExePath);
    return true;
}

// Whether path leads to the object folder (a path that leads nowhere does not).
bool IsObject(const Functions& functions, const wchar_t* path, const RCEntryHandle::Identity& folder)
{
    FileHandle opened(functions.open(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    return opened.Valid() && GetFileInformationByHandle(opened.Get(), &information) &&
           RCEntryHandle::Identity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                                   information.nFileIndexLow} == folder;
}

// Whether process id runs from the object folder: one of the folders on
// its program path is that folder, from the innermost out.
bool RunsFrom(const Functions& functions, DWORD id, const RCEntryHandle::Identity& folder)
{
    wchar_t buffer[kPrefix + MAX_PATH + 1];
    wchar_t* path = buffer + kPrefix;
    if (!ImageOf(functions, id, path))
        return false;
    if (std::wcsncmp(path, L"UNC\\", 4) == 0) {
        path = buffer;
        std::wmemcpy(path, L"\\\\?\\", kPrefix);
    }
    for (size_t i = std::wcslen(path); i-- > 0;) {
        if (path[i] != L'\\')
            continue;
        // A drive's root keeps its backslash ("C:" alone is a current folder).
        path[i > 0 && path[i - 1] == L':' ? i + 1 : i] = L'\0';
        if (IsObject(functions, path, folder))
            return true;
    }
    return false;
}

} // namespace

RunningPrograms::RunningPrograms()
{
    Take(true);
}

RunningPrograms::~RunningPrograms() = default;

RunningPrograms::Process* RunningPrograms::Find(uint32_t id) const
{
    for (int32_t i = 0; i < count_; ++i) {
        if (processes_[i].id == id)
            return &processes_[i];
    }
    return nullptr;
}

bool RunningPrograms::Take(bool first)
{
    FileHandle list(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    if (!list.Valid() || !Process32First(list.Get(), &entry))
        return false;
    for (int32_t i = 0; i < count_; ++i)
        processes_[i].running = false;
    do {
        Process* process = Find(entry.th32ProcessID);
        // Not seen before, or a new process under an ended one's id.
        if (process == nullptr) {
            if (count_ == room_) {
                room_ += 64;
                Process* larger = new Process[room_];
                std::memcpy(larger, processes_.get(), sizeof(Process) * static_cast<size_t>(count_));
                processes_.reset(larger);
            }
            process = &processes_[count_++];
        } else if (process->parent == entry.th32ParentProcessID) {
            process->running = true;
            continue;
        }
        *process = Process{entry.th32ProcessID, entry.th32ParentProcessID, false, first, true};
    } while (Process32Next(list.Get(), &entry));

    // A new process descends from this one when its parent is this one or
    // a descendant; a child may be listed before its parent.
    const uint32_t own = GetCurrentProcessId();
    for (bool found = true; found;) {
        found = false;
        for (int32_t i = 0; i < count_; ++i) {
            Process* process = &processes_[i];
            const Process* parent = Find(process->parent);
            if (!process->decided && (process->parent == own || (parent != nullptr && parent->descendant)))
                process->descendant = process->decided = found = true;
        }
    }
    // What is left has a parent that is none of ours (or one never seen):
    // it stays none of ours, whatever takes its parent's id later.
    for (int32_t i = 0; i < count_; ++i)
        processes_[i].decided = true;
    return true;
}

bool RunningPrograms::Look()
{
    return Take(false);
}

int32_t RunningPrograms::Using(const RCEntryHandle::Identity& folder)
{
    // Looked up once for the whole list.
    const Functions functions = {KernelFunction<QueryImageFn>("QueryFullProcessImageNameW"),
                                 KernelFunction<FirstModuleFn>("Module32FirstW"),
                                 KernelFunction<OpenFn>("CreateFileW")};
    if (functions.open == nullptr || !Look())
        return -1;
    const uint32_t own = GetCurrentProcessId();
    int32_t count = 0;
    for (int32_t i = 0; i < count_; ++i) {
        const Process* process = &processes_[i];
        // Descendants need not be opened; the others' program paths are read.
        if (process->running && process->id != own &&
            (process->descendant || RunsFrom(functions, process->id, folder)))
            ++count;
    }
    return count;
}
