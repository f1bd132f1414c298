#include "payload/RCFile.h"

#ifdef _WIN32
#include "support/SystemPath.h"
#endif

namespace {

// The C library modes for Open's modes 0 to 3.
const char* const kModeText[] = {"rb", "wb", "ab", "r+b"};

} // namespace

RCFile::~RCFile()
{
    Close();
}

bool RCFile::Open(const char* path, uint8_t mode)
{
    Close();
    if (mode >= sizeof kModeText / sizeof kModeText[0])
        return false;
    // A missing path is the empty text, which names no file.
    if (path == nullptr || path[0] == '\0')
        return false;
    // The C runtime opens without denying others reading or writing.
#ifdef _WIN32
    stdioFile_ = SystemPath(path).OpenStream(kModeText[mode]);
#else
    stdioFile_ = std::fopen(path, kModeText[mode]);
#endif
    if (stdioFile_ == nullptr)
        return false;
    // Before any read or write, as the C library requires. Should it refuse,
    // the file keeps the library's own buffer: slower, not wrong.
    if (stdioBuffer_ == nullptr)
        stdioBuffer_.reset(new char[kStdioBuffer]);
    std::setvbuf(stdioFile_, stdioBuffer_.get(), _IOFBF, kStdioBuffer);
    BeginTransforms();
    return true;
}

bool RCFile::Close()
{
    if (stdioFile_ == nullptr)
        return true;
    EndTransforms();
    // fclose writes what is still buffered: its failure means lost data.
    bool closed = std::fclose(stdioFile_) == 0;
    stdioFile_ = nullptr;
    return closed;
}

bool RCFile::Seek(int32_t offset)
{
    if (stdioFile_ == nullptr)
        return false;
    // A negative offset makes fseek fail.
    return std::fseek(stdioFile_, static_cast<long>(offset), SEEK_SET) == 0;
}

int32_t RCFile::ReadRaw(void* buffer, int32_t length)
{
    if (stdioFile_ == nullptr)
        return -1;
    if (length <= 0 || buffer == nullptr)
        return 0;
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(length), stdioFile_));
}

int32_t RCFile::WriteRaw(const void* buffer, int32_t length)
{
    if (stdioFile_ == nullptr)
        return -1;
    if (length <= 0 || buffer == nullptr)
        return 0;
    return static_cast<int32_t>(std::fwrite(buffer, 1, static_cast<size_t>(length), stdioFile_));
}

bool RCFile::IsError() const
{
    return stdioFile_ == nullptr || std::ferror(stdioFile_) != 0;
}

bool RCFile::IsEof() const
{
    return stdioFile_ == nullptr || std::feof(stdioFile_) != 0;
}
