// The details of a directory listing: the PATHEXT test and the version
// texts of each entry. Kept apart from the rest of the file-system
// operations, so that a program that never asks for them (the stub) links
// neither the version query nor what it imports.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "support/FileSystem.h"
#include "support/ProcAddress.h"
#include "support/RCAnsiStr.h"
#include "support/RCPath.h"

namespace {

const char* OrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

// version.dll, loaded by its full name from the system folder and never
// through the import table: a version.dll planted beside the program must
// not be picked up.
class VersionLibrary {
public:
    using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

    VersionLibrary()
    {
        char path[MAX_PATH + 16];
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        // 0: failed; MAX_PATH or more: did not fit.
        if (length == 0 || length >= MAX_PATH)
            return;
        std::memcpy(path + length, "\\version.dll", sizeof "\\version.dll");
        module_ = LoadLibraryA(path);
        if (module_ == nullptr)
            return;
        getSize = Function<SizeFn>("GetFileVersionInfoSizeA");
        getInfo = Function<InfoFn>("GetFileVersionInfoA");
        query = Function<QueryFn>("VerQueryValueA");
    }
    ~VersionLibrary()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    VersionLibrary(const VersionLibrary&) = delete;
    VersionLibrary& operator=(const VersionLibrary&) = delete;

    bool Ready() const { return getSize != nullptr && getInfo != nullptr && query != nullptr; }

    SizeFn getSize = nullptr;
    InfoFn getInfo = nullptr;
    QueryFn query = nullptr;

private:
    template <typename Fn>
    Fn Function(const char* name) const
    {
        return GetProcAddressAs<Fn>(module_, name);
    }

    HMODULE module_ = nullptr;
};

// The value of PATHEXT; empty when it is not set.
void ReadPathExt(RCAnsiStr& into)
{
    into.Assign("");
    DWORD size = GetEnvironmentVariableA("PATHEXT", nullptr, 0);
    if (size == 0)
        return;
    std::unique_ptr<char[]> buffer(new char[size]);
    DWORD length = GetEnvironmentVariableA("PATHEXT", buffer.get(), size);
    // Changed in between (it would no longer fit): counts as not set.
    if (length == 0 || length >= size)
        return;
    into.Assign(buffer.get());
}

} // namespace

void AddEntryDetails(RCList<___RSFILEINFO>& list)
{
    RCAnsiStr pathExt;
    ReadPathExt(pathExt);
    for (int32_t i = 0; i < list.Count(); ++i) {
        ___RSFILEINFO* entry = list.Item(i);
        RCPath parsed(entry->fullPath.Text());
        RCAnsiStr needle(".");
        needle.Append(parsed.Extension());
        // A plain, case-sensitive substring test.
        if (pathExt.FindText(needle.Text(), 0) >= 0)
            entry->access |= kAccessExecutable;
        GetVersionTexts(entry->fullPath.Text(), entry->productVersion, entry->fileVersion);
    }
}

bool GetVersionTexts(const char* file, RCAnsiStr& productVersion, RCAnsiStr& fileVersion)
{
    VersionLibrary library;
    if (!library.Ready())
        return false;
    file = OrEmpty(file);
    DWORD handle = 0;
    DWORD size = library.getSize(file, &handle);
    if (size == 0)
        return false;
    std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
    if (!library.getInfo(file, 0, size, block.get()))
        return false;
    void* value = nullptr;
    UINT length = 0;
    // A root block shorter than the fixed record is not read.
    if (!library.query(block.get(), "\\", &value, &length) || value == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return false;
    const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    productVersion.Format("%d.%d.%d.%d", HIWORD(info->dwProductVersionMS), LOWORD(info->dwProductVersionMS),
                          HIWORD(info->dwProductVersionLS), LOWORD(info->dwProductVersionLS));
    fileVersion.Format("%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                       HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return true;
}
