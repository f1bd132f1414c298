// HeldTree on Windows: every folder is held by a handle that lets others
// read and write in it but not rename, remove or replace it, so the full
// path through the held folders names what was checked; entries are made
// by those paths with the wide calls (long paths through "\\?\").
//
// SetFileInformationByHandle (Windows Vista): times, attributes and removal
// through the handle that created a file.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include "tools/HeldTree.h"

#include <cwchar>
#include <vector>

#include "tools/SystemError.h"
#include "tools/WideText.h"

namespace {

const HANDLE kNone = INVALID_HANDLE_VALUE;

void Close(HANDLE& h)
{
    if (h != kNone)
        CloseHandle(h);
    h = kNone;
}

// The attributes that a record may give an entry; the others (directory,
// reparse point, compressed, ...) belong to the file system.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Times (a zero time: left as it is) and attributes (none: left as they are).
bool ApplyRecord(HANDLE h, const FileAttributeRecord& record)
{
    FILE_BASIC_INFO info = {};
    info.CreationTime.QuadPart = static_cast<LONGLONG>(record.creationTime);
    info.LastAccessTime.QuadPart = static_cast<LONGLONG>(record.lastAccessTime);
    info.LastWriteTime.QuadPart = static_cast<LONGLONG>(record.lastWriteTime);
    info.FileAttributes = record.attributes & kSettable;
    return SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) != 0;
}

// Opens a folder to hold it: others may read and write in it, but not
// rename, remove or replace it while it is held.
HANDLE HoldFolder(const std::wstring& path, bool followLink)
{
    return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

// Whether the held entry is a folder, and (unless allowed) not a link.
bool IsRealFolder(HANDLE h, bool linkAllowed)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        return false;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (linkAllowed || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
}

bool IsEmptyFolder(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool empty = true;
    do {
        empty = std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0;
    } while (empty && FindNextFileW(search, &found));
    FindClose(search);
    return empty;
}

// The absolute, long-path form of `dir` without a trailing backslash;
// empty when it has none.
std::wstring LongPath(const std::string& dir)
{
    std::wstring wide = WideText::FromUtf8(dir);
    DWORD n = wide.empty() ? 0 : GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    if (n == 0 || GetFullPathNameW(wide.c_str(), n, &full[0], nullptr) != n - 1)
        return std::wstring();
    full.resize(n - 1);
    // Long paths: the names below it may take it past MAX_PATH.
    if (full.compare(0, 2, L"\\\\") != 0)
        full = L"\\\\?\\" + full;
    while (full.size() > 7 && full.back() == L'\\')
        full.pop_back();
    return full;
}

} // namespace

struct HeldTree::Native {
    struct Folder {
        HANDLE handle = kNone;
        std::wstring path;       // full, through the held folders
    };
    std::vector<Folder> held; // the top first, then each open archive folder (names_)

    HANDLE file = kNone;

    ~Native()
    {
        Close(file);
        for (Folder& f : held)
            Close(f.handle);
    }
};

HeldTree::HeldTree() : native_(new Native) {}

HeldTree::~HeldTree() = default;

HeldTree::Top HeldTree::Begin(const std::string& dir, std::string& why)
{
    Native::Folder top;
    top.path = LongPath(dir);
    if (top.path.empty())
        return Top::BadName;
    const bool made = CreateDirectoryW(top.path.c_str(), nullptr) != 0;
    if (!made && GetLastError() != ERROR_ALREADY_EXISTS) {
        why = SystemError::Last();
        return Top::CannotMake;
    }
    // The folder given is taken as it is, a link to a folder included;
    // the one made here must be the one just made.
    top.handle = HoldFolder(top.path, !made);
    if (top.handle == kNone || !IsRealFolder(top.handle, !made)) {
        Close(top.handle);
        return Top::NotAFolder;
    }
    if (!made && !IsEmptyFolder(top.path)) {
        Close(top.handle);
        return Top::NotEmpty;
    }
    native_->held.push_back(top);
    names_.push_back(std::string());
    return Top::Held;
}

void HeldTree::DropInnermost()
{
    Close(native_->held.back().handle);
    native_->held.pop_back();
}

bool HeldTree::MakeFolder(const std::string& name, const std::string& archiveName, std::string& why)
{
    std::vector<Native::Folder>& held = native_->held;
    const std::wstring wide = WideText::FromUtf8(name);
    Native::Folder folder;
    folder.path = held.back().path + L"\\" + wide;
    // A name taken by a folder is that folder; by anything else, refused.
    if (wide.empty() ||
        (CreateDirectoryW(folder.path.c_str(), nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS) ||
        (folder.handle = HoldFolder(folder.path, false)) == kNone) {
        why = wide.empty() ? std::string() : SystemError::Last();
        return false;
    }
    if (!IsRealFolder(folder.handle, false)) {
        Close(folder.handle);
        return false;
    }
    held.push_back(folder);
    names_.push_back(archiveName);
    return true;
}

bool HeldTree::ApplyToFolder(const FileAttributeRecord& record)
{
    return ApplyRecord(native_->held.back().handle, record);
}

bool HeldTree::MakeFile(const std::string& name, std::string& why)
{
    const std::wstring wide = WideText::FromUtf8(name);
    if (wide.empty())
        return false;
    const std::wstring full = native_->held.back().path + L"\\" + wide;
    native_->file = CreateFileW(full.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (native_->file == kNone) {
        why = SystemError::Last();
        return false;
    }
    return true;
}

bool HeldTree::HasFile() const
{
    return native_->file != kNone;
}

bool HeldTree::WriteSome(const uint8_t* data, int32_t length, int32_t* written, std::string& why)
{
    DWORD n = 0;
    const bool wrote = ::WriteFile(native_->file, data, static_cast<DWORD>(length), &n, nullptr) != 0;
    if (!wrote || n == 0) {
        why = wrote ? "nothing was written" : SystemError::Last();
        return false;
    }
    *written = static_cast<int32_t>(n);
    return true;
}

bool HeldTree::ApplyToFile(const FileAttributeRecord& record, std::string& why)
{
    if (ApplyRecord(native_->file, record))
        return true;
    why = SystemError::Last();
    return false;
}

bool HeldTree::CloseFile(std::string& why)
{
    if (native_->file == kNone)
        return true;
    const bool closed = CloseHandle(native_->file) != 0;
    native_->file = kNone;
    if (!closed)
        why = SystemError::Last();
    return closed;
}

bool HeldTree::RemoveFile()
{
    if (native_->file == kNone)
        return false;
    // Read-only would keep it: plain attributes first, then removed
    // through its own handle.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(native_->file, FileBasicInfo, &basic, sizeof basic);
    FILE_DISPOSITION_INFO disposition = {TRUE};
    const bool removed =
        SetFileInformationByHandle(native_->file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
    Close(native_->file);
    return removed;
}
