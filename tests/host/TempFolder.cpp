#include "tests/host/TempFolder.h"

#include "tests/shared/TestFolder.h"

#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

int RemoveOne(const char* path, const struct stat*, int, struct FTW*)
{
    // Read-only entries go too: the folder is ours.
    return remove(path);
}

} // namespace

TempFolder::TempFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qmtest-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr)
        path_ = buffer.data();
}

TempFolder::~TempFolder()
{
    if (path_.empty())
        return;
    // Folders without write permission would keep their content.
    nftw(path_.c_str(), [](const char* p, const struct stat* st, int type, struct FTW*) {
        if (type == FTW_D && st != nullptr)
            chmod(p, st->st_mode | S_IRWXU);
        return 0;
    }, 16, FTW_PHYS);
    nftw(path_.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

bool TempFolder::MakeFolder(const std::string& relative) const
{
    std::string path = path_;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t slash = relative.find('/', start);
        if (slash == std::string::npos)
            slash = relative.size();
        path += "/" + relative.substr(start, slash - start);
        if (mkdir(path.c_str(), 0755) != 0) {
            struct stat st;
            if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                return false;
        }
        start = slash + 1;
    }
    return true;
}

bool TempFolder::WriteFile(const std::string& relative, const std::string& bytes) const
{
    size_t slash = relative.rfind('/');
    if (slash != std::string::npos && !MakeFolder(relative.substr(0, slash)))
        return false;
    std::FILE* f = std::fopen(Join(relative).c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool TempFolder::ReadFile(const std::string& path, std::string* bytes)
{
    return TestFolder::Read(path, bytes);
}
