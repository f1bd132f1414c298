// RCFile: the stream over a file on disk, through the C library's buffered
// binary streams. The file is opened so that others may read and write it
// at the same time (the launcher reads its own running executable).
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>

#include "payload/RCStream.h"

class RCFile : public RCStream {
public:
    // Open modes.
    static constexpr uint8_t kRead = 0;      // "rb": an existing file
    static constexpr uint8_t kWrite = 1;     // "wb": created or emptied
    static constexpr uint8_t kAppend = 2;    // "ab": created if missing, written at its end
    static constexpr uint8_t kReadWrite = 3; // "r+b": an existing file

    RCFile() = default;
    // Closes the file.
    ~RCFile() override;

    // Closes first. False, with the file closed, for a mode above 3, a null
    // path or a file the C library cannot open. Begins the attached stages.
    bool Open(const char* path, uint8_t mode);
    // Ends the attached stages and closes the file. False only when closing
    // reported an error (data not written); the file is closed all the same.
    bool Close();
    // To offset bytes from the start; false when closed or the seek fails.
    // Stage state is not touched: seek before attaching a stage.
    bool Seek(int32_t offset);
    bool IsOpen() const { return stdioFile_ != nullptr; }

    // -1 when closed; a negative length transfers nothing (0).
    int32_t ReadRaw(void* buffer, int32_t length) override;
    int32_t WriteRaw(const void* buffer, int32_t length) override;
    // True when closed, or when the error (end-of-file) indicator is set.
    bool IsError() const override;
    bool IsEof() const override;

private:
    // The C library's own buffer is small (4 KiB in some runtimes), which
    // makes every 8 KiB piece a system call of its own; this one joins
    // pieces into fewer, larger calls. Kept from the first Open to the end,
    // and never released while a file uses it.
    static constexpr size_t kStdioBuffer = 262144;

    std::FILE* stdioFile_ = nullptr;          // owned
    std::unique_ptr<char[]> stdioBuffer_;     // kStdioBuffer bytes, or null
};
