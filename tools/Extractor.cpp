#ifdef _WIN32
// SetFileInformationByHandle (Windows Vista): times, attributes and removal
// through the handle that created a file.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>
#endif

#include "tools/Extractor.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "support/RCPath.h"
#include "tools/NameCodec.h"

#ifdef _WIN32
#include "tools/WideText.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32

using Handle = HANDLE;
const Handle kNone = INVALID_HANDLE_VALUE;
using NativeName = std::wstring;
constexpr char kSeparator = '\\';

std::string LastError()
{
    return "Windows error " + std::to_string(GetLastError());
}

// The attributes that a record may give an entry; the others (directory,
// reparse point, compressed, ...) belong to the file system.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Times (a zero time: left as it is) and attributes (none: left as they are).
bool ApplyRecord(Handle h, const FileAttributeRecord& record)
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
Handle HoldFolder(const std::wstring& path, bool followLink)
{
    return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

// Whether the held entry is a folder, and (unless allowed) not a link.
bool IsRealFolder(Handle h, bool linkAllowed)
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

#else

using Handle = int;
const Handle kNone = -1;
using NativeName = std::string;
constexpr char kSeparator = '/';

std::string LastError()
{
    return std::strerror(errno);
}

// A FILETIME as a time for futimens; a zero time is left as it is.
timespec TimeOf(uint64_t fileTime)
{
    timespec t = {};
    if (fileTime == 0) {
        t.tv_nsec = UTIME_OMIT;
        return t;
    }
    t.tv_sec = static_cast<time_t>(static_cast<int64_t>(fileTime / 10000000u) - 11644473600LL);
    t.tv_nsec = static_cast<long>(fileTime % 10000000u * 100u);
    return t;
}

// The times POSIX keeps: last access and last write (creation is the
// file system's). A read-only file loses its write permissions.
bool ApplyRecord(Handle h, const FileAttributeRecord& record, bool folder)
{
    const timespec times[2] = {TimeOf(record.lastAccessTime), TimeOf(record.lastWriteTime)};
    if (futimens(h, times) != 0)
        return false;
    struct stat st;
    if (folder || (record.attributes & 1u) == 0)
        return true;
    return fstat(h, &st) == 0 && fchmod(h, st.st_mode & 07555u) == 0;
}

bool IsEmptyFolder(Handle h)
{
    int copy = dup(h);
    DIR* listing = copy < 0 ? nullptr : fdopendir(copy);
    if (listing == nullptr) {
        if (copy >= 0)
            close(copy);
        return false;
    }
    bool empty = true;
    while (dirent* e = readdir(listing)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    closedir(listing);
    return empty;
}

#endif

void CloseHandleOf(Handle& h)
{
    if (h == kNone)
        return;
#ifdef _WIN32
    CloseHandle(h);
#else
    close(h);
#endif
    h = kNone;
}

} // namespace

struct Extractor::Native {
    struct Folder {
        Handle handle = kNone;
        std::string archiveName; // empty for DIR
#ifdef _WIN32
        std::wstring path; // full, through the held folders
#endif
    };
    std::vector<Folder> held; // DIR first, then each open archive folder

    // The file from its creation until the next entry.
    Handle file = kNone;
    NativeName fileName;
    size_t fileParent = 0; // its folder's index in held
    std::string fileShown;
    bool fileFailed = false;

    ~Native()
    {
        CloseHandleOf(file);
        for (Folder& f : held)
            CloseHandleOf(f.handle);
    }
};

Extractor::Extractor(NameCodec& codec, const char* archiveRoot)
    : codec_(codec), rootDepth_(RCPath(archiveRoot).Count()), native_(new Native)
{
}

Extractor::~Extractor() = default;

bool Extractor::Begin(const std::string& dir)
{
    Native::Folder root;
#ifdef _WIN32
    std::wstring wide = WideText::FromUtf8(dir);
    DWORD n = wide.empty() ? 0 : GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    if (n == 0 || GetFullPathNameW(wide.c_str(), n, &full[0], nullptr) != n - 1) {
        error_ = dir + ": not a usable folder name";
        return false;
    }
    full.resize(n - 1);
    // Long paths: the names below DIR may take it past MAX_PATH.
    if (full.compare(0, 2, L"\\\\") != 0)
        full = L"\\\\?\\" + full;
    while (full.size() > 7 && full.back() == L'\\')
        full.pop_back();
    const bool made = CreateDirectoryW(full.c_str(), nullptr) != 0;
    if (!made && GetLastError() != ERROR_ALREADY_EXISTS) {
        error_ = dir + ": cannot make the folder (" + LastError() + ")";
        return false;
    }
    // The folder given is taken as it is, a link to a folder included;
    // the one made here must be the one just made.
    root.handle = HoldFolder(full, !made);
    if (root.handle == kNone || !IsRealFolder(root.handle, !made)) {
        error_ = dir + ": not a folder";
        return false;
    }
    if (!made && !IsEmptyFolder(full)) {
        error_ = dir + ": not empty; --extract unpacks into a new or empty folder only";
        CloseHandleOf(root.handle);
        return false;
    }
    root.path = full;
#else
    const bool made = mkdir(dir.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) {
        error_ = dir + ": cannot make the folder (" + LastError() + ")";
        return false;
    }
    root.handle = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (made ? O_NOFOLLOW : 0));
    if (root.handle == kNone) {
        error_ = dir + ": not a folder (" + LastError() + ")";
        return false;
    }
    if (!made && !IsEmptyFolder(root.handle)) {
        error_ = dir + ": not empty; --extract unpacks into a new or empty folder only";
        CloseHandleOf(root.handle);
        return false;
    }
#endif
    native_->held.push_back(root);
    return true;
}

