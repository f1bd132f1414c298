// HostFile: a C stream over a host file named in UTF-8, closed on every
// way out. Close reports whether everything written reached the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class HostFile {
public:
    HostFile() = default;
    ~HostFile();
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    // mode: "rb" or "wb" (create or truncate).
    bool Open(const std::string& path, const char* mode);
    bool IsOpen() const { return file_ != nullptr; }
    // Bytes read; fewer than asked at the end of the file or on an error
    // (Failed tells which).
    size_t Read(void* data, size_t length);
    bool Write(const void* data, size_t length);
    bool Failed() const;
    // Pushes what was written to the disk itself.
    bool Sync();
    // Flushes and closes; false when a write or the flush failed.
    bool Close();

    // The whole content of a file; false when it cannot be read whole.
    static bool ReadAll(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
    static bool Remove(const std::string& path);
    // Replaces `to` when it exists.
    static bool Rename(const std::string& from, const std::string& to);

private:
    std::FILE* file_ = nullptr;
};
