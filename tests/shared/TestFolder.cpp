#include "tests/shared/TestFolder.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>

#include "support/WinHandle.h"
#else
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32
namespace {

const char kSeparator = '\\';
// Where the first folder name of an absolute path begins: behind the drive.
const size_t kFirstName = 3; // "C:\"

// The next backslash from i on that ends a folder name, stepping over
// Shift-JIS characters ("\x95\x5C" is one character, not a separator);
// npos when there is none. i must be where a character begins.
size_t NextSeparator(const std::string& path, size_t i)
{
    while (i < path.size() && path[i] != '\\')
        i += IsDBCSLeadByteEx(932, static_cast<BYTE>(path[i])) ? 2 : 1;
    return i < path.size() ? i : std::string::npos;
}

bool MakeOne(const std::string& path)
{
    if (CreateDirectoryA(path.c_str(), nullptr))
        return true;
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

TestFolder::TestFolder(const char* name)
{
    CreateDirectoryA("C:\\qmtest", nullptr);
    char id[16];
    std::snprintf(id, sizeof id, "-%lu", static_cast<unsigned long>(GetCurrentProcessId()));
    std::string path = std::string("C:\\qmtest\\") + name + id;
    RemoveAll(path);
    if (CreateDirectoryA(path.c_str(), nullptr))
        path_ = path;
}

namespace {

// Walks in UTF-16, so that names that the ANSI code page cannot hold (a
// Japanese tree on an English system) go too.
void RemoveAllWide(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (!DeleteFileW(path.c_str()))
            RemoveDirectoryW(path.c_str());
        return;
    }
    {
        WIN32_FIND_DATAW data;
        FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
        while (find.Valid()) {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                RemoveAllWide(path + L"\\" + name);
            if (!FindNextFileW(find.Get(), &data))
                break;
        }
    } // the search ends before its folder goes
    RemoveDirectoryW(path.c_str());
}

} // namespace

// The path in the ANSI code page, as the ANSI functions would read it.
void TestFolder::RemoveAll(const std::string& path)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length) != length)
        return;
    wide.resize(static_cast<size_t>(length) - 1);
    RemoveAllWide(wide);
}
#else
namespace {

const char kSeparator = '/';
const size_t kFirstName = 1;

size_t NextSeparator(const std::string& path, size_t i)
{
    return path.find('/', i);
}

bool MakeOne(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) == 0)
        return true;
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

TestFolder::TestFolder(const char* name)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/qmtest-" + name + "-XXXXXX";
    if (mkdtemp(&pattern[0]) != nullptr)
        path_ = pattern;
}

void TestFolder::RemoveAll(const std::string& path)
{
    // Folders without write permission would keep their content: the
    // folder is ours, so everything in it may go.
    nftw(path.c_str(), [](const char* p, const struct stat* st, int type, struct FTW*) {
        if (type == FTW_D && st != nullptr)
            chmod(p, st->st_mode | S_IRWXU);
        return 0;
    }, 16, FTW_PHYS);
    nftw(path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
}
#endif

TestFolder::~TestFolder()
{
    if (Made())
        RemoveAll(path_);
}

std::string TestFolder::Join(const std::string& relative) const
{
    return path_ + kSeparator + relative;
}

bool TestFolder::MakeFolders(const std::string& path)
{
    for (size_t i = NextSeparator(path, kFirstName); i != std::string::npos; i = NextSeparator(path, i + 1)) {
        if (!MakeOne(path.substr(0, i)))
            return false;
    }
    return MakeOne(path);
}

bool TestFolder::MakeFolder(const std::string& relative) const
{
    return Made() && MakeFolders(Join(relative));
}

bool TestFolder::WriteFile(const std::string& relative, const std::string& bytes) const
{
    if (!Made())
        return false;
    // Its folders first: all before the last separator.
    size_t last = std::string::npos;
    for (size_t i = NextSeparator(relative, 0); i != std::string::npos; i = NextSeparator(relative, i + 1))
        last = i;
    if (last != std::string::npos && !MakeFolder(relative.substr(0, last)))
        return false;
    const std::string path = Join(relative);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string TestFolder::NewName()
{
    return "n" + std::to_string(++named_);
}

std::string TestFolder::WriteNew(const std::string& bytes)
{
    const std::string name = NewName();
    return WriteFile(name, bytes) ? Join(name) : std::string();
}

bool TestFolder::ReadFile(const std::string& path, std::string* bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    bytes->clear();
    char buffer[8192];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes->append(buffer, n);
    bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}
