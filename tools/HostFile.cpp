#include "tools/HostFile.h"

#include "tools/SystemError.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "tools/WideText.h"
#else
#include <unistd.h>
#endif

HostFile::~HostFile()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

bool HostFile::Open(const std::string& path, const char* mode)
{
    if (file_ != nullptr && std::fclose(file_) != 0) {
        file_ = nullptr;
        return false;
    }
    file_ = nullptr;
#ifdef _WIN32
    std::wstring wide = WideText::FromUtf8(path);
    std::wstring wideMode = WideText::FromUtf8(mode);
    if (wide.empty() || wideMode.empty())
        return false;
    file_ = _wfopen(wide.c_str(), wideMode.c_str());
#else
    file_ = std::fopen(path.c_str(), mode);
#endif
    return file_ != nullptr;
}

size_t HostFile::Read(void* data, size_t length)
{
    if (file_ == nullptr || length == 0)
        return 0;
    return std::fread(data, 1, length, file_);
}

bool HostFile::Write(const void* data, size_t length)
{
    if (file_ == nullptr)
        return false;
    return length == 0 || std::fwrite(data, 1, length, file_) == length;
}

bool HostFile::Failed() const
{
    return file_ == nullptr || std::ferror(file_) != 0;
}

bool HostFile::Sync()
{
    if (file_ == nullptr || std::fflush(file_) != 0)
        return false;
#ifdef _WIN32
    return _commit(_fileno(file_)) == 0;
#else
    return fsync(fileno(file_)) == 0;
#endif
}

bool HostFile::Close()
{
    if (file_ == nullptr)
        return false;
    bool ok = std::ferror(file_) == 0;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    return ok;
}

bool HostFile::ReadAll(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    bytes.clear();
    HostFile file;
    if (!file.Open(path, "rb")) {
        error = "cannot open " + path + ": " + SystemError::Last();
        return false;
    }
    uint8_t buffer[65536];
    for (;;) {
        size_t n = file.Read(buffer, sizeof buffer);
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (n < sizeof buffer)
            break;
    }
    if (file.Failed()) {
        error = "cannot read " + path + ": " + SystemError::Last();
        return false;
    }
    return true;
}

bool HostFile::Remove(const std::string& path)
{
#ifdef _WIN32
    std::wstring wide = WideText::FromUtf8(path);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
#else
    return unlink(path.c_str()) == 0;
#endif
}

bool HostFile::Rename(const std::string& from, const std::string& to)
{
#ifdef _WIN32
    std::wstring a = WideText::FromUtf8(from);
    std::wstring b = WideText::FromUtf8(to);
    return !a.empty() && !b.empty() && MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}
