#include "tests/shared/TestFolder.h"

#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <dirent.h>
#include <unistd.h>
#endif

#ifdef _WIN32
TestFolder::TestFolder(const char* name) : scratch_(name)
{
}

TestFolder::~TestFolder() = default;

const std::string& TestFolder::Path() const
{
    return scratch_.Path();
}

std::string TestFolder::Join(const std::string& name) const
{
    return scratch_.Join(name);
}
#else
TestFolder::TestFolder(const char* name)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/qmtest-" + name + "-XXXXXX";
    if (mkdtemp(&pattern[0]) != nullptr)
        path_ = pattern;
}

TestFolder::~TestFolder()
{
    if (path_.empty())
        return;
    if (DIR* dir = opendir(path_.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string entryName = entry->d_name;
            if (entryName != "." && entryName != "..")
                unlink(Join(entryName).c_str());
        }
        closedir(dir);
    }
    rmdir(path_.c_str());
}

const std::string& TestFolder::Path() const
{
    return path_;
}

std::string TestFolder::Join(const std::string& name) const
{
    return path_ + "/" + name;
}
#endif

std::string TestFolder::Write(const std::string& name, const std::string& bytes) const
{
    if (!Made())
        return std::string();
    std::string path = Join(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return std::string();
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok ? path : std::string();
}

bool TestFolder::Read(const std::string& path, std::string* bytes)
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
