#include "tools/HostFolder.h"

#include <cstring>
#include <memory>

#ifdef _WIN32
// GetFinalPathNameByHandleW (Windows Vista).
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include "support/WinHandle.h"
#include "tools/SystemError.h"
#include "tools/WideText.h"
#else
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/SystemError.h"
#endif

namespace {

constexpr uint32_t kReadOnly = 0x01;
constexpr uint32_t kHidden = 0x02;
constexpr uint32_t kDirectory = 0x10;
constexpr uint32_t kArchive = 0x20;

// 1601-01-01 to 1970-01-01 in seconds, and FILETIME ticks per second.
constexpr int64_t kEpochGapSeconds = 11644473600LL;
constexpr int64_t kTicksPerSecond = 10000000LL;
constexpr uint64_t kLargestFileTime = 0x7FFFFFFFFFFFFFFFULL;

} // namespace

uint32_t HostFolder::AttributesFromMode(uint32_t mode, bool folder, const char* name)
{
    uint32_t attributes = folder ? kDirectory : kArchive;
    if (!folder && (mode & 0200u) == 0) // S_IWUSR
        attributes |= kReadOnly;
    if (name != nullptr && name[0] == '.')
        attributes |= kHidden;
    return attributes;
}

uint64_t HostFolder::FileTimeFromUnix(int64_t seconds, int64_t nanoseconds)
{
    // Far outside FILETIME's range either way: bound first, so that the
    // sums below cannot overflow.
    constexpr int64_t kBound = 4 * 922337203685LL;
    if (seconds > kBound)
        seconds = kBound;
    if (seconds < -kBound)
        seconds = -kBound;
    // Fold the nanoseconds into [0, 1e9) so the seconds carry the sign.
    seconds += nanoseconds / 1000000000LL;
    nanoseconds %= 1000000000LL;
    if (nanoseconds < 0) {
        nanoseconds += 1000000000LL;
        --seconds;
    }
    if (seconds < -kEpochGapSeconds)
        return 0; // before 1601
    uint64_t since1601 = static_cast<uint64_t>(seconds + kEpochGapSeconds);
    uint64_t limitSeconds = kLargestFileTime / kTicksPerSecond;
    if (since1601 >= limitSeconds)
        return kLargestFileTime; // past the year 30828
    return since1601 * kTicksPerSecond + static_cast<uint64_t>(nanoseconds / 100);
}

std::string HostFolder::Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    char last = folder.back();
#ifdef _WIN32
    if (last == '\\' || last == '/')
        return folder + name;
    return folder + "\\" + name;
#else
    if (last == '/')
        return folder + name;
    return folder + "/" + name;
#endif
}

namespace {

// Where the last component of a path begins, after its separator (0 when
// there is none). A drive letter ends a folder part on Windows.
size_t NameStart(const std::string& path)
{
#ifdef _WIN32
    size_t slash = path.find_last_of("\\/:");
#else
    size_t slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? 0 : slash + 1;
}

} // namespace

std::string HostFolder::Name(const std::string& path)
{
    return path.substr(NameStart(path));
}

std::string HostFolder::Parent(const std::string& path)
{
    if (NameStart(path) == 0)
        return ".";
    const size_t slash = NameStart(path) - 1;
#ifdef _WIN32
    if (path[slash] == ':')
        return path.substr(0, slash + 1); // "C:name" is in "C:"
    if (slash == 0 || (slash == 2 && path[1] == ':'))
        return path.substr(0, slash + 1); // the root itself
#else
    if (slash == 0)
        return "/";
#endif
    return path.substr(0, slash);
}

#ifdef _WIN32

namespace {

uint64_t TimeOf(const FILETIME& t)
{
    return static_cast<uint64_t>(t.dwLowDateTime) | static_cast<uint64_t>(t.dwHighDateTime) << 32;
}

// The bits that the launcher can put back with SetFileAttributes: read-only,
// hidden, system, directory (as the archive writes it for folders), archive,
// not-content-indexed. Compression, encryption, sparseness and the like are
// properties of the volume's storage and are left out.
constexpr uint32_t kKeptAttributes = 0x01 | 0x02 | 0x04 | 0x10 | 0x20 | 0x2000;
constexpr uint32_t kNormal = 0x80;

} // namespace

