#include "bench/PlainExtractor.h"

#include <cstring>

namespace {

// Bytes read from the file at a time, and inflated at a time. The output
// block is the size that writes fastest here: the system copies a block
// that is still in the processor's cache into its file cache several times
// faster (1 MiB blocks took twice the time of 64 KiB ones in all).
constexpr size_t kReadBlock = 1 << 20;
constexpr size_t kOutBlock = 64 << 10;
// The first line of an archive whose files all have check lines is "C";
// each check line is "C" and eight hexadecimal digits.
constexpr size_t kCheckLine = 9;

std::wstring Wide(const std::string& name)
{
    const int n = MultiByteToWideChar(932, 0, name.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(932, 0, name.c_str(), -1, &wide[0], n);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

void ToFileTimes(const FileAttributeRecord& r, FILETIME times[3])
{
    const uint64_t values[3] = {r.creationTime, r.lastAccessTime, r.lastWriteTime};
    for (int i = 0; i < 3; ++i) {
        times[i].dwLowDateTime = static_cast<DWORD>(values[i]);
        times[i].dwHighDateTime = static_cast<DWORD>(values[i] >> 32);
    }
}

// Times, then the attributes where they are not a new entry's.
bool ApplyRecord(HANDLE handle, const FileAttributeRecord& r, uint32_t fresh)
{
    FILETIME times[3];
    ToFileTimes(r, times);
    if (!SetFileTime(handle, &times[0], &times[1], &times[2]))
        return false;
    if (r.attributes == fresh)
        return true;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = r.attributes | FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != 0;
}

} // namespace

PlainExtractor::PlainExtractor() : inBlock_(new uint8_t[kReadBlock]), outBlock_(new uint8_t[kOutBlock])
{
}

PlainExtractor::~PlainExtractor()
{
    if (started_)
        inflateEnd(&zs_);
    if (in_ != INVALID_HANDLE_VALUE)
        CloseHandle(in_);
}

bool PlainExtractor::Run(const wchar_t* file, uint64_t offset, const wchar_t* work)
{
    in_ = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                      nullptr);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (in_ == INVALID_HANDLE_VALUE || !SetFilePointerEx(in_, at, nullptr, FILE_BEGIN) || inflateInit(&zs_) != Z_OK)
        return false;
    started_ = true;
    // The stream is never finished: there is no sum to check at its end.
    inflateValidate(&zs_, 0);
    return CreateDirectoryW(work, nullptr) && Unpack(work);
}

bool PlainExtractor::Fill()
{
    pos_ = 0;
    zs_.next_out = outBlock_.get();
    zs_.avail_out = kOutBlock;
    while (zs_.avail_out > 0) {
        if (zs_.avail_in == 0) {
            DWORD got = 0;
            if (!ReadFile(in_, inBlock_.get(), kReadBlock, &got, nullptr) || got == 0)
                break;
            zs_.next_in = inBlock_.get();
            zs_.avail_in = got;
        }
        const int rc = inflate(&zs_, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            break; // what came before the end or the fault is still handed out
    }
    end_ = kOutBlock - zs_.avail_out;
    return end_ > 0;
}

bool PlainExtractor::Line(std::string& line)
{
    line.clear();
    for (;;) {
        if (pos_ == end_ && !Fill())
            return false;
        const char c = static_cast<char>(outBlock_[pos_++]);
        if (c == '\n')
            return true;
        if (c != '\r')
            line += c;
    }
}

bool PlainExtractor::Exactly(uint8_t* into, size_t length)
{
    while (length > 0) {
        if (pos_ == end_ && !Fill())
            return false;
        const size_t n = end_ - pos_ < length ? end_ - pos_ : length;
        std::memcpy(into, outBlock_.get() + pos_, n);
        pos_ += n;
        into += n;
        length -= n;
    }
    return true;
}

bool PlainExtractor::ReadRecord(FileAttributeRecord* record)
{
    uint8_t bytes[FileAttributeRecord::kSize];
    if (!Exactly(bytes, sizeof bytes))
        return false;
    *record = FileAttributeRecord::Decode(bytes);
    return true;
}

bool PlainExtractor::WriteContent(HANDLE file, uint64_t size, uLong* crc)
{
    // Straight from the output block: one write for each block's share.
    while (size > 0) {
        if (pos_ == end_ && !Fill())
            return false;
        const size_t n = end_ - pos_ < size ? end_ - pos_ : static_cast<size_t>(size);
        const uint8_t* data = outBlock_.get() + pos_;
        *crc = crc32(*crc, data, static_cast<uInt>(n));
        DWORD written = 0;
        if (!WriteFile(file, data, static_cast<DWORD>(n), &written, nullptr) || written != n)
            return false;
        pos_ += n;
        size -= n;
    }
    return true;
}

bool PlainExtractor::CloseFolder(const std::wstring& folder, const FileAttributeRecord& record)
{
    HANDLE h = CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = ApplyRecord(h, record, FILE_ATTRIBUTE_DIRECTORY);
    return CloseHandle(h) && ok;
}

bool PlainExtractor::Unpack(const std::wstring& work)
{
    std::wstring folder = work;
    std::vector<FileAttributeRecord> open; // of the folders not yet closed
    std::string tag, name, size;
    FileAttributeRecord record;
    uLong crc = 0;
    for (;;) {
        if (!Line(tag))
            return false;
        if (tag == "U") {
            if (open.empty())
                return true;
            if (!CloseFolder(folder, open.back()))
                return false;
            open.pop_back();
            folder.resize(folder.rfind(L'\\'));
        } else if (tag == "D") {
            if (!Line(name) || !ReadRecord(&record))
                return false;
            folder += L'\\' + Wide(name);
            open.push_back(record);
            if (!CreateDirectoryW(folder.c_str(), nullptr))
                return false;
        } else if (tag == "F") {
            if (!Line(name) || !Line(size))
                return false;
            const std::wstring path = folder + L'\\' + Wide(name);
            HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
            if (h == INVALID_HANDLE_VALUE)
                return false;
            crc = crc32(0L, Z_NULL, 0);
            bool ok = WriteContent(h, std::strtoull(size.c_str(), nullptr, 10), &crc) && ReadRecord(&record) &&
                      ApplyRecord(h, record, FILE_ATTRIBUTE_ARCHIVE);
            if (!CloseHandle(h) || !ok)
                return false;
        } else if (tag.size() == kCheckLine && tag[0] == 'C') {
            if (std::strtoul(tag.c_str() + 1, nullptr, 16) != crc)
                return false;
        }
        // Anything else (the announcement "C" among it) is skipped.
    }
}