std::string Extractor::Shown(const std::vector<std::string>& names) const
{
    std::string shown;
    for (const std::string& name : names)
        shown += (shown.empty() ? "" : std::string(1, kSeparator)) + codec_.Shown(name);
    return shown;
}

bool Extractor::Enter(const char* path, std::vector<std::string>& names)
{
    names.clear();
    RCPath full(path);
    for (int32_t i = rootDepth_; i < full.Count(); ++i)
        names.push_back(full.Component(i));
    if (!Finish())
        return false;
    // Held: DIR, then the folders that path lies in (or is), in order.
    std::vector<Native::Folder>& held = native_->held;
    size_t keep = 1;
    while (keep < held.size() && keep - 1 < names.size() && held[keep].archiveName == names[keep - 1])
        ++keep;
    while (held.size() > keep) {
        CloseHandleOf(held.back().handle);
        held.pop_back();
    }
    return true;
}

// Each name is decoded for the host, and must stay one plain component
// there (the record loop has refused every unsafe archive name already).
static bool NativeNameOf(NameCodec& codec, const std::string& archiveName, NativeName& name)
{
    std::string utf8;
    if (!codec.FromArchive(archiveName, utf8) || utf8.empty() || utf8 == "." || utf8 == ".." ||
        utf8.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
        return false;
#ifdef _WIN32
    name = WideText::FromUtf8(utf8);
    return !name.empty();
#else
    name = utf8;
    return true;
#endif
}

template <typename Name> bool Extractor::EnterNew(const char* path, std::vector<std::string>& names, Name& name)
{
    if (!Enter(path, names))
        return false;
    if (names.empty() || native_->held.size() != names.size() || !NativeNameOf(codec_, names.back(), name)) {
        error_ = Shown(names) + ": cannot be made on this system (the name or its place is not valid here)";
        return false;
    }
    return true;
}

bool Extractor::CreateFolder(const char* path)
{
    std::vector<std::string> names;
    NativeName name;
    if (!EnterNew(path, names, name))
        return false;
    std::vector<Native::Folder>& held = native_->held;
    Native::Folder folder;
    folder.archiveName = names.back();
    bool ok = false;
#ifdef _WIN32
    folder.path = held.back().path + L"\\" + name;
    ok = CreateDirectoryW(folder.path.c_str(), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
    if (ok) {
        folder.handle = HoldFolder(folder.path, false);
        ok = folder.handle != kNone && IsRealFolder(folder.handle, false);
    }
#else
    ok = mkdirat(held.back().handle, name.c_str(), 0777) == 0 || errno == EEXIST;
    if (ok) {
        folder.handle = openat(held.back().handle, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ok = folder.handle != kNone;
    }
#endif
    if (!ok) {
        error_ = Shown(names) + ": cannot make the folder; its name is taken by a link or a file, or (" +
                 LastError() + ")";
        CloseHandleOf(folder.handle);
        return false;
    }
    held.push_back(folder);
    return true;
}

void Extractor::ApplyFolder(const char* path, const FileAttributeRecord& record)
{
    std::vector<std::string> names;
    if (!Enter(path, names))
        return;
    std::vector<Native::Folder>& held = native_->held;
    // A folder without its times is no failure, as in the launcher.
    if (!names.empty() && held.size() == names.size() + 1) {
#ifdef _WIN32
        ApplyRecord(held.back().handle, record);
#else
        ApplyRecord(held.back().handle, record, true);
#endif
    }
}

bool Extractor::OpenFile(const char* path)
{
    std::vector<std::string> names;
    NativeName name;
    if (!EnterNew(path, names, name))
        return false;
    std::vector<Native::Folder>& held = native_->held;
    // Created new, never opened: a name that is taken (a link planted
    // there) is refused.
#ifdef _WIN32
    const std::wstring full = held.back().path + L"\\" + name;
    native_->file = CreateFileW(full.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
#else
    native_->file = openat(held.back().handle, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
    if (native_->file == kNone) {
        error_ = Shown(names) + ": cannot make the file; its name is taken, or (" + LastError() + ")";
        return false;
    }
    native_->fileName = name;
    native_->fileParent = held.size() - 1;
    native_->fileShown = Shown(names);
    native_->fileFailed = false;
    return true;
}

int32_t Extractor::WriteFile(const uint8_t* data, int32_t length)
{
    int32_t done = 0;
    while (done < length && !native_->fileFailed) {
#ifdef _WIN32
        DWORD wrote = 0;
        if (!::WriteFile(native_->file, data + done, static_cast<DWORD>(length - done), &wrote, nullptr) || wrote == 0)
            native_->fileFailed = true;
#else
        ssize_t wrote = write(native_->file, data + done, static_cast<size_t>(length - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            native_->fileFailed = true;
#endif
        else
            done += static_cast<int32_t>(wrote);
    }
    if (native_->fileFailed && error_.empty())
        error_ = native_->fileShown + ": cannot write the file (" + LastError() + ")";
    return done;
}

bool Extractor::CloseFile()
{
    // Written unbuffered: what could not be written has been reported.
    return !native_->fileFailed;
}

bool Extractor::ApplyFile(const char*, const FileAttributeRecord& record)
{
#ifdef _WIN32
    const bool applied = ApplyRecord(native_->file, record);
#else
    const bool applied = ApplyRecord(native_->file, record, false);
#endif
    if (!applied)
        error_ = native_->fileShown + ": cannot give the file its times and attributes (" + LastError() + ")";
    return applied;
}

bool Extractor::Finish()
{
    if (native_->file == kNone)
        return true;
#ifdef _WIN32
    const bool closed = CloseHandle(native_->file) != 0;
#else
    const bool closed = close(native_->file) == 0;
#endif
    native_->file = kNone;
    if (!closed && error_.empty())
        error_ = native_->fileShown + ": cannot write the file (" + LastError() + ")";
    return closed;
}

std::string Extractor::Discard()
{
    if (native_->file == kNone)
        return std::string();
#ifdef _WIN32
    // Read-only would keep it: plain attributes first, then removed
    // through its own handle.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(native_->file, FileBasicInfo, &basic, sizeof basic);
    FILE_DISPOSITION_INFO disposition = {TRUE};
    const bool removed =
        SetFileInformationByHandle(native_->file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
    CloseHandleOf(native_->file);
#else
    CloseHandleOf(native_->file);
    const bool removed =
        unlinkat(native_->held[native_->fileParent].handle, native_->fileName.c_str(), 0) == 0;
#endif
    return removed ? native_->fileShown : std::string();
}
