#include "tests/win/ScratchFolder.h"

#include <windows.h>

#include <cstdio>

ScratchFolder::ScratchFolder(const char* name)
{
    CreateDirectoryA("C:\\qmtest", nullptr);
    char id[16];
    std::snprintf(id, sizeof id, "-%lu", static_cast<unsigned long>(GetCurrentProcessId()));
    path_ = std::string("C:\\qmtest\\") + name + id;
    RemoveAll(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    RemoveAll(path_);
}

std::string ScratchFolder::Join(const std::string& relative) const
{
    return path_ + "\\" + relative;
}

bool ScratchFolder::WriteFile(const std::string& relative, const std::string& bytes) const
{
    std::string full = Join(relative);
    for (size_t i = path_.size() + 1; i < full.size(); ++i) {
        if (full[i] == '\\' && !IsDBCSLeadByteEx(932, static_cast<BYTE>(full[i - 1])))
            CreateDirectoryA(full.substr(0, i).c_str(), nullptr);
    }
    FILE* f = std::fopen(full.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool ScratchFolder::ReadFile(const std::string& path, std::string* bytes)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    bytes->clear();
    char buffer[8192];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes->append(buffer, n);
    std::fclose(f);
    return true;
}

void ScratchFolder::RemoveAll(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (!DeleteFileA(path.c_str()))
            RemoveDirectoryA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name != "." && name != "..")
                RemoveAll(path + "\\" + name);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}