bool HostFolder::List(const std::string& path, std::vector<HostEntry>& entries, std::string& error)
{
    entries.clear();
    std::wstring pattern = WideText::FromUtf8(Join(path, "*"));
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW(pattern.c_str(), &data));
    if (!find.Valid()) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)
            return true; // an empty drive root lists nothing at all
        error = "cannot list " + path + ": " + SystemError::Of(code);
        return false;
    }
    do {
        if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0)
            continue;
        HostEntry e;
        e.name = WideText::ToUtf8(data.cFileName);
        uint32_t attributes = data.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            e.kind = HostEntry::Link;
        else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            e.kind = HostEntry::Folder;
        else if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)
            e.kind = HostEntry::Other;
        else
            e.kind = HostEntry::File;
        e.size = static_cast<int64_t>(static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
        attributes &= kKeptAttributes;
        // A file with none of the kept bits is a "normal" file: the one
        // value SetFileAttributes takes for that.
        e.record.attributes = attributes != 0 ? attributes : kNormal;
        e.record.creationTime = TimeOf(data.ftCreationTime);
        e.record.lastAccessTime = TimeOf(data.ftLastAccessTime);
        e.record.lastWriteTime = TimeOf(data.ftLastWriteTime);
        entries.push_back(e);
    } while (FindNextFileW(find.Get(), &data));
    DWORD code = GetLastError();
    if (code != ERROR_NO_MORE_FILES) {
        error = "cannot list " + path + ": " + SystemError::Of(code);
        return false;
    }
    return true;
}

HostEntry::Kind HostFolder::KindOf(const std::string& path)
{
    std::wstring wide = WideText::FromUtf8(path);
    if (wide.empty())
        return HostEntry::Other;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return HostEntry::Other;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? HostEntry::Folder : HostEntry::File;
}

namespace {

// The path of an existing entry as the system finds it: absolute, every
// junction and symbolic link on the way resolved ("\\?\C:\..." or
// "\\?\UNC\..."), no trailing backslash; empty when it cannot be opened.
std::wstring FinalPath(const std::string& path)
{
    std::wstring wide = WideText::FromUtf8(path);
    FileHandle entry(wide.empty() ? INVALID_HANDLE_VALUE
                                  : CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!entry.Valid())
        return std::wstring();
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    DWORD n = GetFinalPathNameByHandleW(entry.Get(), nullptr, 0, flags);
    std::wstring final(n, L'\0');
    if (n == 0 || GetFinalPathNameByHandleW(entry.Get(), &final[0], n, flags) != n - 1)
        return std::wstring();
    final.resize(n - 1);
    while (!final.empty() && final.back() == L'\\')
        final.pop_back();
    return final;
}

} // namespace

bool HostFolder::IsSameOrInside(const std::string& inner, const std::string& outer)
{
    std::wstring a = FinalPath(inner);
    std::wstring b = FinalPath(outer);
    if (a.empty() || b.empty() || a.size() < b.size())
        return false;
    // Names compare without regard to case, as the file system does.
    if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(b.size()), b.c_str(),
                       static_cast<int>(b.size())) != CSTR_EQUAL)
        return false;
    return a.size() == b.size() || a[b.size()] == L'\\';
}

#else

namespace {

// Closes a DIR* on every way out.
struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

} // namespace

bool HostFolder::List(const std::string& path, std::vector<HostEntry>& entries, std::string& error)
{
    entries.clear();
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir) {
        error = "cannot list " + path + ": " + SystemError::Last();
        return false;
    }
    int fd = dirfd(dir.get());
    for (;;) {
        errno = 0;
        dirent* d = readdir(dir.get());
        if (d == nullptr) {
            if (errno != 0) {
                error = "cannot list " + path + ": " + SystemError::Last();
                return false;
            }
            break;
        }
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0)
            continue;
        struct stat st;
        if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            error = "cannot read " + Join(path, d->d_name) + ": " + SystemError::Last();
            return false;
        }
        HostEntry e;
        e.name = d->d_name;
        if (S_ISLNK(st.st_mode))
            e.kind = HostEntry::Link;
        else if (S_ISDIR(st.st_mode))
            e.kind = HostEntry::Folder;
        else if (S_ISREG(st.st_mode))
            e.kind = HostEntry::File;
        else
            e.kind = HostEntry::Other; // device, pipe, socket
        e.size = e.kind == HostEntry::File ? static_cast<int64_t>(st.st_size) : 0;
        e.record.attributes = AttributesFromMode(static_cast<uint32_t>(st.st_mode), e.kind == HostEntry::Folder, d->d_name);
        // No creation time here: the last change of content stands in for it.
        e.record.lastWriteTime = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        e.record.creationTime = e.record.lastWriteTime;
        e.record.lastAccessTime = FileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
        entries.push_back(e);
    }
    return true;
}

HostEntry::Kind HostFolder::KindOf(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return HostEntry::Other;
    if (S_ISDIR(st.st_mode))
        return HostEntry::Folder;
    return S_ISREG(st.st_mode) ? HostEntry::File : HostEntry::Other;
}

bool HostFolder::IsSameOrInside(const std::string& inner, const std::string& outer)
{
    std::unique_ptr<char, decltype(&std::free)> a(realpath(inner.c_str(), nullptr), &std::free);
    std::unique_ptr<char, decltype(&std::free)> b(realpath(outer.c_str(), nullptr), &std::free);
    if (!a || !b)
        return false;
    size_t n = std::strlen(b.get());
    if (std::strncmp(a.get(), b.get(), n) != 0)
        return false;
    return a.get()[n] == '\0' || a.get()[n] == '/' || (n > 0 && b.get()[n - 1] == '/');
}

#endif
